// Commands and files to balances from the Send Command, Data Request and Send File dialogs, and
// the data request started by menu and by F12 over the key grab, driven with keys and clicks;
// three loopback balances (channel 2 OFF) show what arrives, byte for byte, and answer.

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>
#include <sys/stat.h>
#include <tuple>

#include "channel_config/flex_grid.h"
#include "channel_window/channel_window.h"
#include "channel_window/frmTxtBox.h"
#include "commands/frmSendFile.h"
#include "keyhook/keyhook.h"
#include "platform/settings_store.h"
#include "shell/pending_error.h"
#include "support/loopback_balance.h"
#include "support/program_doubles.h"
#include "support/socat_pair.h"

using namespace Channel_Window;
using Communication_HW::IsChannelConnected;

namespace {
template <typename T = QPushButton> T* control(QDialog* dialog, const char* name)
{
    return dialog->findChild<T*>(QLatin1String(name));
}
void click(QDialog* dialog, const char* name)
{
    QTest::mouseClick(control(dialog, name), Qt::LeftButton);
}
QString stored(const char* section, const QStringList& keys)
{
    QStringList values;
    for (const QString& key : keys)
        values << SettingsStore::GetSetting(QLatin1String(section), key, "unset");
    return values.join(u' ');
}
} // namespace

class tst_Commands : public ProgramTestCase
{
    Q_OBJECT

    std::array<std::unique_ptr<LoopbackBalance>, 4> m_balances; // by channel, 1..3

    // "ch1|ch2|ch3"; a marker sent behind everything tells that nothing more is on its way.
    QString arrived()
    {
        QStringList texts{QString()};
        for (int n : {1, 3}) {
            Communication_HW::SendToChannel(n, QStringLiteral("#"), QString());
            QByteArray& got = m_balances[n]->received;
            if (!QTest::qWaitFor([&got] { return got.endsWith('#'); }))
                return QStringLiteral("no marker");
            texts.insert(n - 1, QString::fromLatin1(got.chopped(1)));
            got.clear();
        }
        return texts.join(u'|');
    }
    QDialog* openSendCmd()
    {
        m_fake->main->mnuSendCmd->trigger();
        return m_fake->main->findChild<QDialog*>(QStringLiteral("frmSendCmd"));
    }

private slots:
    // The program with three loopback balances, channel 2 OFF, the others connected.
    void init()
    {
        ProgramTestCase::init();
        m_fake->start();
        ChannelsCount = 3;
        for (int n = 1; n <= 3; ++n) {
            m_balances[n] = std::make_unique<LoopbackBalance>();
            ChannelSettings[n] = m_balances[n]->settings();
            ChannelState[n] = n == 2 ? 0 : 1;
        }
        QTRY_VERIFY_WITH_TIMEOUT(IsChannelConnected(1) && IsChannelConnected(3), 10000);
    }

