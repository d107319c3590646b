// Channel configuration from the keyboard and mouse: the grid cell editor, the "Channels"
// dialog with its store writes, "Communication Settings" opened from its cells, and the main
// window's reconciliation against loopback servers.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSerialPort>
#include <QTcpSocket>
#include <QtTest>

#include "channel_config/flex_grid.h"
#include "channel_config/frmChannels.h"
#include "channel_config/frmCommunicationSettings.h"
#include "channel_window/channel_window.h"
#include "channel_window/frmTxtBox.h"
#include "comm/channel_connections.h"
#include "comm/serial_devices.h"
#include "platform/settings_store.h"
#include "shell/load_settings.h"
#include "support/loopback_balance.h"
#include "support/program_doubles.h"
#include "support/socat_pair.h"

using namespace Channel_Window;
using Communication_HW::IsChannelConnected;

namespace {
// Acts in the top modal dialog as a user does, token by token: Enter, Esc, Tab, Space, the
// arrows, ^A (select all), Alt+<letter>, Click:<control>, Focus:<control>, Cell:<row>,<col> (of the
// grid) or typed text. ">token" first hands what follows " / " to the dialog that token opens.
void act(const QString& script)
{
    static const QHash<QString, Qt::Key> named{{"Enter", Qt::Key_Return}, {"Esc", Qt::Key_Escape},
                                               {"Tab", Qt::Key_Tab},      {"Space", Qt::Key_Space},
                                               {"Up", Qt::Key_Up},        {"Down", Qt::Key_Down},
                                               {"Left", Qt::Key_Left},    {"Right", Qt::Key_Right}};
    const QString nested = script.section(QStringLiteral(" / "), 1);
    for (QString token :
         script.section(QStringLiteral(" / "), 0, 0).split(u' ', Qt::SkipEmptyParts)) {
        QWidget* dialog = QApplication::activeModalWidget();
        QVERIFY(dialog);
        // The top dialog has the focus, as a window manager gives it.
        if (QApplication::activeWindow() != dialog)
            dialog->activateWindow();
        QTRY_VERIFY(dialog->isAncestorOf(QApplication::focusWidget()));
        QWidget* focus = QApplication::focusWidget();
        if (token.startsWith(u'>')) {
            QTimer::singleShot(0, [nested] { act(nested); });
            token.remove(0, 1);
        }
        if (token.startsWith("Click:")) {
            QTest::mouseClick(dialog->findChild<QWidget*>(token.mid(6)), Qt::LeftButton);
        } else if (token.startsWith("Focus:")) { // where a Tab would bring it
            dialog->findChild<QWidget*>(token.mid(6))->setFocus();
        } else if (token.startsWith("Cell:")) {
            auto* grid = dialog->findChild<FlexGrid*>();
            const QStringList at = token.mid(5).split(u',');
            const QModelIndex cell = grid->model()->index(at[0].toInt() - 1, at[1].toInt());
            QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                              grid->visualRect(cell).center());
        } else if (token == "^A") {
            QTest::keyClick(focus, Qt::Key_A, Qt::ControlModifier);
        } else if (token.startsWith("Alt+")) { // an access key
            QTest::keyClick(focus, token.at(4).toLatin1(), Qt::AltModifier);
        } else if (named.contains(token)) {
            QTest::keyClick(focus, named[token]);
        } else {
            for (const QChar c : token) // each key goes where the focus is by then
                QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
        }
    }
}

QByteArray storeText()
{
    QFile file(SettingsStore::StoreLocation());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A balance that sends a reading every 50 ms over every link it has.
struct StreamingBalance : LoopbackBalance
{
    explicit StreamingBalance(QByteArray reading) : reading(std::move(reading))
    {
        connect(&clock, &QTimer::timeout, this, [this] {
            for (QTcpSocket* link : std::as_const(links))
                link->write(this->reading);
        });
        clock.start(50);
    }
    QByteArray reading;
    QTimer clock;
};

const QString IP = QStringLiteral("IP 10.0.0.7:4001");
const QString COM = QStringLiteral("COM  3,19200,o,8,2,RTS/CTS");
} // namespace

