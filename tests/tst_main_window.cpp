// The main window: its menu and option marks, quitting, Save all / Clear all, arrangements.

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QtTest>

#include "channel_window/channel_window.h"
#include "channel_window/frmTxtBox.h"
#include "keyhook/keyhook.h"
#include "platform/settings_store.h"
#include "shell/frmMDIMain.h"
#include "shell/module_data.h"
#include "support/program_doubles.h"

using namespace Channel_Window;

class tst_MainWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::optional<ProgramDoubles> m_fake;

    frmMDIMain& start()
    {
        frmMDIMain& main = m_fake->start();
        main.show();
        return main;
    }
    QAction* item(const QString& name) const { return m_fake->main->findChild<QAction*>(name); }
    QString logPath(int n) const { return m_dir->filePath(QStringLiteral("ch%1.log").arg(n)); }
    // ON channels without hardware, each with its window, text and log file.
    void openChannels(int count, const QString& text)
    {
        ChannelsCount = quint8(count);
        for (int n = 1; n <= count; ++n) {
            ChannelState[n] = 1;
            ChannelFilename[n] = logPath(n);
            ShowChannelWindow(n);
            if (!text.isEmpty())
                TextToChannelWindow(n, text);
        }
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir->path()));
        m_fake.emplace();
    }
    void cleanup() { m_fake.reset(); }

    void load_firstRun_menuAsDesignedOnlyDecimalPointChecked()
    {
        frmMDIMain& main = start();
        QStringList menu; // "name=caption", items indented, "name=-" for separators
        QStringList checkable;
        for (QAction* top : main.menuBar()->actions()) {
            menu << (top->menu() ? top->menu()->objectName() : top->objectName()) + u'=' +
                        top->text();
            for (QAction* a : top->menu() ? top->menu()->actions() : QList<QAction*>{}) {
                menu << u' ' + a->objectName() + u'=' + (a->isSeparator() ? "-" : a->text());
                QVERIFY(a->shortcut().isEmpty());
                if (a->isCheckable())
                    checkable << a->objectName() + (a->isChecked() ? "+" : "");
            }
        }
        QCOMPARE(menu.join(u','),
                 QStringLiteral(
                     "File=&File, mnuFileSaveAll=&Save all, mnuFile0=-, mnuExit=&Quit,"
                     "Settings=&Settings, mnuChannels=&Channels, mnuSettings0=-,"
                     " mnuDataRequest=Data &Request,Transfer=&Transfer, mnuStart=Start,"
                     " mnuF12toStart_Stop=F12 to &Start/Stop, mnuBeeponRequest=Beepon Request,"
                     "Send=S&end, mnuSendCmd=&Send Command, mnuSend0=-,"
                     " mnuSendFile=&Send File to CH-1,mnuFromat=&Format,"
                     " mnuDateTime=&Date and Time, mnuWeightOnly=Weight &Only,"
                     " mnuDecimalPoint=Decimal - &Point, mnuTABs=&TABs,"
                     "Forward=Forwar&d CH-1, mnuToCursor=To&Cursor, mnuback_left=Back-&Left,"
                     "Window=&Window, mnuWindowTileHoriz=Tile &Horizontally,"
                     " mnuWindowTileVert=Tile &Vertically, mnuWindowCascade=&Cascade,"
                     " mnuWindow0=-, mnuWindowClearAll=&Clear all,mnuAbout=&About"));
        QCOMPARE(checkable.join(u' '), QStringLiteral("mnuF12toStart_Stop mnuBeeponRequest "
                                                      "mnuDateTime mnuWeightOnly mnuDecimalPoint+ "
                                                      "mnuTABs mnuToCursor mnuback_left"));
        QCOMPARE(main.windowTitle(), Globals::AppTitle);
        QVERIFY(!Globals::ProgramClosing);
        QCOMPARE(ChannelsCount, quint8(16));
        QVERIFY(main.CheckChannelTimer()->isActive());
        QCOMPARE(main.CheckChannelTimer()->interval(), 500);
        QCOMPARE(Keyhook::HookClient, static_cast<KeyboardHook*>(&main));
        QVERIFY(!QFile::exists(SettingsStore::StoreLocation())); // the start writes nothing
    }

    void optionClick_flipsOnceAndStores_restartRestoresSix_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("key"); // section/key
        QTest::addColumn<bool>("restored");
        const auto row = [](const char* name, const char* key, bool restored) {
            QTest::newRow(name) << QString(name) << QString(key) << restored;
        };
        row("mnuWeightOnly", "Format/WeightOnly", true);
        row("mnuDecimalPoint", "Format/DecimalPoint", true);
        row("mnuDateTime", "Format/DateTime", true);
        row("mnuTABs", "Format/TABs", true);
        row("mnuToCursor", "Forward/ToCursor", true);
        row("mnuback_left", "Forward/Back-Left", true);
        row("mnuBeeponRequest", "Format/BeeponRequest", false); // not restored
        row("mnuF12toStart_Stop", "Transfer/F12toStart/Stop", false);
    }
    void optionClick_flipsOnceAndStores_restartRestoresSix()
    {
        QFETCH(QString, name);
        QFETCH(QString, key);
        QFETCH(bool, restored);
        start();
        const bool design = item(name)->isChecked();
        const QString section = key.section(u'/', 0, 0);
        for (int click = 1; click <= 3; ++click) {
            item(name)->trigger(); // a menu click: Qt's own toggle comes first
            const bool expected = (click % 2 == 1) != design;
            QCOMPARE(item(name)->isChecked(), expected);
            QCOMPARE(SettingsStore::GetSetting(section, key.section(u'/', 1)),
                     expected ? QStringLiteral("True") : QStringLiteral("False"));
        }
        start();
        QCOMPARE(item(name)->isChecked(), restored && !design);
    }

    void quit_unsavedOrNot_asksOnceAndStopsEverything_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("running");
        QTest::addColumn<bool>("saved");
        QTest::newRow("nothing unsaved: no question") << "" << 0 << false << false;
        QTest::newRow("Cancel: keeps running")
            << "+1 g" << int(Platform::vbCancel) << true << false;
        QTest::newRow("No: quits unsaved") << "+1 g" << int(Platform::vbNo) << false << false;
        QTest::newRow("Yes: saves, then quits") << "+1 g" << int(Platform::vbYes) << false << true;
    }
    void quit_unsavedOrNot_asksOnceAndStopsEverything()
    {
        QFETCH(QString, text);
        QFETCH(int, answer);
        QFETCH(bool, running);
        QFETCH(bool, saved);
        frmMDIMain& main = start();
        main.mnuF12toStart_Stop->trigger();
        openChannels(2, text);
        Globals::RepeatCommand = 1;
        Globals::RepeatInterval = 60000;
        main.StartSendChannels();
        m_fake->prompts.boxes.clear();
        m_fake->prompts.answerNextBox(answer);
        main.mnuExit->trigger();
        if (text.isEmpty())
            QVERIFY(m_fake->prompts.boxes.isEmpty());
        else
            m_fake->expectOnlyBox("Save data of all Channels ?",
                                  Platform::vbYesNoCancel + Platform::vbQuestion, "Exit program");
        QCOMPARE(main.isVisible(), running);
        // Cancelled or not: no hook (its mark stays), no timer, and the program is closing.
        QVERIFY(!Keyhook::HookSet && main.mnuF12toStart_Stop->isChecked());
        QVERIFY(!main.CheckChannelTimer()->isActive() && !main.SendChannelTimer()->isActive());
        QCOMPARE(main.mnuStart->text(), QStringLiteral("Start"));
        QVERIFY(Globals::ProgramClosing);
        QCOMPARE(QFile::exists(logPath(1)) && QFile::exists(logPath(2)), saved);
        // Windows unloaded at the end leave their channels ON for the next start.
        QCOMPARE(ExistingChannelWindow(1) != nullptr, running);
        QCOMPARE(ChannelState[1], quint8(1));
        QCOMPARE(SettingsStore::GetSetting("Channels", "Ch-1_State", "unset"), "unset");
    }

    void saveAllClearAll_askOnlyWithUnsavedData_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("unsaved");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("acted");
        const auto row = [](const char* name, const char* item, bool unsaved, int answer,
                            bool acted) {
            QTest::newRow(name) << QString(item) << unsaved << answer << acted;
        };
        const int yes = Platform::vbYes, no = Platform::vbNo;
        row("save all, all saved: no question", "mnuFileSaveAll", false, 0, false);
        row("save all, Yes: files written", "mnuFileSaveAll", true, yes, true);
        row("save all, No: nothing written", "mnuFileSaveAll", true, no, false);
        row("clear all, all saved: no question", "mnuWindowClearAll", false, 0, false);
        row("clear all, Yes: emptied", "mnuWindowClearAll", true, yes, true);
        row("clear all, No: text stays", "mnuWindowClearAll", true, no, false);
    }
    void saveAllClearAll_askOnlyWithUnsavedData()
    {
        QFETCH(QString, name);
        QFETCH(bool, unsaved);
        QFETCH(int, answer);
        QFETCH(bool, acted);
        start();
        openChannels(3, QStringLiteral("N  +  1.5 g\r\n"));
        for (int n = 1; n <= 3 && !unsaved; ++n) {
            ExistingChannelWindow(n)->SaveChannel();
            QFile::remove(logPath(n));
        }
        m_fake->prompts.answerNextBox(answer);
        item(name)->trigger();
        const bool save = name == QLatin1String("mnuFileSaveAll");
        if (!unsaved)
            QVERIFY(m_fake->prompts.boxes.isEmpty());
        else
            m_fake->expectOnlyBox(save ? "Overwrite existing files of Channels ?"
                                       : "Clear data of all Channels ?",
                                  Platform::vbYesNo + Platform::vbQuestion,
                                  save ? "Save all Channels" : "Clear all Channels");
        for (int n = 1; n <= 3; ++n)
            QCOMPARE(save ? QFile::exists(logPath(n)) : ExistingChannelWindow(n)->Text().isEmpty(),
                     acted);
    }

    void arrange_tiledOrCascaded_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("bands"); // a + per window, rows (Horiz) or columns (Vert)
        QTest::newRow("three one above the other") << "mnuWindowTileHoriz" << 3 << "+ + +";
        QTest::newRow("five in two rows") << "mnuWindowTileHoriz" << 5 << "++ +++";
        QTest::newRow("six in three columns") << "mnuWindowTileVert" << 6 << "++ ++ ++";
        QTest::newRow("sixteen in four columns")
            << "mnuWindowTileVert" << 16 << "++++ ++++ ++++ ++++";
        QTest::newRow("cascade") << "mnuWindowCascade" << 3 << QString();
    }
    void arrange_tiledOrCascaded()
    {
        QFETCH(QString, name);
        QFETCH(int, count);
        QFETCH(QString, bands);
        frmMDIMain& main = start();
        main.resize(1000, 700);
        openChannels(count, QString());
        const QList<QMdiSubWindow*> windows = main.MdiArea()->subWindowList();
        windows[1]->showMaximized(); // a maximized window is laid out like the others
        QTRY_VERIFY(main.MdiArea()->viewport()->width() > 600);

        item(name)->trigger();
        if (bands.isEmpty()) {
            for (int i = 1; i < count; ++i)
                QVERIFY(windows[i]->x() > windows[i - 1]->x() &&
                        windows[i]->y() > windows[i - 1]->y());
            return;
        }
        // The windows fill the area without overlapping, band after band in creation order.
        const bool rows = name == QLatin1String("mnuWindowTileHoriz");
        const QRect room = main.MdiArea()->viewport()->rect();
        QStringList perBand;
        int area = 0;
        for (int i = 0; i < count; ++i) {
            const QRect g = windows[i]->geometry();
            QVERIFY(room.contains(g));
            area += g.width() * g.height();
            if (i == 0 || (rows ? g.y() != windows[i - 1]->y() : g.x() != windows[i - 1]->x()))
                perBand << "";
            perBand.last() += '+';
        }
        QCOMPARE(area, room.width() * room.height());
        QCOMPARE(perBand.join(' '), bands);
    }
};

QTEST_MAIN(tst_MainWindow)
#include "tst_main_window.moc"