    void sendCommand_whatEachBalanceReceives_okKeepsTheChoices_data()
    {
        // List index (0 "All Channels"); command; a button, Enter with or without auto-clear,
        // or Escape; what channels 1|2|3 receive (ON and OFF: each half of it).
        QTest::addColumn<QString>("row");
        QTest::newRow("SEND to all, OFF skipped") << QStringLiteral("0;T;cmdSend;T\r\n||T\r\n");
        QTest::newRow("SEND to channel 3 alone") << QStringLiteral("3;T;cmdSend;||T\r\n");
        QTest::newRow("SEND to the OFF channel") << QStringLiteral("2;T;cmdSend;||");
        QTest::newRow("empty: CR LF alone") << QStringLiteral("0;;cmdSend;\r\n||\r\n");
        QTest::newRow("Enter, auto-clear: box emptied") << QStringLiteral("1;Z 1;clear;Z 1\r\n||");
        QTest::newRow("Enter: box keeps the text") << QStringLiteral("1;Z 1;keep;Z 1\r\n||");
        QTest::newRow("ON to every ON balance") << QStringLiteral("1;T;cmdON;ON\r\nON\r\n");
        QTest::newRow("OFF likewise") << QStringLiteral("1;T;cmdOFF;OFF\r\nOFF\r\n");
        QTest::newRow("Escape: nothing kept") << QStringLiteral("3;T;Esc;||");
    }
    void sendCommand_whatEachBalanceReceives_okKeepsTheChoices()
    {
        QFETCH(QString, row);
        const QStringList field = row.split(u';');
        const QString &command = field[1], &action = field[2], &arrived = field[3];
        ChannelId[1] = QStringLiteral("Balance A");
        Globals::SendCmdChannel = 9; // stored when there were more channels
        const QPointer<QDialog> dialog = openSendCmd();
        for (int i = 0; i < field[0].toInt(); ++i)
            QTest::keyClick(control<QComboBox>(dialog, "cboChannel"), Qt::Key_Down);
        QTest::keyClick(control<QLineEdit>(dialog, "txtCommand"), Qt::Key_Delete); // all selected
        QTest::keyClicks(control<QLineEdit>(dialog, "txtCommand"), command);
        if (action == "keep")
            QTest::keyClick(control<QCheckBox>(dialog, "chkAutoClear"), Qt::Key_Space);
        QCOMPARE(openSendCmd(), dialog.data()); // a second click: the same, edits kept
        if (action.startsWith(QLatin1String("cmd")))
            click(dialog, action.toLatin1());
        else if (action != "Esc")
            QTest::keyClick(control<QLineEdit>(dialog, "txtCommand"), Qt::Key_Return);
        const bool onOff = action.startsWith(QLatin1String("cmdO"));
        const QString twice = arrived.repeated(2); // two lines, a pause, the same again
        QCOMPARE(this->arrived(), onOff ? twice + "||" + twice : arrived);
        const LoopbackBalance& first = *m_balances[1];
        QVERIFY(!onOff ||
                first.arrivalOf(arrived.size()) - first.arrivalOf(arrived.size() - 1) >= 500);
        QVERIFY(dialog && dialog->isVisible()); // sending never closes it
        const QString box = action == "clear" ? "" : command;
        QCOMPARE(control<QLineEdit>(dialog, "txtCommand")->text(), box);

        action == "Esc" ? QTest::keyClick(dialog, Qt::Key_Escape) : click(dialog, "cmdOK");
        QTRY_VERIFY(!dialog);
        const QString kept = QStringLiteral("%1 %2 %3").arg(field[0], box).arg(action != "keep");
        QCOMPARE(stored("SendCommand", {"Channel", "Command", "AutoClear"}),
                 action == "Esc" ? "unset unset unset" : kept);
        auto* reopened = openSendCmd();
        auto* list = control<QComboBox>(reopened, "cboChannel");
        QCOMPARE(list->itemText(1) + list->itemText(2), "Balance AChannel-2");
        QCOMPARE(QStringLiteral("%1 %2 %3")
                     .arg(list->currentIndex())
                     .arg(control<QLineEdit>(reopened, "txtCommand")->text())
                     .arg(control<QCheckBox>(reopened, "chkAutoClear")->isChecked()),
                 action == "Esc" ? "0 PRT 1" : kept);
    }

    void start_everyOnBalanceAsked_answerShownWhereItBelongs()
    {
        frmMDIMain& main = *m_fake->main;
        main.mnuToCursor->trigger();
        main.mnuStart->trigger(); // one pass asks every ON balance once
        QCOMPARE(arrived(), "PRT\r\n||PRT\r\n");
        for (int n : {1, 3})
            m_balances[n]->links.first()->write("N 1");
        for (int n : {1, 3})
            QTRY_COMPARE(ExistingChannelWindow(n)->Text(), "N 1");
        QCOMPARE(m_fake->desktop.keys, QStringList({"N", " ", "1"}));
        // Channel 3's line end ends channel 1's line too: the forwarding state is shared.
        main.ReceiveChannel(3, QStringLiteral("\r\n"));
        QVERIFY(Communication_HW::AtLineStart && m_fake->desktop.keys.size() == 3);
        ChannelState[3] = 0; // an OFF channel's text goes nowhere
        main.ReceiveChannel(3, QStringLiteral("N"));
        QVERIFY(Communication_HW::AtLineStart);
        QCOMPARE(ExistingChannelWindow(3)->Text(), "N 1\r\n");
        QVERIFY(m_fake->prompts.boxes.isEmpty());
        // Text on a channel without a usable link is reported with the pending error, and dropped.
        ChannelState[3] = 1;
        ChannelSettings[3].clear();
        Globals::Err.Raise(5, QStringLiteral("left over"));
        main.ReceiveChannel(3, QStringLiteral("N"));
        m_fake->expectOnlyBox("Communication HW not defined -Receive data\r\n\r\nState: Error"
                              "\r\n\r\nError: left over",
                              Platform::vbOKOnly + Platform::vbExclamation, "State:  (CH-3, )");
        QCOMPARE(Globals::Err.Number, 0);
        QCOMPARE(ExistingChannelWindow(3)->Text(), "N 1\r\n");
    }