class tst_ChannelConfig : public ProgramTestCase
{
    Q_OBJECT

private slots:
    void channelList_keysAndClicks_data()
    {
        QTest::addColumn<QString>("script"); // for nested dialogs after " / "
        QTest::addColumn<QString>("cell");   // "row:State,Settings,Identification" afterwards
        QTest::addColumn<int>("current");    // the grid's current row afterwards
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("message"); // 0 none, 1 the count message, 2 also keeping the focus
        QTest::addColumn<int>("stored");  // -1 still open, 0 closed storing nothing, 1 stored
        const auto row = [](const char* name, const QString& script, const QString& cell,
                            int current, int count = 3, int message = 0, int stored = -1) {
            QTest::newRow(name) << script << cell << current << count << message << stored;
        };
        const QString off1 = "1:OFF," + IP + ",", c1 = off1 + "Id A", c2 = "2:OFF," + COM + ",Id B";
        const QString c3 = "3:ON,,Id C", on1 = "1:ON," + IP + ",Id A",
                      on2 = "2:ON," + COM + ",Id B";
        row("count letters: restored, focus goes", "^A abc Tab", c1, 1, 3, 1);
        row("count 0: restored, focus stays", "^A 0 Tab", c1, 1, 3, 2);
        row("count 51 and a click on OK: stays open", "^A 51 Click:cmdOK", c1, 1, 3, 2);
        row("count 2 at once", "^A 2 Tab", c2, 1, 2);
        row("count 1 then 3: rows come back as loaded",
            "Tab Down Down Space Click:txtChannels ^A 1 Tab Click:txtChannels ^A 3 Tab", c3, 1);
        row("count 4: rows read back", "Tab Down Down Space Click:txtChannels ^A 4 Tab",
            "3:OFF,,Id C", 3, 4);
        row("a letter toggles State", "Tab q", on1, 1);
        row("a click toggles State", "Cell:2,1", on2, 2);
        row("Space edits, Enter moves down", "Tab Down Right Right Space ! Enter", c2 + "!", 3);
        row("a key replaces, caret after it", "Tab Right Right x ! Enter", off1 + "x!", 2);
        row("Enter on the last row stays", "Tab Down Down Right Right Space ! Enter", c3 + "!", 3);
        row("Down moves down", "Tab Right Right Space ! Down", c1 + "!", 2);
        row("Up on the first row stays", "Tab Right Right Space ! Up", c1 + "!", 1);
        row("Up moves up", "Tab Down Right Right Space ! Up", c2 + "!", 1);
        row("Escape keeps the text", "Tab Right Right x Esc", c1, 1);
        row("Left, Right move the caret", "Tab Right Right Space Left Left Right ! Enter",
            off1 + "Id !A", 2);
        row("a click elsewhere commits", "Tab Right Right new Cell:3,0", off1 + "new", 3);
        // Enter in the open editor commits; only the next Enter reaches OK.
        const QString edits = "Tab Space Right Right Scale-A Enter ",
                      edited = "1:ON," + IP + ",Scale-A";
        row("Enter on the grid stores", edits + "Enter", edited, 2, 3, 0, 1);
        row("Tab in the editor commits and stays on the grid",
            "Tab Space Right Right x Tab Scale-A Tab Enter", edited, 1, 3, 0, 1);
        row("Escape on the grid stores nothing", edits + "Esc", edited, 2, 3, 0, 0);
        row("Cancel button stores nothing", edits + "Click:cmdCancel", edited, 2, 3, 0, 0);
        // A key or click on a Settings cell opens "Communication Settings" for its string.
        row("IP cell, address typed, Cancel: kept, ON",
            "Tab Right >x / Click:IPAddr ^A 1.2.3.4 Click:cmdCancel", on1, 1);
        // The keys alone, in the dialog's Tab order.
        row("IP cell, address typed: without leading zeros",
            ">Cell:1,2 / Tab 192.168.001.20 Tab Tab Tab 4001 Enter",
            "1:ON,IP 192.168.1.20:4001,Id A", 1);
        row("IP cell, a letter in the address: kept",
            ">Cell:1,2 / Click:IPAddr ^A balance.lab Click:cmdOK", on1, 1);
        row("IP cell made serial: the last serial string, hand-edited, read as far as it goes",
            ">Cell:1,2 / Click:optUseCOMPort Click:cmdOK", "1:ON,COM  1, 9600,e,7,1,None,Id A", 1);
        row("COM cell, OK: kept, ON", "Tab Down Right >Space / Click:cmdOK", on2, 2);
        row("COM cell, Escape: kept, ON", ">Cell:2,2 / Focus:cboCOM 5 Esc", on2, 2);
        row("COM cell, device by its access key, then Cancel: the store as it was",
            ">Cell:2,2 Click:cmdCancel / Focus:cboCOM 4 Alt+D ^A /dev/other Click:cmdOK",
            "2:ON,COM  4,19200,o,8,2,RTS/CTS,Id B", 2, 3, 0, 0);
        row("COM cell, every list chosen",
            ">Cell:2,2 / Tab 12 Tab 38400 Tab N Tab 7 Tab 1 Tab X Tab Space",
            "2:ON,COM 12,38400,n,7,1,Xon/RTS,Id B", 2);
        row("COM cell, arrow to the network option and Space: the last address",
            ">Cell:2,2 / Click:optUseCOMPort Right Space Click:cmdOK", "2:ON,IP 0.0.0.0:2101,Id B",
            2);
        row("empty cell, OK without a choice: OFF", ">Cell:3,2 / Click:cmdOK", "3:OFF,,Id C", 3);
        row("empty cell, address typed: ON",
            ">Cell:3,2 / Click:optUseIPPort Click:IPAddr ^A "
            "10.0.0.9 Click:IPPort ^A 2101 Click:cmdOK",
            "3:ON,IP 10.0.0.9:2101,Id C", 3);
    }
    void channelList_keysAndClicks()
    {
        QFETCH(QString, script);
        QFETCH(QString, cell);
        QFETCH(int, count);
        QFETCH(int, message);
        QFETCH(int, stored);
        // Three channels: 1 OFF on the network, 2 OFF serial, 3 ON without settings.
        Globals::ResetModuleData();
        Settings::OptionChecks checks;
        Settings::LoadSettings(checks); // the program's defaults from an empty store
        ChannelsCount = 3;
        ChannelState = {0, 0, 0, 1};
        ChannelSettings = {"", IP, COM, ""};
        ChannelId = {"", "Id A", "Id B", "Id C"};
        Communication_HW::DefaultCOMSettings = QStringLiteral("COM 17, 4800,x,9,3,Foo");
        SettingsStore::SaveSetting("Channels", "Ch-4_Id", "Old"); // above the count
        SettingsStore::SaveSetting("Ports", "COM3", "/dev/keep");
        const QByteArray before = storeText();
        frmChannels dialog;
        dialog.show();
        act(script);
        auto* grid = dialog.findChild<FlexGrid*>("gridList");
        const int row = cell.section(u':', 0, 0).toInt();
        const auto at = [grid, row](int column) { return grid->TextMatrix(row, column); };
        QCOMPARE(QStringLiteral("%1:%2,%3,%4").arg(row).arg(at(1), at(2), at(3)), cell);
        QTEST(grid->Row(), "current");
        QCOMPARE(grid->Rows(), count + 1);
        const auto* box = dialog.findChild<QLineEdit*>("txtChannels");
        QCOMPARE(box->text(), QString::number(count));
        if (message)
            m_fake->expectOnlyBox("Please enter a number from 1 to 50",
                                  Platform::vbOKOnly + Platform::vbExclamation, "Channels Count");
        else
            QVERIFY(m_fake->prompts.boxes.isEmpty());
        QCOMPARE(box->hasFocus(), message == 2);
        QVERIFY(!dialog.findChild<QLineEdit*>("txtEditGrid")->isVisible());
        QCOMPARE(dialog.isVisible(), stored < 0);
        // Only OK takes the working copy and writes it, for the channels up to the count.
        QStringList lines = QString::fromUtf8(storeText()).split(u'\n', Qt::SkipEmptyParts);
        lines.sort();
        if (stored == 1)
            QCOMPARE(lines.join(u'|'),
                     "COM3=/dev/keep|CannelsCount=3|Ch-1_Id=Scale-A|Ch-1_Settings=" + IP +
                         "|Ch-1_State=1|Ch-2_Id=Id B|Ch-2_Settings=" + COM +
                         "|Ch-2_State=0|Ch-3_Id=Id C|Ch-3_Settings=|Ch-3_State=1"
                         "|Ch-4_Id=Old|[Channels]|[Ports]");
        else
            QCOMPARE(storeText(), before);
        QCOMPARE(ChannelId[1], stored == 1 ? QStringLiteral("Scale-A") : QStringLiteral("Id A"));
    }

