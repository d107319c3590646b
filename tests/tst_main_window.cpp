// The main window: its menu, the first start, the option marks and their keys, quitting
// with and without unsaved data, Save all / Clear all and the window arrangements.

#include <QFile>
#include <QGuiApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <memory>

#include "channel_window/channel_window.h"
#include "channel_window/frmTxtBox.h"
#include "keyhook/keyhook.h"
#include "platform/settings_store.h"
#include "shell/frmMDIMain.h"
#include "shell/module_data.h"
#include "support/fake_key_grab.h"
#include "support/recording_desktop.h"
#include "support/scripted_prompts.h"

using namespace Channel_Window;

namespace {
QStringList checkedItems(const frmMDIMain& main)
{
    QStringList names;
    for (QAction* item : main.findChildren<QAction*>()) {
        if (item->isChecked())
            names.append(item->objectName());
    }
    names.sort();
    return names;
}
} // namespace

class tst_MainWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ScriptedPrompts> m_prompts;
    std::unique_ptr<RecordingDesktop> m_desktop;
    std::unique_ptr<FakeKeyGrab> m_grab;
    std::unique_ptr<frmMDIMain> m_main;

    // A program start: fresh module data, the window, its load event.
    frmMDIMain& start()
    {
        m_main.reset();
        Globals::ResetModuleData();
        m_main = std::make_unique<frmMDIMain>();
        m_main->MDIForm_Load();
        m_main->show();
        return *m_main;
    }

    QAction* item(const QString& name) const { return m_main->findChild<QAction*>(name); }

    // ON channels without hardware, each with a window and a log file of its own.
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

    QString logPath(int n) const { return m_dir->filePath(QStringLiteral("ch%1.log").arg(n)); }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir->path()));
        m_prompts = std::make_unique<ScriptedPrompts>();
        m_desktop = std::make_unique<RecordingDesktop>();
        m_grab = std::make_unique<FakeKeyGrab>();
    }

    void cleanup()
    {
        m_main.reset();
        m_grab.reset();
        m_desktop.reset();
        m_prompts.reset();
        m_dir.reset();
    }

    void menu_design_matchesItemTable_data()
    {
        QTest::addColumn<QString>("menu");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QStringList>("items"); // name=caption, separators name=-
        QTest::addColumn<QStringList>("checkable");

        QTest::newRow("File") << "File"
                              << "&File"
                              << QStringList{"mnuFileSaveAll=&Save all", "mnuFile0=-",
                                             "mnuExit=&Quit"}
                              << QStringList{};
        QTest::newRow("Settings") << "Settings"
                                  << "&Settings"
                                  << QStringList{"mnuChannels=&Channels", "mnuSettings0=-",
                                                 "mnuDataRequest=Data &Request"}
                                  << QStringList{};
        QTest::newRow("Transfer") << "Transfer"
                                  << "&Transfer"
                                  << QStringList{"mnuStart=Start",
                                                 "mnuF12toStart_Stop=F12 to &Start/Stop",
                                                 "mnuBeeponRequest=Beepon Request"}
                                  << QStringList{"mnuF12toStart_Stop", "mnuBeeponRequest"};
        QTest::newRow("Send") << "Send"
                              << "S&end"
                              << QStringList{"mnuSendCmd=&Send Command", "mnuSend0=-",
                                             "mnuSendFile=&Send File to CH-1"}
                              << QStringList{};
        QTest::newRow("Format") << "mnuFromat"
                                << "&Format"
                                << QStringList{"mnuDateTime=&Date and Time",
                                               "mnuWeightOnly=Weight &Only",
                                               "mnuDecimalPoint=Decimal - &Point", "mnuTABs=&TABs"}
                                << QStringList{"mnuDateTime", "mnuWeightOnly", "mnuDecimalPoint",
                                               "mnuTABs"};
        QTest::newRow("Forward") << "Forward"
                                 << "Forwar&d CH-1"
                                 << QStringList{"mnuToCursor=To&Cursor", "mnuback_left=Back-&Left"}
                                 << QStringList{"mnuToCursor", "mnuback_left"};
        QTest::newRow("Window") << "Window"
                                << "&Window"
                                << QStringList{"mnuWindowTileHoriz=Tile &Horizontally",
                                               "mnuWindowTileVert=Tile &Vertically",
                                               "mnuWindowCascade=&Cascade", "mnuWindow0=-",
                                               "mnuWindowClearAll=&Clear all"}
                                << QStringList{};
    }

    void menu_design_matchesItemTable()
    {
        QFETCH(QString, menu);
        QFETCH(QString, caption);
        QFETCH(QStringList, items);
        QFETCH(QStringList, checkable);

        frmMDIMain main;
        auto* found = main.menuBar()->findChild<QMenu*>(menu);
        QVERIFY(found);
        QCOMPARE(found->title(), caption);
        QStringList shown;
        QStringList canCheck;
        for (QAction* action : found->actions()) {
            shown.append(action->objectName() + u'=' +
                         (action->isSeparator() ? QStringLiteral("-") : action->text()));
            QVERIFY2(action->shortcut().isEmpty(), qPrintable(action->objectName()));
            if (action->isCheckable())
                canCheck.append(action->objectName());
        }
        QCOMPARE(shown, items);
        QCOMPARE(canCheck, checkable);
    }

    void load_firstRun_barOrderCaptionChecksAndTimers()
    {
        frmMDIMain& main = start();
        QStringList bar;
        for (QAction* top : main.menuBar()->actions())
            bar.append(top->menu() ? top->menu()->objectName() + u'=' + top->text()
                                   : top->objectName() + u'=' + top->text());
        QCOMPARE(bar, (QStringList{"File=&File", "Settings=&Settings", "Transfer=&Transfer",
                                   "Send=S&end", "mnuFromat=&Format", "Forward=Forwar&d CH-1",
                                   "Window=&Window", "mnuAbout=&About"}));
        QCOMPARE(checkedItems(main), QStringList{"mnuDecimalPoint"});
        QCOMPARE(main.windowTitle(), Globals::AppTitle);
        QCOMPARE(main.objectName(), QStringLiteral("frmMDIMain"));
        QCOMPARE(frmMDIMain::Instance(), &main);
        QVERIFY(!Globals::ProgramClosing);
        QCOMPARE(ChannelsCount, quint8(16));
        QVERIFY(main.CheckChannelTimer()->isActive());
        QCOMPARE(main.CheckChannelTimer()->interval(), 500);
        QVERIFY(!main.SendChannelTimer()->isActive());
        QCOMPARE(Keyhook::HookClient, static_cast<KeyboardHook*>(&main));
        QCOMPARE(Keyhook::HookVKey, Keyhook::VK_F12);
        QVERIFY(!Keyhook::HookSet);
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QCOMPARE(main.pos(), QPoint((screen.width() - main.width()) / 2,
                                    (screen.height() - main.height()) / 2));
        // The first start writes nothing.
        QVERIFY(!QFile::exists(SettingsStore::StoreLocation()));
    }

    void optionClick_flipsOnceStoresEveryClick_restartRestoresSix_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("restored");
        QTest::newRow("weight only") << "mnuWeightOnly"
                                     << "Format"
                                     << "WeightOnly" << true;
        QTest::newRow("decimal point, checked at design") << "mnuDecimalPoint"
                                                          << "Format"
                                                          << "DecimalPoint" << true;
        QTest::newRow("date and time") << "mnuDateTime"
                                       << "Format"
                                       << "DateTime" << true;
        QTest::newRow("TABs") << "mnuTABs"
                              << "Format"
                              << "TABs" << true;
        QTest::newRow("to cursor") << "mnuToCursor"
                                   << "Forward"
                                   << "ToCursor" << true;
        QTest::newRow("back-left") << "mnuback_left"
                                   << "Forward"
                                   << "Back-Left" << true;
        QTest::newRow("beep on request is not restored") << "mnuBeeponRequest"
                                                         << "Format"
                                                         << "BeeponRequest" << false;
        QTest::newRow("F12 mode is not restored") << "mnuF12toStart_Stop"
                                                  << "Transfer"
                                                  << "F12toStart/Stop" << false;
    }

    void optionClick_flipsOnceStoresEveryClick_restartRestoresSix()
    {
        QFETCH(QString, name);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(bool, restored);

        start();
        const bool design = item(name)->isChecked();
        for (int click = 1; click <= 3; ++click) {
            item(name)->trigger(); // as a menu click: Qt's own toggle comes first
            const bool expected = click % 2 == 1 ? !design : design;
            QCOMPARE(item(name)->isChecked(), expected);
            QCOMPARE(SettingsStore::GetSetting(section, key, "unset"),
                     expected ? QStringLiteral("True") : QStringLiteral("False"));
        }
        start();
        QCOMPARE(item(name)->isChecked(), restored ? !design : false);
    }

    void quit_withOrWithoutUnsavedData_data()
    {
        QTest::addColumn<bool>("unsaved");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<bool>("keepsRunning");
        QTest::addColumn<bool>("saved");
        QTest::newRow("nothing unsaved: quits without a question")
            << false << 0 << false << false << false;
        QTest::newRow("unsaved, Cancel: keeps running, nothing restarted")
            << true << int(Platform::vbCancel) << true << true << false;
        QTest::newRow("unsaved, No: quits without saving")
            << true << int(Platform::vbNo) << true << false << false;
        QTest::newRow("unsaved, Yes: saves every channel, then quits")
            << true << int(Platform::vbYes) << true << false << true;
    }

    void quit_withOrWithoutUnsavedData()
    {
        QFETCH(bool, unsaved);
        QFETCH(int, answer);
        QFETCH(bool, asked);
        QFETCH(bool, keepsRunning);
        QFETCH(bool, saved);

        frmMDIMain& main = start();
        main.mnuF12toStart_Stop->trigger();
        QVERIFY(Keyhook::HookSet);
        openChannels(2, unsaved ? QStringLiteral("+ 12.5 g\r\n") : QString());
        Globals::RepeatCommand = 1;
        Globals::RepeatInterval = 60000;
        main.StartSendChannels();
        m_prompts->boxes.clear();
        if (answer != 0)
            m_prompts->answerNextBox(answer);

        main.mnuExit->trigger();

        QCOMPARE(m_prompts->boxes.size(), asked ? 1 : 0);
        if (asked) {
            QCOMPARE(m_prompts->boxes[0].prompt, QStringLiteral("Save data of all Channels ?"));
            QCOMPARE(m_prompts->boxes[0].style, Platform::vbYesNoCancel + Platform::vbQuestion);
            QCOMPARE(m_prompts->boxes[0].title, QStringLiteral("Exit program"));
        }
        QCOMPARE(main.isVisible(), keepsRunning);
        QCOMPARE(main.IsUnloaded(), !keepsRunning);
        // Both ways the hook is gone, no timer runs and the program counts as closing.
        QVERIFY(!Keyhook::HookSet);
        QCOMPARE(m_grab->removes, 1);
        QVERIFY(main.mnuF12toStart_Stop->isChecked());
        QVERIFY(!main.CheckChannelTimer()->isActive());
        QVERIFY(!main.SendChannelTimer()->isActive());
        QCOMPARE(main.mnuStart->text(), QStringLiteral("Start"));
        QVERIFY(Globals::ProgramClosing);
        QCOMPARE(QFile::exists(logPath(1)), saved);
        QCOMPARE(QFile::exists(logPath(2)), saved);
        if (keepsRunning) {
            QCOMPARE(ExistingChannelWindow(1)->Text(), QStringLiteral("+ 12.5 g\r\n"));
        } else {
            // The windows went without asking and left their channels ON for the next start.
            QVERIFY(!ExistingChannelWindow(1));
            QCOMPARE(ChannelState[1], quint8(1));
            QCOMPARE(SettingsStore::GetSetting("Channels", "Ch-1_State", "unset"),
                     QStringLiteral("unset"));
        }
    }

    void saveAllClearAll_askOnlyWithUnsavedData_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("unsaved");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("prompt");
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("acted");

        const QString save = QStringLiteral("Overwrite existing files of Channels ?");
        const QString clear = QStringLiteral("Clear data of all Channels ?");
        QTest::newRow("save all, all saved: no question, no file")
            << "mnuFileSaveAll" << false << 0 << QString() << QString() << false;
        QTest::newRow("save all, Yes: every file written")
            << "mnuFileSaveAll" << true << int(Platform::vbYes) << save << "Save all Channels"
            << true;
        QTest::newRow("save all, No: no file written")
            << "mnuFileSaveAll" << true << int(Platform::vbNo) << save << "Save all Channels"
            << false;
        QTest::newRow("clear all, all saved: no question, text stays")
            << "mnuWindowClearAll" << false << 0 << QString() << QString() << false;
        QTest::newRow("clear all, Yes: every window emptied")
            << "mnuWindowClearAll" << true << int(Platform::vbYes) << clear << "Clear all Channels"
            << true;
        QTest::newRow("clear all, No: text stays")
            << "mnuWindowClearAll" << true << int(Platform::vbNo) << clear << "Clear all Channels"
            << false;
    }

    void saveAllClearAll_askOnlyWithUnsavedData()
    {
        QFETCH(QString, name);
        QFETCH(bool, unsaved);
        QFETCH(int, answer);
        QFETCH(QString, prompt);
        QFETCH(QString, title);
        QFETCH(bool, acted);

        start();
        const QString text = QStringLiteral("N  +  1.5 g\r\n");
        openChannels(3, text);
        if (!unsaved) {
            for (int n = 1; n <= 3; ++n) {
                ExistingChannelWindow(n)->SaveChannel();
                QFile::remove(logPath(n));
            }
        }
        if (answer != 0)
            m_prompts->answerNextBox(answer);

        item(name)->trigger();

        QCOMPARE(m_prompts->boxes.size(), prompt.isEmpty() ? 0 : 1);
        if (!prompt.isEmpty()) {
            QCOMPARE(m_prompts->boxes[0].prompt, prompt);
            QCOMPARE(m_prompts->boxes[0].style, Platform::vbYesNo + Platform::vbQuestion);
            QCOMPARE(m_prompts->boxes[0].title, title);
        }
        for (int n = 1; n <= 3; ++n) {
            if (name == QLatin1String("mnuFileSaveAll"))
                QCOMPARE(QFile::exists(logPath(n)), acted);
            else
                QCOMPARE(ExistingChannelWindow(n)->Text(), acted ? QString() : text);
        }
    }

    void arrange_visibleWindows_tiledOrCascaded_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("layout"); // 1 one above the other, 2 side by side, 0 cascade
        QTest::newRow("tile horizontally: full width, equal heights") << "mnuWindowTileHoriz" << 1;
        QTest::newRow("tile vertically: full height, equal widths") << "mnuWindowTileVert" << 2;
        QTest::newRow("cascade: each one down and right of the last") << "mnuWindowCascade" << 0;
    }

    void arrange_visibleWindows_tiledOrCascaded()
    {
        QFETCH(QString, name);
        QFETCH(int, layout);

        frmMDIMain& main = start();
        main.resize(900, 700);
        openChannels(3, QString());
        QMdiArea* area = main.MdiArea();
        QTRY_VERIFY(area->viewport()->width() > 600);
        const QList<QMdiSubWindow*> windows = area->subWindowList(QMdiArea::CreationOrder);
        QCOMPARE(windows.size(), 3);
        windows[1]->showMaximized(); // a maximized window is tiled like the others

        item(name)->trigger();

        const QRect room = area->viewport()->rect();
        QRect previous;
        int heights = 0;
        int widths = 0;
        for (QMdiSubWindow* sub : windows) {
            const QRect g = sub->geometry();
            if (layout == 1) {
                QCOMPARE(g.x(), 0);
                QCOMPARE(g.width(), room.width());
                QCOMPARE(g.y(), previous.isNull() ? 0 : previous.bottom() + 1);
                QVERIFY(qAbs(g.height() - room.height() / 3) <= 1);
                heights += g.height();
            } else if (layout == 2) {
                QCOMPARE(g.y(), 0);
                QCOMPARE(g.height(), room.height());
                QCOMPARE(g.x(), previous.isNull() ? 0 : previous.right() + 1);
                QVERIFY(qAbs(g.width() - room.width() / 3) <= 1);
                widths += g.width();
            } else if (!previous.isNull()) {
                QVERIFY(g.x() > previous.x());
                QVERIFY(g.y() > previous.y());
            }
            previous = g;
        }
        if (layout == 1)
            QCOMPARE(heights, room.height());
        if (layout == 2)
            QCOMPARE(widths, room.width());
    }
};

QTEST_MAIN(tst_MainWindow)
#include "tst_main_window.moc"