    void startStop_byMenuAndF12_data()
    {
        // "once": no repeat; f12 or refused: a click on the F12 mode; key: F12 pressed.
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("passes");
        QTest::addColumn<QString>("caption");
        const auto row = [](const char* n, auto... v) { (QTest::newRow(n) << ... << QString(v)); };
        row("mode off: menu starts", "menu", "1", "Stop");
        row("mode on, idle: menu does nothing", "f12 menu", "0", "Start");
        row("mode on: menu stops", "f12 key menu", "1", "Start");
        row("one-shot: a pass per F12", "once f12 key key key", "3", "Start");
        row("mode clicked off: grab gone, F12 does nothing", "f12 f12 key", "0", "Start");
        row("grab refused: mode off until a second click takes it", "refused key f12 key", "1",
            "Stop");
    }
    void startStop_byMenuAndF12()
    {
        QFETCH(QString, steps);
        QFETCH(QString, caption);
        frmMDIMain& main = *m_fake->main; // beeps count the passes
        Globals::RepeatCommand = !steps.startsWith("once");
        Globals::RepeatInterval = 600000;
        main.mnuBeeponRequest->trigger();
        bool on = false;
        for (const QString& step : steps.remove("once ").split(u' ')) {
            if (step == QLatin1String("menu")) {
                main.mnuStart->trigger();
            } else if (step == QLatin1String("key")) {
                QCOMPARE(m_fake->grab.press(Keyhook::WM_KEYDOWN, Keyhook::VK_F12), on ? 1 : -1);
            } else { // a click on the F12 mode: switching on says how it went
                const bool wasOn = std::exchange(on, !on && step == QLatin1String("f12"));
                m_fake->grab.failNextInstall = !wasOn && !on;
                m_fake->prompts.boxes.clear();
                main.mnuF12toStart_Stop->trigger();
                if (wasOn)
                    QVERIFY(m_fake->prompts.boxes.isEmpty());
                else
                    m_fake->expectOnlyBox(on ? "Start/Stop Transfer with Function Key F12"
                                             : "Error:\r\nFunction Key F12 could not hooked!",
                                          Platform::vbOKOnly, "Hook Function Key");
                QCOMPARE(main.mnuF12toStart_Stop->isChecked(), on);
            }
        }
        QCOMPARE(m_fake->grab.installed(), on);
        QTEST(QString::number(m_fake->desktop.beeps), "passes");
        QCOMPARE(main.mnuStart->text(), caption);
        QCOMPARE(main.SendChannelTimer()->isActive(), caption == QLatin1String("Stop"));
    }

    void checkTick_duringMessageBox_skipped()
    {
        // Channel 1's port cannot open, so its check shows a box; channel 2, switched on
        // while the box is open, has no hardware.
        SocatPair::MapComPort(9, m_dir->filePath(QStringLiteral("no-such-port")));
        frmMDIMain& main = m_fake->start(1, QString());
        main.StopCheckChannels();
        ChannelSettings[1] = QStringLiteral("COM  9, 9600,e,7,1,None");
        bool boundDuringBox = true;
        m_fake->prompts.onNextBox([&main, &boundDuringBox] {
            std::tie(ChannelsCount, ChannelState[2]) = std::tuple(2, 1);
            main.CheckChannelTimer_Timer();
            boundDuringBox = ExistingChannelWindow(2) != nullptr;
        });
        main.CheckChannelTimer_Timer();
        QCOMPARE(m_fake->prompts.boxes.size(), 1);
        QVERIFY(!boundDuringBox);
        QCOMPARE(main.CheckChannelTimerTag, "0");
        main.CheckChannelTimer_Timer();
        QCOMPARE(ExistingChannelWindow(2)->Tag(), "2");
    }

