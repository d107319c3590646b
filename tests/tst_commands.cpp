// Commands to balances from the Send Command and Data Request dialogs, driven with keys and
// clicks; three loopback balances (channel 2 OFF) show what arrives, byte for byte.

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "comm/channel_connections.h"
#include "platform/settings_store.h"
#include "shell/module_data.h"
#include "support/loopback_balances.h"
#include "support/program_doubles.h"

using namespace Channel_Window;
using Communication_HW::IsChannelConnected;

class tst_Commands : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::optional<ProgramDoubles> m_fake;
    std::array<std::unique_ptr<LoopbackBalances>, 4> m_balances; // by channel, 1..3

    // The program with three loopback balances, channel 2 OFF, the others connected.
    void start()
    {
        m_fake->start();
        ChannelsCount = 3;
        for (int n = 1; n <= 3; ++n) {
            m_balances[n] = std::make_unique<LoopbackBalances>();
            ChannelSettings[n] = m_balances[n]->settings();
            ChannelState[n] = n == 2 ? 0 : 1;
        }
        QTRY_VERIFY_WITH_TIMEOUT(IsChannelConnected(1) && IsChannelConnected(3), 10000);
        QTRY_VERIFY(m_balances[1]->peers.size() == 1 && m_balances[3]->peers.size() == 1);
    }
    // A marker behind everything sent so far: once it is in, nothing else is on its way.
    QString arrived()
    {
        QStringList texts;
        for (int n = 1; n <= 3; ++n) {
            QList<QByteArray>& received = m_balances[n]->received;
            if (ChannelState[n] != 0) {
                Communication_HW::SendToChannel(n, QStringLiteral("#"), QString());
                if (!QTest::qWaitFor([&received] { return received[0].endsWith('#'); }))
                    return QStringLiteral("no marker");
                received[0].chop(1);
            }
            texts << QString::fromLatin1(received.value(0));
        }
        return texts.join(u'|');
    }
    QDialog* openDialog(QAction* item, const char* name)
    {
        item->trigger();
        return m_fake->main->findChild<QDialog*>(QLatin1String(name));
    }
    template <typename T> static T* control(QDialog* dialog, const char* name)
    {
        return dialog->findChild<T*>(QLatin1String(name));
    }
    static void click(QDialog* dialog, const char* name)
    {
        QTest::mouseClick(control<QPushButton>(dialog, name), Qt::LeftButton);
    }
    // A user's edit of the send command dialog: list item, command, auto-clear box.
    static void editSendCmd(QDialog* dialog, int choice, const QString& command, bool autoClear)
    {
        auto* list = control<QComboBox>(dialog, "cboChannel");
        QTest::keyClick(list, Qt::Key_Home);
        for (int i = 0; i < choice; ++i)
            QTest::keyClick(list, Qt::Key_Down);
        auto* box = control<QLineEdit>(dialog, "txtCommand");
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(box, Qt::Key_Backspace);
        QTest::keyClicks(box, command);
        auto* check = control<QCheckBox>(dialog, "chkAutoClear");
        if (check->isChecked() != autoClear)
            QTest::keyClick(check, Qt::Key_Space);
    }
    static QString shownSendCmd(QDialog* dialog)
    {
        auto* list = control<QComboBox>(dialog, "cboChannel");
        QStringList items;
        for (int i = 0; i < list->count(); ++i)
            items << list->itemText(i);
        return QStringLiteral("%1 %2 %3 %4")
            .arg(items.join(u','))
            .arg(list->currentIndex())
            .arg(control<QLineEdit>(dialog, "txtCommand")->text())
            .arg(control<QCheckBox>(dialog, "chkAutoClear")->isChecked());
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir->path()));
        m_fake.emplace();
    }
    void cleanup()
    {
        m_fake.reset();
        for (auto& balance : m_balances)
            balance.reset();
    }

    void sendCommand_whatEachBalanceReceives_data()
    {
        QTest::addColumn<int>("choice");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("autoClear");
        QTest::addColumn<QString>("arrived"); // channels 1|2|3
        QTest::addColumn<QString>("box");     // the command box afterwards
        const auto row = [](const char* name, int choice, const char* command, const char* action,
                            bool autoClear, const char* arrived, const char* box) {
            QTest::newRow(name) << choice << QString(command) << QString(action) << autoClear
                                << QString(arrived) << QString(box);
        };
        row("SEND to all: OFF channel skipped, box kept", 0, "T", "cmdSend", true, "T\r\n||T\r\n",
            "T");
        row("SEND to channel 3 alone", 3, "T", "cmdSend", true, "||T\r\n", "T");
        row("SEND to the OFF channel: nothing", 2, "T", "cmdSend", true, "||", "T");
        row("empty command: CR LF alone", 0, "", "cmdSend", true, "\r\n||\r\n", "");
        row("Enter with auto-clear: sent, box emptied", 1, "Z 1", "enter", true, "Z 1\r\n||", "");
        row("Enter without auto-clear: box keeps it", 1, "Z 1", "enter", false, "Z 1\r\n||", "Z 1");
        row("ON to every ON balance, whatever the choice", 1, "T", "cmdON", true,
            "ON\r\nON\r\nON\r\nON\r\n||ON\r\nON\r\nON\r\nON\r\n", "T");
        row("OFF likewise", 1, "T", "cmdOFF", true,
            "OFF\r\nOFF\r\nOFF\r\nOFF\r\n||OFF\r\nOFF\r\nOFF\r\nOFF\r\n", "T");
    }
    void sendCommand_whatEachBalanceReceives()
    {
        QFETCH(int, choice);
        QFETCH(QString, command);
        QFETCH(QString, action);
        QFETCH(bool, autoClear);
        QFETCH(QString, arrived);
        QFETCH(QString, box);
        start();
        const QPointer<QDialog> dialog = openDialog(m_fake->main->mnuSendCmd, "frmSendCmd");
        editSendCmd(dialog, choice, command, autoClear);
        if (action == QLatin1String("enter"))
            QTest::keyClick(control<QLineEdit>(dialog, "txtCommand"), Qt::Key_Return);
        else
            click(dialog, action.toLatin1());
        QCOMPARE(this->arrived(), arrived);
        QVERIFY(dialog && dialog->isVisible()); // sending never closes it
        QCOMPARE(control<QLineEdit>(dialog, "txtCommand")->text(), box);
        if (action.startsWith(QLatin1String("cmdO"))) {
            // Half a second at the balance between the first two lines and the last two.
            const qsizetype pair = arrived.indexOf(u'|') / 2;
            QVERIFY(m_balances[1]->arrivalOf(pair) - m_balances[1]->arrivalOf(pair - 1) >= 500);
        }
        QVERIFY(m_fake->prompts.boxes.isEmpty());
    }

    void sendCommand_okStores_cancelKeepsNothing_reopenShowsStored()
    {
        start();
        ChannelId[1] = QStringLiteral("Balance A");
        Globals::SendCmdChannel = 9; // stored when there were more channels
        frmMDIMain& main = *m_fake->main;
        QDialog* dialog = openDialog(main.mnuSendCmd, "frmSendCmd");
        const QString fresh = QStringLiteral("All Channels,Balance A,Channel-2,Channel-3 0 PRT 1");
        QCOMPARE(shownSendCmd(dialog), fresh);
        editSendCmd(dialog, 2, QStringLiteral("TARE"), false);
        const QString edited =
            QStringLiteral("All Channels,Balance A,Channel-2,Channel-3 2 TARE 0");
        // A second click brings the open dialog forward as it is.
        QCOMPARE(openDialog(main.mnuSendCmd, "frmSendCmd"), dialog);
        QCOMPARE(shownSendCmd(dialog), edited);

        QTest::keyClick(dialog, Qt::Key_Escape);
        QTRY_VERIFY(!main.findChild<QDialog*>(QStringLiteral("frmSendCmd")));
        QVERIFY(!QFile::exists(SettingsStore::StoreLocation()));
        QCOMPARE(Globals::SendCmdCommand, QStringLiteral("PRT"));
        dialog = openDialog(main.mnuSendCmd, "frmSendCmd");
        QCOMPARE(shownSendCmd(dialog), fresh);

        editSendCmd(dialog, 2, QStringLiteral("TARE"), false);
        click(dialog, "cmdOK");
        QTRY_VERIFY(!main.findChild<QDialog*>(QStringLiteral("frmSendCmd")));
        for (const auto& [key, value] :
             {std::pair{"Channel", "2"}, {"Command", "TARE"}, {"AutoClear", "0"}})
            QCOMPARE(SettingsStore::GetSetting("SendCommand", key), QString(value));
        QCOMPARE(shownSendCmd(openDialog(main.mnuSendCmd, "frmSendCmd")), edited);
    }
};

QTEST_MAIN(tst_Commands)
#include "tst_commands.moc"
