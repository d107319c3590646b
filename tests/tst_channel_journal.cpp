// The journal of the channel windows: readings survive a killed or signalled program, a
// save or a clear settles them, and the program's own quit lets them go.

#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>
#include <csignal>

#include "channel_window/channel_journal.h"
#include "channel_window/channel_window.h"
#include "channel_window/frmTxtBox.h"
#include "platform/settings_store.h"
#include "support/program_doubles.h"

using namespace Channel_Window;

class tst_ChannelJournal : public QObject
{
    Q_OBJECT

    std::optional<ProgramDoubles> m_fake;

    // Channel 1 is ON in the store, as a user left it.
    void storeChannel(const QString& settings, const QString& logFile = {})
    {
        SettingsStore::SaveSetting("Channels", "CannelsCount", "1");
        SettingsStore::SaveSetting("Channels", "Ch-1_State", "1");
        SettingsStore::SaveSetting("Channels", "Ch-1_Id", "Scale");
        SettingsStore::SaveSetting("Channels", "Ch-1_Settings", settings);
        SettingsStore::SaveSetting("Channels", "Ch-1_Filename", logFile);
    }
    static QByteArray journalBytes()
    {
        QFile file(Channel_Journal::Folder() + "/Channel-1.journal");
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
    }
    // The next start: the recovered text and the one box that names the channel.
    void expectRecovered(const QString& text)
    {
        m_fake->start();
        frmTxtBox* window = ExistingChannelWindow(1);
        QCOMPARE(window ? window->Text() : QString(), text);
        QCOMPARE(window && window->DataChanged(), !text.isEmpty());
        if (!text.isEmpty()) {
            QTRY_COMPARE(m_fake->prompts.boxes.size(), 1);
            QVERIFY(m_fake->prompts.boxes[0].prompt.contains("\r\nScale (CH-1, "));
        }
    }

private slots:
    void init() { m_fake.emplace(); }
    void cleanup() { m_fake.reset(); }

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
        storeChannel(QStringLiteral("IP 127.0.0.1:%1").arg(balance.serverPort()));
        QProcess program;
        program.start(QUORVANE_BIN_DIR "/quorvane");
        QTRY_VERIFY_WITH_TIMEOUT(balance.hasPendingConnections(), 20000);
        QTcpSocket* link = balance.nextPendingConnection();
        const QByteArray readings("N  +  1.5 g\r\n\xB5\x00\xFF+ 2.25 g\r\n", 25);
        for (int at = 0; at < readings.size(); at += 4) {
            link->write(readings.mid(at, 4));
            QVERIFY(link->waitForBytesWritten(5000));
        }
        QTRY_COMPARE(journalBytes(), readings);

        ::kill(pid_t(program.processId()), signal);
        // An open question would keep the program alive: it ends at once, on its own.
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.exitStatus(),
                 signal == SIGKILL ? QProcess::CrashExit : QProcess::NormalExit);
        QCOMPARE(journalBytes(), readings);
        expectRecovered(QString::fromLatin1(readings));
    }

    void saveClearOrQuit_settleTheJournal_data()
    {
        QTest::addColumn<bool>("saveFirst");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QString>("recovered");
        QTest::newRow("saved, then killed: nothing left to recover") << true << ""
                                                                     << "";
        QTest::newRow("more after the save, killed: the whole text, as it was shown")
            << true << "B\r\n"
            << "A\r\nB\r\n";
        QTest::newRow("cleared, killed: nothing") << false << "clear"
                                                  << "";
        QTest::newRow("quit, No: the journal goes") << false << "quit"
                                                    << "";
        QTest::newRow("quit, Yes, the save fails: back at the next start")
            << false << "quit, failed save"
            << "A\r\n";
    }
    void saveClearOrQuit_settleTheJournal()
    {
        QFETCH(bool, saveFirst);
        QFETCH(QString, end);
        QFETCH(QString, recovered);
        const QString log =
            m_fake->stateFolder.filePath(end.contains("fail") ? "gone/1.log" : "1.log");
        storeChannel("IP 127.0.0.1:9", log); // a closed port: it never connects
        frmMDIMain& main = m_fake->start();
        ShowChannelWindow(1);
        TextToChannelWindow(1, "A\r\n");
        if (saveFirst)
            QVERIFY(ExistingChannelWindow(1)->SaveChannel());
        if (end == "clear") {
            m_fake->prompts.answerNextBox(Platform::vbNo);
            ClearChannelWindow_AskForSave(1);
        } else if (end.startsWith("quit")) {
            m_fake->prompts.answerNextBox(end.contains("fail") ? Platform::vbYes : Platform::vbNo);
            main.close();
        } else {
            TextToChannelWindow(1, end);
        }
        m_fake->prompts.boxes.clear();
        expectRecovered(recovered);
    }
};

QTEST_MAIN(tst_ChannelJournal)
#include "tst_channel_journal.moc"