    void dataRequest_intervalCheckedOnLeavingTheBox_data()
    {
        QTest::addColumn<QString>("typed"); // and how the box is left: a key or a button
        QTest::newRow("199: refused, focus stays") << QStringLiteral("199 Tab");
        QTest::newRow("65001: refused, focus stays") << QStringLiteral("65001 Tab");
        QTest::newRow("200 accepted") << QStringLiteral("200 Tab");
        QTest::newRow("65000 accepted") << QStringLiteral("65000 Tab");
        QTest::newRow("letters: refused, focus may leave") << QStringLiteral("2x0 Tab");
        QTest::newRow("Enter for OK with 199: stays open") << QStringLiteral("199 Enter");
        QTest::newRow("Request Now with 199: not clicked") << QStringLiteral("199 cmdRequestNow");
        QTest::newRow("Request Now with 500: the cells sent")
            << QStringLiteral("500 cmdRequestNow");
        QTest::newRow("Cancel: no check, nothing kept") << QStringLiteral("199 cmdCancel");
    }
    void dataRequest_intervalCheckedOnLeavingTheBox()
    {
        QFETCH(QString, typed);
        const QString leave = typed.section(u' ', 1);
        typed = typed.section(u' ', 0, 0);
        const bool cancel = leave == "cmdCancel";
        const int value = typed.toInt(); // 0 for letters
        const bool refused = !cancel && (value < 200 || value > 65000);
        bool stopped = false; // the channel check, while the modal dialog is open
        QTimer::singleShot(0, this, [&] {
            auto* dialog = m_fake->main->findChild<QDialog*>(QStringLiteral("frmDataRequest"));
            stopped = !m_fake->main->CheckChannelTimer()->isActive();
            const auto closeAlways = qScopeGuard([dialog] { dialog->reject(); });
            QVERIFY(QTest::qWaitForWindowActive(dialog));
            // The first channel's command, not the header; leaving the editor commits it.
            QTest::keyClicks(control<FlexGrid>(dialog, "gridCmd"), QStringLiteral("S"));
            auto* box = control<QLineEdit>(dialog, "txtInterval");
            QVERIFY(!box->isEnabled()); // greyed while "Repeat ON" is clear
            QTest::keyClick(control<QCheckBox>(dialog, "chkRepeatCommand"), Qt::Key_Space);
            QTest::mouseClick(box, Qt::LeftButton);
            QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(box, typed);
            if (leave.startsWith(QLatin1String("cmd")))
                click(dialog, leave.toLatin1());
            else
                QTest::keyClick(box, leave == "Tab" ? Qt::Key_Tab : Qt::Key_Return);
            QCOMPARE(dialog->isVisible(), !cancel);
            QVERIFY(cancel || (box->text() == (refused ? "2000" : typed) &&
                               box->hasFocus() == (refused && value != 0)));
            if (!cancel)
                click(dialog, "cmdOK");
        });
        m_fake->main->mnuDataRequest->trigger();
        QVERIFY(stopped && m_fake->main->CheckChannelTimer()->isActive());
        if (refused)
            m_fake->expectOnlyBox("Please enter a number from 200 to 65000",
                                  Platform::vbOKOnly + Platform::vbExclamation, "Interval time");
        QCOMPARE(m_fake->prompts.boxes.size(), int(refused));
        // An accepted interval is in use at once; the rest only after OK.
        const QString interval = refused || cancel ? "2000" : typed;
        QCOMPARE(QString::number(Globals::RepeatInterval) + ChannelCommand[1],
                 interval + (cancel ? "PRT" : "S"));
        QCOMPARE(stored("DataRequest", {"RepeatCommand", "RepeatInterval", "Ch-1_Command",
                                        "Ch-3_Command", "Ch-4_Command"}),
                 cancel ? "unset unset unset unset unset" : "1 " + interval + " S PRT unset");
        const bool requested = leave == "cmdRequestNow" && !refused;
        QCOMPARE(arrived(), requested ? "S\r\n||PRT\r\n" : "||");
    }

