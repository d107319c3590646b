// The main window: its option marks, quitting, Save all / Clear all, tiling, and the
// journal that brings unsaved text back after the program was ended or killed.

#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>
#include <csignal>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include "channel_window/channel_journal.h"
#include "channel_window/channel_window.h"
#include "channel_window/frmTxtBox.h"
#include "keyhook/keyhook.h"
#include "platform/settings_store.h"
#include "support/child_process.h"
#include "support/program_doubles.h"

using namespace Channel_Window;

class tst_MainWindow : public ProgramTestCase
{
    Q_OBJECT

    QByteArray m_unmount; // a mount a test left, undone after its program is gone

    QAction* item(const QString& name) const { return m_fake->main->findChild<QAction*>(name); }
    QString logPath(int n) const { return m_dir->filePath(QStringLiteral("ch%1.log").arg(n)); }
    // The program started and shown; with `count`, that many ON channels without hardware,
    // each with its window, text and log file.
    frmMDIMain& start(int count = 0, const QString& text = {})
    {
        frmMDIMain& main = m_fake->start();
        main.show();
        if (count > 0) // else the stored count stays
            ChannelsCount = quint8(count);
        for (int n = 1; n <= count; ++n) {
            ChannelState[n] = 1;
            ChannelFilename[n] = logPath(n);
            ShowChannelWindow(n);
            TextToChannelWindow(n, text);
        }
        return main;
    }

    static QByteArray journal()
    {
        QFile file(Channel_Journal::Folder() + "/Channel-1.journal");
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
    }
    // Channel 1 ON in the store, as a user left it.
    static void storeChannel1(const QString& settings, const QString& logFile = {})
    {
        const QStringList values{"CannelsCount",  "1",     "Ch-1_State",    "1",
                                 "Ch-1_Id",       "Scale", "Ch-1_Settings", settings,
                                 "Ch-1_Filename", logFile};
        for (int i = 0; i < values.size(); i += 2)
            SettingsStore::SaveSetting("Channels", values[i], values[i + 1]);
    }
    // The next start brings back this text, unsaved, and says so once.
    void expectRecoveredAtStart(const QString& text)
    {
        m_fake->prompts.boxes.clear();
        start();
        frmTxtBox* window = ExistingChannelWindow(1);
        QCOMPARE(window ? window->Text() : QString(), text);
        QCOMPARE(window && window->DataChanged(), !text.isEmpty());
        if (!text.isEmpty()) {
            QTRY_COMPARE(m_fake->prompts.boxes.size(), 1);
            QVERIFY(m_fake->prompts.boxes[0].prompt.contains("\r\nScale (CH-1, IP 127.0.0.1:"));
        }
    }

private slots:
    void cleanup()
    {
        ProgramTestCase::cleanup();
        if (!m_unmount.isEmpty())
            ::umount2(std::exchange(m_unmount, {}).constData(), MNT_DETACH);
    }

    void optionClick_flipsOnceAndStores_restartRestoresSix_data()
    {
        QTest::addColumn<QString>("key"); // section/key
        QTest::addColumn<bool>("restored");
        QTest::newRow("mnuWeightOnly") << "Format/WeightOnly" << true;
        QTest::newRow("mnuDecimalPoint") << "Format/DecimalPoint" << true;
        QTest::newRow("mnuDateTime") << "Format/DateTime" << true;
        QTest::newRow("mnuTABs") << "Format/TABs" << true;
        QTest::newRow("mnuToCursor") << "Forward/ToCursor" << true;
        QTest::newRow("mnuback_left") << "Forward/Back-Left" << true;
        QTest::newRow("mnuBeeponRequest") << "Format/BeeponRequest" << false;
        QTest::newRow("mnuF12toStart_Stop") << "Transfer/F12toStart/Stop" << false;
    }
    void optionClick_flipsOnceAndStores_restartRestoresSix()
    {
        QFETCH(QString, key);
        QFETCH(bool, restored);
        const QString name = QTest::currentDataTag();
        start();
        QVERIFY(!QFile::exists(SettingsStore::StoreLocation())); // a first start writes nothing
        const bool design = item(name)->isChecked();
        for (int click = 1; click <= 3; ++click) {
            item(name)->trigger(); // a menu click: Qt's own toggle comes first
            const bool expected = (click % 2 == 1) != design;
            QCOMPARE(item(name)->isChecked(), expected);
            QCOMPARE(SettingsStore::GetSetting(key.section(u'/', 0, 0), key.section(u'/', 1)),
                     expected ? "True" : "False");
        }
        start();
        QCOMPARE(item(name)->isChecked(), restored && !design);
    }