    void serialDevice_ofTheChosenNumber_shownPickedAndHandedOn()
    {
        SocatPair pair;
        QVERIFY2(pair.isRunning(), qPrintable(pair.errorText()));
        Communication_HW::SetComPortDevice(2, pair.pathA() + ".gone");
        const QByteArray before = storeText();
        Communication_HW::ComPortDevices devices;
        for (const char* button : {"cmdCancel", "cmdOK"}) {
            QString tag = "2";
            frmCommunicationSettings dialog(tag, devices);
            dialog.show();
            QVERIFY(!dialog.findChild<QWidget*>("IPAddr")->isEnabled()); // the other kind's half
            const auto* device = dialog.findChild<QComboBox*>("cboDevice");
            const auto* state = dialog.findChild<QLabel*>("lblDeviceState");
            act("Focus:cboCOM 2");
            QCOMPARE(device->currentText() + ' ' + state->text(),
                     pair.pathA() + ".gone not present");
            act("Alt+D ^A " + pair.pathA());
            QCOMPARE(state->text(), "present");
            // Another number shows its own device; coming back shows the one typed.
            act("Focus:cboCOM Down");
            QCOMPARE(device->currentText(), "/dev/ttyS2");
            act(QStringLiteral("Up Click:") + button);
        }
        QVERIFY(m_fake->prompts.boxes.isEmpty());
        // Stored by the channel list's OK alone.
        QCOMPARE(devices, Communication_HW::ComPortDevices({{2, pair.pathA()}}));
        QCOMPARE(storeText(), before);
    }