    void sendFile_reachesChannelOneAsItIs_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("arrivals"); // piece size @ progress shown at its arrival
        QTest::addColumn<QString>("state");
        QByteArray binary;
        for (int i = 255; i >= 0; --i)
            binary += char(i);
        binary += QByteArray("\r\n\r\0\n", 5);
        const auto row = [](const char* n, QByteArray c, auto... v) {
            (QTest::newRow(n) << c << ... << QString(v));
        };
        row("300 bytes", QByteArray("12.5 g\r\n").repeated(38).left(300), "100@33 100@67 100@100",
            "Done: 300 Bytes of 300");
        row("binary", binary, "100@38 100@77 61@100", "Done: 261 Bytes of 261");
        row("empty", QByteArray(), "", "Done: 0 Bytes of 0");
    }
    void sendFile_reachesChannelOneAsItIs()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, state);
        const QString path = m_dir->filePath(QTest::currentDataTag());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) >= 0);
        file.close();
        LoopbackBalance& balance = *m_balances[1];
        const auto unhook = qScopeGuard([&balance] { balance.onPiece = nullptr; });
        QStringList seen;
        balance.onPiece = [&](const QByteArray& piece) {
            const auto* form = m_fake->main->findChild<frmSendFile*>();
            seen << QString("%1@%2")
                        .arg(piece.size())
                        .arg(form->findChild<QProgressBar*>("ProgressBar1")->value());
            QCOMPARE(form->findChild<QLabel*>("lblState")->text(),
                     QString("Pogress: %1 Bytes of %2")
                         .arg(balance.received.size())
                         .arg(content.size()));
        };
        for (int run = 0; run < 2; ++run) {
            m_fake->prompts.answerNextDialog(run == 0 ? std::optional(path) : std::nullopt);
            m_fake->main->mnuSendFile->trigger();
        }
        QFETCH(QString, arrivals);
        QTRY_COMPARE(seen.join(' '), arrivals);
        QCOMPARE(balance.received, content);

        const auto* form = m_fake->main->findChild<frmSendFile*>();
        QVERIFY(form->isVisible());
        QCOMPARE(form->findChild<QLabel*>("lblState")->text(), state);
        auto* button = form->findChild<QPushButton*>("cmdCtrlButton");
        QCOMPARE(button->text(), "OK");
        // The second choice offers the file of the first; cancelling it sends nothing.
        QCOMPARE(m_fake->prompts.dialogs.value(1).request.fileName, path);
        QCOMPARE(m_fake->prompts.dialogs[0].request.filter,
                 "*.TXT (Text Files)|*.TXT|*.* (All Files)|*.*");
        QVERIFY(m_fake->prompts.boxes.isEmpty());
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(!form->isVisible());
    }

    void sendFile_onlyReadableRegularFiles_elseSaysWhy_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << "missing"
                                 << "No such file or directory";
        QTest::newRow("named pipe") << "fifo"
                                    << "It is not a regular file (a folder, pipe or device).";
        QTest::newRow("folder") << "folder"
                                << "It is not a regular file (a folder, pipe or device).";
    }
    void sendFile_onlyReadableRegularFiles_elseSaysWhy()
    {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        const QString path = m_dir->filePath(kind);
        if (kind == "fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else if (kind == "folder")
            QVERIFY(QDir().mkdir(path));
        m_fake->prompts.answerNextDialog(path);
        m_fake->main->mnuSendFile->trigger(); // returns: no hang in the open
        m_fake->expectOnlyBox("The file could not be sent:\r\n" + path + "\r\n" + reason,
                              Platform::vbOKOnly + Platform::vbExclamation, "Send File");
        QVERIFY(!m_fake->main->findChild<frmSendFile*>()->isVisible());
        QCOMPARE(m_balances[1]->received, QByteArray());
    }

    void sendFile_escapeStopsIt()
    {
        const QString path = m_dir->filePath("long");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray(1000, 'x')) == 1000);
        file.close();
        LoopbackBalance& balance = *m_balances[1];
        const auto unhook = qScopeGuard([&balance] { balance.onPiece = nullptr; });
        balance.onPiece = [this](const QByteArray&) {
            auto* form = m_fake->main->findChild<frmSendFile*>();
            if (form->isVisible())
                QTest::keyClick(form, Qt::Key_Escape);
        };
        m_fake->prompts.answerNextDialog(path);
        m_fake->main->mnuSendFile->trigger(); // returns when the transfer has ended
        const auto* form = m_fake->main->findChild<frmSendFile*>();
        QVERIFY(!form->isVisible());
        QVERIFY(form->findChild<QLabel*>("lblState")->text().startsWith("Pogress: "));
    }
};

QTEST_MAIN(tst_Commands)
#include "tst_commands.moc"