    // Quit, Save all and Clear all ask only while some ON channel holds unsaved text.
    void unsavedText_askedOnceAnswerActs_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("box"); // prompt|title; empty: all is saved, nothing asked
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("effect"); // "saved", "cleared", "closed"
        const auto row = [](const char* tag, const char* name, const char* box, int answer,
                            const char* effect) {
            QTest::newRow(tag) << QString(name) << QString(box) << answer << QString(effect);
        };
        const int yes = Platform::vbYes, no = Platform::vbNo, cancel = Platform::vbCancel;
        const char* save = "Overwrite existing files of Channels ?|Save all Channels";
        const char* clear = "Clear data of all Channels ?|Clear all Channels";
        const char* quit = "Save data of all Channels ?|Exit program";
        row("save all, all saved: no question", "mnuFileSaveAll", "", 0, "");
        row("save all, Yes: files written", "mnuFileSaveAll", save, yes, "saved");
        row("save all, No: nothing written", "mnuFileSaveAll", save, no, "");
        row("clear all, all saved: no question", "mnuWindowClearAll", "", 0, "");
        row("clear all, Yes: emptied", "mnuWindowClearAll", clear, yes, "cleared");
        row("clear all, No: text stays", "mnuWindowClearAll", clear, no, "");
        row("quit, all saved: no question", "mnuExit", "", 0, "closed");
        row("quit, Cancel: keeps running", "mnuExit", quit, cancel, "");
        row("quit, No: quits unsaved", "mnuExit", quit, no, "closed");
        row("quit, Yes: saves, then quits", "mnuExit", quit, yes, "saved closed");
    }
    void unsavedText_askedOnceAnswerActs()
    {
        QFETCH(QString, name);
        QFETCH(QString, box);
        QFETCH(int, answer);
        QFETCH(QString, effect);
        frmMDIMain& main = start(3, QStringLiteral("N  +  1.5 g\r\n"));
        for (int n = 1; n <= 3 && box.isEmpty(); ++n) {
            ExistingChannelWindow(n)->SaveChannel();
            QFile::remove(logPath(n));
        }
        const bool quit = name == QLatin1String("mnuExit");
        if (quit) { // with everything running that quitting stops
            main.mnuF12toStart_Stop->trigger();
            Globals::RepeatCommand = 1;
            Globals::RepeatInterval = 60000;
            main.StartSendChannels();
            m_fake->prompts.boxes.clear();
        }
        m_fake->prompts.answerNextBox(answer);
        item(name)->trigger();
        if (box.isEmpty())
            QVERIFY(m_fake->prompts.boxes.isEmpty());
        else
            m_fake->expectOnlyBox(box.section(u'|', 0, 0),
                                  (quit ? Platform::vbYesNoCancel : Platform::vbYesNo) +
                                      Platform::vbQuestion,
                                  box.section(u'|', 1));
        for (int n = 1; n <= 3; ++n) {
            QCOMPARE(QFile::exists(logPath(n)), effect.contains("saved"));
            if (frmTxtBox* window = ExistingChannelWindow(n))
                QCOMPARE(window->Text().isEmpty(), effect.contains("cleared"));
        }
        const bool running = !effect.contains("closed");
        QCOMPARE(main.isVisible(), running);
        if (!quit)
            return;
        // Cancelled or not: no hook (its mark stays), no timer, and the program is closing.
        QVERIFY(!Keyhook::HookSet && main.mnuF12toStart_Stop->isChecked());
        QVERIFY(!main.CheckChannelTimer()->isActive() && !main.SendChannelTimer()->isActive());
        QCOMPARE(main.mnuStart->text(), "Start");
        QVERIFY(Globals::ProgramClosing);
        QCOMPARE(journal() != "<none>", running); // quitting lets the journal go
        // Windows unloaded at the end release their elements but leave their channels ON
        // for the next start.
        QCOMPARE(ExistingChannelWindow(1) != nullptr, running);
        QCOMPARE(main.Winsocket.Exists(1), running);
        QCOMPARE(ChannelState[1], quint8(1));
        QCOMPARE(SettingsStore::GetSetting("Channels", "Ch-1_State", "unset"), "unset");
    }

    void programEnded_textBackUnsavedAtNextStart_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("killed (SIGKILL)") << int(SIGKILL);
        QTest::newRow("logout or shutdown (SIGTERM)") << int(SIGTERM);
        QTest::newRow("terminal gone (SIGHUP)") << int(SIGHUP);
        QTest::newRow("Ctrl+C (SIGINT)") << int(SIGINT);
    }
    void programEnded_textBackUnsavedAtNextStart()
    {
        QFETCH(int, signal);
        QTcpServer balance;
        QVERIFY(balance.listen(QHostAddress::LocalHost));
        storeChannel1(QStringLiteral("IP 127.0.0.1:%1").arg(balance.serverPort()));
        QProcess program;
        program.start(QUORVANE_BIN_DIR "/quorvane");
        QTRY_VERIFY_WITH_TIMEOUT(balance.hasPendingConnections(), 20000);
        QTcpSocket* link = balance.nextPendingConnection();
        // More than a window keeps in memory, the last readings a few characters at a time.
        const QByteArray readings =
            QByteArray("N  +  1.5 g\r\n\xB5\x00\xFF+ 2.25 g\r\n", 25).repeated(4000);
        QVERIFY(link->write(readings.left(99000)));
        for (qsizetype at = 99000; at < readings.size(); at += 4)
            QVERIFY(link->write(readings.mid(at, 4)) && link->waitForBytesWritten(5000));
        QTRY_COMPARE(journal(), readings);

        ::kill(pid_t(program.processId()), signal);
        QVERIFY(program.waitForFinished(20000)); // an open question would keep it running
        QCOMPARE(program.exitStatus(),
                 signal == SIGKILL ? QProcess::CrashExit : QProcess::NormalExit);
        expectRecoveredAtStart(QString::fromLatin1(readings));
        TextToChannelWindow(1, "more\r\n"); // journalled after the recovered text
        Channel_Journal::SyncAll();
        QCOMPARE(journal(), readings + "more\r\n");
    }

    // What a run left behind in the journal folder, as a crash, a restore or a shared home
    // leaves it; the next start takes all of it back, a cut-off reading on a line of its own.
    void leftBehind_journalTakenBackWhole_data()
    {
        QTest::addColumn<QByteArray>("journal");
        QTest::addColumn<QByteArray>("saved"); // "-": no mark
        QTest::addColumn<QByteArray>("lock");  // "-": no lock file
        QTest::addColumn<QString>("recovered");
        const QByteArray whole = "N  +  1.5 g\r\n";
        QTest::newRow("cut mid-line") << whole + "12P5" << QByteArray("-") << QByteArray("-")
                                      << QString(whole + "12P5\r\nnext\r\n");
        QTest::newRow("mark beyond the end")
            << whole << QByteArray("99999") << QByteArray("-") << QString(whole + "next\r\n");
        QTest::newRow("mark garbage")
            << whole << QByteArray("1x\x01") << QByteArray("-") << QString(whole + "next\r\n");
        QTest::newRow("lock empty")
            << whole << QByteArray("-") << QByteArray() << QString(whole + "next\r\n");
        QTest::newRow("lock garbage")
            << whole << QByteArray("-") << QByteArray("\xff\0zz", 4) << QString(whole + "next\r\n");
        QTest::newRow("lock of another machine")
            << whole << QByteArray("-") << QByteArray("4242\nquorvane\nlab-pc-7\n")
            << QString(whole + "next\r\n");
    }
    void leftBehind_journalTakenBackWhole()
    {
        QFETCH(QByteArray, journal);
        QFETCH(QByteArray, saved);
        QFETCH(QByteArray, lock);
        QFETCH(QString, recovered);
        storeChannel1("none");
        const QDir folder(Channel_Journal::Folder());
        QVERIFY(folder.mkpath("."));
        const auto put = [&folder](const char* name, const QByteArray& bytes) {
            QFile file(folder.filePath(name));
            QVERIFY(bytes == "-" || (file.open(QIODevice::WriteOnly) && file.write(bytes) >= 0));
        };
        put("Channel-1.journal", journal);
        put("Channel-1.saved", saved);
        put("lock", lock);
        start();
        TextToChannelWindow(1, "next\r\n");
        QCOMPARE(ExistingChannelWindow(1)->Text(), recovered);
        Channel_Journal::SyncAll();
        QCOMPARE(this->journal(), recovered.toLatin1()); // and it goes on journalling
        QVERIFY(m_fake->main->lblJournalWarning->isHidden());
    }

    // Where no journal can be written the program runs on, journals nothing and says so
    // above its windows.
    void noJournal_stripSaysWhichChannelsAndWhy_data()
    {
        QTest::addColumn<bool>("secondCopy"); // else a read-only state folder
        QTest::newRow("a copy runs already") << true;
        QTest::newRow("read-only state folder") << false;
    }
    void noJournal_stripSaysWhichChannelsAndWhy()
    {
        QFETCH(bool, secondCopy);
        storeChannel1("none");
        QProcess first;
        const auto stop = qScopeGuard([&first] { StopChildProcess(first); });
        const QString folder = Channel_Journal::Folder();
        QString reason;
        if (secondCopy) {
            first.start(QUORVANE_BIN_DIR "/quorvane");
            const auto lockHolder = [&folder] {
                QFile file(folder + "/lock");
                return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
            };
            const QByteArray holder = "process " + QByteArray::number(first.processId());
            QTRY_VERIFY_WITH_TIMEOUT(lockHolder().startsWith(holder), 20000);
            reason = " is locked: another copy of the program holds it (" + holder + " on " +
                     QSysInfo::machineHostName() + ")";
        } else {
            // Root writes anywhere a mode allows nothing; a read-only mount stops it too.
            QVERIFY(QDir().mkpath(folder));
            const QByteArray path = QFile::encodeName(folder);
            const bool root = ::geteuid() == 0;
            QVERIFY(root ? ::mount("tmpfs", path.constData(), "tmpfs", MS_RDONLY, "size=64k") == 0
                         : ::chmod(path.constData(), 0500) == 0);
            m_unmount = root ? path : QByteArray();
            reason = QString(" cannot be written (") +
                     (root ? "Read-only file system" : "Permission denied") + ")";
        }
        start();
        ShowChannelWindow(1);
        TextToChannelWindow(1, "1.5 g\r\n");
        Channel_Journal::SyncAll();
        QVERIFY(!journal().contains("1.5 g")); // the first copy's journal, if any, stays its own
        const QLabel* warning = m_fake->main->lblJournalWarning;
        QTRY_VERIFY(warning->isVisibleTo(m_fake->main.get()));
        QCOMPARE(warning->text(), "No crash protection for channel 1: the journal folder " +
                                      folder + reason +
                                      ". Its unsaved data are only in its window; save them "
                                      "to a log file.");
        if (secondCopy)
            return;
        // The folder writable again: the journal starts with what the window holds.
        QVERIFY(m_unmount.isEmpty()
                    ? ::chmod(QFile::encodeName(folder).constData(), 0700) == 0
                    : ::mount(nullptr, m_unmount.constData(), nullptr, MS_REMOUNT, nullptr) == 0);
        QTRY_COMPARE_WITH_TIMEOUT(journal(), QByteArray("1.5 g\r\n"), 15000);
        QTRY_VERIFY(warning->isHidden());
    }

    // A state folder on a disk that fills up and frees again: what arrived meanwhile
    // reaches the journal, and a kill afterwards loses nothing.
    void stateDiskFillsAndFrees_killAfterwardsLosesNothing()
    {
        if (::geteuid() != 0)
            QSKIP("Mounting a small tmpfs for the state folder needs root");
        const QString disk = m_dir->filePath("state");
        QVERIFY(QDir().mkpath(disk));
        QVERIFY2(::mount("tmpfs", QFile::encodeName(disk).constData(), "tmpfs", 0, "size=256k") ==
                     0,
                 strerror(errno));
        m_unmount = QFile::encodeName(disk);
        qputenv("XDG_STATE_HOME", QFile::encodeName(disk));
        QTcpServer balance;
        QVERIFY(balance.listen(QHostAddress::LocalHost));
        storeChannel1(QStringLiteral("IP 127.0.0.1:%1").arg(balance.serverPort()));
        QProcess program;
        program.start(QUORVANE_BIN_DIR "/quorvane");
        const auto stop = qScopeGuard([&program] { StopChildProcess(program); });
        QTRY_VERIFY_WITH_TIMEOUT(balance.hasPendingConnections(), 20000);
        QTcpSocket* link = balance.nextPendingConnection();
        const QByteArray reading = "N  +  1.5 g\r\n";
        QVERIFY(link->write(reading.repeated(2000))); // 26 KB
        QTRY_COMPARE(journal().size(), 2000 * reading.size());

        QFile filler(disk + "/filler");
        QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        while (filler.write(QByteArray(4096, 'f')) == 4096) {
        }
        QVERIFY(link->write(reading.repeated(3000))); // more than the disk has room for
        QString log;
        QTRY_VERIFY_WITH_TIMEOUT(
            (log += program.readAllStandardError()).contains("No crash protection for channel 1"),
            20000);
        filler.close();
        QVERIFY(QFile::remove(filler.fileName()));
        QVERIFY(link->write(reading));
        QTRY_COMPARE_WITH_TIMEOUT(journal().size(), 5001 * reading.size(), 20000);
        QTRY_VERIFY(
            (log += program.readAllStandardError()).contains("protected against a crash again"));

        ::kill(pid_t(program.processId()), SIGKILL);
        QVERIFY(program.waitForFinished(20000));
        expectRecoveredAtStart(QString::fromLatin1(reading.repeated(5001)));
    }

    void saveOrClear_settleTheJournal_data()
    {
        QTest::addColumn<QString>("then");
        QTest::addColumn<QString>("recovered");
        const auto row = [](const char* name, const char* then, const char* recovered) {
            QTest::newRow(name) << QString(then) << QString(recovered);
        };
        row("saved, then ended: nothing to recover", "save", "");
        row("more after the save: the whole text as shown", "save, more", "A\nB\n");
        row("cleared: nothing", "clear", "");
        row("quit, Yes, the save fails: back at the next start", "quit", "A\n");
    }
    void saveOrClear_settleTheJournal()
    {
        QFETCH(QString, then);
        QFETCH(QString, recovered);
        const QString log = then == "quit" ? m_dir->filePath("gone/ch1.log") : logPath(1);
        storeChannel1("IP 127.0.0.1:9", log);
        frmMDIMain& main = start();
        ShowChannelWindow(1);
        TextToChannelWindow(1, "A\n");
        if (then.startsWith("save"))
            QVERIFY(ExistingChannelWindow(1)->SaveChannel());
        if (then.endsWith("more"))
            TextToChannelWindow(1, "B\n");
        m_fake->prompts.answerNextBox(then == "clear" ? Platform::vbNo : Platform::vbYes);
        if (then == "clear")
            ClearChannelWindow_AskForSave(1);
        else if (then == "quit")
            main.close();
        expectRecoveredAtStart(recovered);
    }

    // A first start: the empty area says how to add a balance and its button opens the
    // channel list; a channel window hides it, and closing the last one brings it back.
    void emptyArea_hintOpensChannelList_hidesWhileAWindowShows()
    {
        frmMDIMain& main = start();
        auto* hint = main.findChild<QWidget*>("EmptyAreaHint");
        QTRY_VERIFY(hint && hint->isVisible());
        QString opened = "nothing";
        QTimer::singleShot(0, [&] {
            if (QWidget* dialog = QApplication::activeModalWidget()) {
                opened = dialog->objectName();
                dialog->close();
            }
        });
        QTest::mouseClick(hint->findChild<QWidget*>("cmdChannels"), Qt::LeftButton);
        QCOMPARE(opened, "frmChannels");
        ChannelsCount = 1;
        ChannelState[1] = 1;
        ShowChannelWindow(1);
        QTRY_VERIFY(!hint->isVisible());
        CloseChannelWindow(1);
        QTRY_VERIFY(hint->isVisible());
    }

    void tile_fillsAreaInBands_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("bands"); // a + per window, rows (Horiz) or columns (Vert)
        QTest::newRow("three one above the other") << "mnuWindowTileHoriz" << 3 << "+ + +";
        QTest::newRow("five in two rows") << "mnuWindowTileHoriz" << 5 << "++ +++";
        QTest::newRow("six in three columns") << "mnuWindowTileVert" << 6 << "++ ++ ++";
        QTest::newRow("sixteen in four columns")
            << "mnuWindowTileVert" << 16 << "++++ ++++ ++++ ++++";
    }
    void tile_fillsAreaInBands()
    {
        QFETCH(QString, name);
        QFETCH(int, count);
        QFETCH(QString, bands);
        frmMDIMain& main = start(count);
        main.resize(1000, 700);
        const QList<QMdiSubWindow*> windows = main.MdiArea()->subWindowList();
        windows[1]->showMaximized(); // a maximized window is laid out like the others
        QTRY_VERIFY(main.MdiArea()->viewport()->width() > 600);
        item(name)->trigger();
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