    // Only the device behind the COM number changes: the channel reconnects there and keeps
    // its text.
    void reconcile_deviceChangedAlone_reconnectsThere()
    {
        SocatPair first, other;
        QVERIFY2(first.isRunning() && other.isRunning(), qPrintable(first.errorText()));
        SocatPair::MapComPort(1, first.pathA());
        frmMDIMain& main = m_fake->start(1, "COM  1, 9600,n,8,1,None");
        QTRY_VERIFY_WITH_TIMEOUT(IsChannelConnected(1), 10000);
        TextToChannelWindow(1, "1 g\r\n");
        const QString script =
            ">Cell:1,2 Click:cmdOK / Focus:cboDevice ^A " + other.pathA() + " Click:cmdOK";
        QTimer::singleShot(0, [script] { act(script); });
        main.mnuChannels->trigger();
        QSerialPort far(other.pathB());
        QVERIFY(far.open(QIODevice::ReadWrite));
        QTRY_VERIFY_WITH_TIMEOUT(IsChannelConnected(1), 10000);
        far.write("2 g\r\n");
        QTRY_COMPARE(ExistingChannelWindow(1)->Text(), "1 g\r\n2 g\r\n");
        QVERIFY(m_fake->prompts.boxes.isEmpty());
    }

    // A channel given the other kind of link while its balance streams: its question comes
    // alone while readings go on arriving, the old link is gone at once, and once the
    // channel is ON again nothing of the old balance reaches the window or the keyboard.
    void reconcile_kindChanged_oldLinkGone_data()
    {
        QTest::addColumn<bool>("toSerial");
        QTest::newRow("network to serial") << true;
        QTest::newRow("serial to network") << false;
    }
    void reconcile_kindChanged_oldLinkGone()
    {
        QFETCH(bool, toSerial);
        SocatPair pair;
        QVERIFY2(pair.isRunning(), qPrintable(pair.errorText()));
        SocatPair::MapComPort(1, pair.pathA());
        StreamingBalance net("net 1 g\r\n");
        QSerialPort far(pair.pathB());
        QVERIFY(far.open(QIODevice::ReadWrite));
        QTimer serialClock;
        connect(&serialClock, &QTimer::timeout, &far, [&far] { far.write("com 2 g\r\n"); });
        serialClock.start(50);
        const QString serial = "COM  1, 9600,e,7,1,None";
        frmMDIMain& main = m_fake->start(1, toSerial ? net.settings() : serial);
        main.mnuToCursor->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(IsChannelConnected(1) && ExistingChannelWindow(1)->TextSize(),
                                 10000);
        m_fake->prompts.onNextBox([] {
            const qint64 size = ExistingChannelWindow(1)->TextSize();
            QTRY_VERIFY(ExistingChannelWindow(1)->TextSize() > size);
        });
        m_fake->prompts.answerNextBox(Platform::vbNo);
        const QString script =
            toSerial ? "Tab Right >Space Click:cmdOK / Click:optUseCOMPort Click:cmdOK"
                     : "Tab Right >Space Click:cmdOK / Click:optUseIPPort Click:IPAddr ^A "
                       "127.0.0.1 Click:IPPort ^A " +
                           QString::number(net.serverPort()) + " Click:cmdOK";
        QTimer::singleShot(0, [script] { act(script); });
        main.mnuChannels->trigger();

        QCOMPARE(m_fake->prompts.boxes.size(), 1);
        QCOMPARE(m_fake->prompts.boxes[0].prompt, "Save data before closing ?");
        QVERIFY(!ExistingChannelWindow(1)->IsLoaded());
        if (toSerial) {
            QTRY_COMPARE(net.links[0]->state(), QAbstractSocket::UnconnectedState);
        } else {
            QSerialPort probe(pair.pathA()); // free for another program at once
            QVERIFY(probe.open(QIODevice::ReadWrite));
        }
        m_fake->desktop.keys.clear();
        QTimer::singleShot(0, [] { act("Tab Space Click:cmdOK"); });
        main.mnuChannels->trigger();
        const QString fresh = toSerial ? "com 2 g\r\n" : "net 1 g\r\n";
        QTRY_VERIFY_WITH_TIMEOUT(ExistingChannelWindow(1)->Text().startsWith(fresh.repeated(3)),
                                 10000);
        QVERIFY(!ExistingChannelWindow(1)->Text().contains(toSerial ? "net" : "com"));
        QVERIFY(!m_fake->desktop.keys.contains(toSerial ? "n" : "c"));
        QCOMPARE(m_fake->prompts.boxes.size(), 1);
    }

    // Text that no close took away stays in every question; an unchanged hand-edited
    // string is no change at all.
    void reconcile_keepsTheTextItCouldNotClose_data()
    {
        QTest::addColumn<QString>("settings"); // $port for the balance's port
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("answer"); // to "Save data before closing ?", 0 when not asked
        QTest::newRow("count lowered, Cancel") << "IP 127.0.0.1:$port"
                                               << "^A 1 Tab Click:cmdOK" << int(Platform::vbCancel);
        QTest::newRow("count lowered, Yes, no file chosen")
            << "IP 127.0.0.1:$port"
            << "^A 1 Tab Click:cmdOK" << int(Platform::vbYes);
        QTest::newRow("switched off, Cancel")
            << "IP 127.0.0.1:$port"
            << "Tab Down Space Click:cmdOK" << int(Platform::vbCancel);
        QTest::newRow("made serial, Cancel")
            << "IP 127.0.0.1:$port"
            << "Tab Down Right >Space Click:cmdOK / Click:optUseCOMPort Click:cmdOK"
            << int(Platform::vbCancel);
        QTest::newRow("hand-edited, Escape") << "IP 127.0.0.1:0$port"
                                             << "Esc" << 0;
        QTest::newRow("hand-edited, OK") << "IP 127.0.0.1:0$port"
                                         << "Enter" << 0;
    }
    void reconcile_keepsTheTextItCouldNotClose()
    {
        QFETCH(QString, settings);
        QFETCH(QString, script);
        QFETCH(int, answer);
        StreamingBalance net("1 g\r\n");
        settings.replace("$port", QString::number(net.serverPort()));
        frmMDIMain& main = m_fake->start(2, settings);
        QTRY_VERIFY_WITH_TIMEOUT(IsChannelConnected(2) && ExistingChannelWindow(2)->TextSize(),
                                 10000);
        if (answer)
            m_fake->prompts.answerNextBox(answer);
        QTimer::singleShot(0, [script] { act(script); });
        main.mnuChannels->trigger();

        QCOMPARE(m_fake->prompts.boxes.size(), answer ? 1 : 0);
        QCOMPARE(QList({int(ChannelsCount), int(ChannelState[2])}), QList({2, 1}));
        QCOMPARE(ChannelSettings[2], settings);
        if (answer) // as before the list, also for the next start
            QCOMPARE(SettingsStore::GetSetting("Channels", "CannelsCount") + ' ' +
                         SettingsStore::GetSetting("Channels", "Ch-2_State") + ' ' +
                         SettingsStore::GetSetting("Channels", "Ch-2_Settings"),
                     "2 1 " + settings);
        const qint64 size = ExistingChannelWindow(2)->TextSize();
        QTRY_VERIFY(ExistingChannelWindow(2)->TextSize() > size);
        QCOMPARE(net.links.size(), 2); // never dropped
        m_fake->prompts.answerNextBox(Platform::vbNo);
        main.mnuFileSaveAll->trigger();
        QCOMPARE(m_fake->prompts.boxes.last().prompt, "Overwrite existing files of Channels ?");
        m_fake->prompts.answerNextBox(Platform::vbCancel);
        QVERIFY(!main.close());
        QCOMPARE(m_fake->prompts.boxes.last().prompt, "Save data of all Channels ?");
    }

    void reconcile_afterChannelList_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("closed"); // the channel whose window closes, 0 for none
        QTest::addColumn<bool>("moved"); // channel 1 reconnects to the other server
        QTest::newRow("identification only: nothing closes")
            << "Tab Right Right X Enter Click:cmdOK" << 0 << false;
        QTest::newRow("other port: reconnects there")
            << "Tab Right >Space Click:cmdOK / Click:IPPort ^A $port Click:cmdOK" << 0 << true;
        QTest::newRow("switched off: closed") << "Tab Space Click:cmdOK" << 1 << false;
        QTest::newRow("count lowered: closed, OFF") << "^A 1 Tab Click:cmdOK" << 2 << false;
    }
    void reconcile_afterChannelList()
    {
        QFETCH(QString, script);
        QFETCH(int, closed);
        QFETCH(bool, moved);
        LoopbackBalance first, other;
        frmMDIMain& main = m_fake->start(2, first.settings());
        QTRY_VERIFY_WITH_TIMEOUT(IsChannelConnected(1) && IsChannelConnected(2), 10000);
        script.replace("$port", QString::number(other.serverPort()));
        QTimer::singleShot(0, [script] { act(script); });
        main.mnuChannels->trigger(); // the dialog runs the script
        for (int n = 1; n <= 2; ++n) {
            const bool off = n == closed;
            QCOMPARE(ExistingChannelWindow(n)->IsLoaded(), !off);
            QCOMPARE(ChannelState[n], quint8(!off));
            QCOMPARE(SettingsStore::GetSetting("Channels", QStringLiteral("Ch-%1_State").arg(n)),
                     off ? "0" : "1");
        }
        if (moved) // closed, then opened again at once by the restarted check
            QTRY_VERIFY_WITH_TIMEOUT(other.links.size() == 1 && IsChannelConnected(1), 10000);
        else // never dropped
            QCOMPARE(IsChannelConnected(1), closed != 1);
    }
};

QTEST_MAIN(tst_ChannelConfig)
#include "tst_channel_config.moc"
