// Every reading published to a real broker: nothing lost and nothing out of order through
// broker restarts, a killed program, a wrong password and a cleared window; TLS.

#include <QCheckBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QLockFile>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QtTest>
#include <csignal>
#include <map>

#include "channel_window/channel_journal.h"
#include "channel_window/channel_window.h"
#include "platform/settings_store.h"
#include "support/child_process.h"
#include "support/loopback_balance.h"
#include "support/mqtt_broker.h"
#include "support/program_doubles.h"

namespace {

void StoreSettings(const QList<const LoopbackBalance*>& balances, const QString& broker,
                   bool tls = false, const QString& caFile = {})
{
    SettingsStore::SaveSetting("Channels", "CannelsCount", QString::number(balances.size()));
    for (int n = 1; n <= balances.size(); ++n) {
        SettingsStore::SaveSetting("Channels", QStringLiteral("Ch-%1_State").arg(n), "1");
        SettingsStore::SaveSetting("Channels", QStringLiteral("Ch-%1_Id").arg(n), "Scale");
        SettingsStore::SaveSetting("Channels", QStringLiteral("Ch-%1_Settings").arg(n),
                                   balances[n - 1]->settings());
    }
    const QStringList values{
        "Enabled", "1",    "Broker",         broker, "Topic",         "lab",    "ClientId",
        "pc1",     "User", MqttBroker::User, "TLS",  tls ? "1" : "0", "CAFile", caFile};
    for (int i = 0; i < values.size(); i += 2)
        SettingsStore::SaveSetting("Publish", values[i], values[i + 1]);
}

QByteArray Journal(int ch)
{
    QFile file(Channel_Journal::Folder() + QStringLiteral("/Channel-%1.journal").arg(ch));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// What is wrong with the channel's records as a consumer keeps them (repeats dropped by
// seq) against the channel's journal: "" when each one holds the journal's text at its seq,
// in order, with nothing but its line end before the next one, up to the journal's end.
QByteArray Problem(const QList<QJsonObject>& messages, int ch, const QByteArray& journal)
{
    qint64 end = 0; // of the last record's text
    for (const QJsonObject& message : messages) {
        if (message["channel"].toInt() != ch)
            continue;
        const qint64 seq = message["seq"].toInteger();
        if (seq < end)
            continue; // a repeat
        const QByteArray between = journal.mid(end, seq - end);
        if ((end > 0 && between.isEmpty()) ||
            between.count('\r') + between.count('\n') != between.size())
            return "gap or out of order before " + QByteArray::number(seq);
        const QByteArray text = message["text"].toString().toLatin1();
        if (journal.mid(seq, text.size()) != text)
            return "not the journal's text at " + QByteArray::number(seq) + ": " + text;
        end = seq + text.size();
    }
    const QByteArray rest = journal.mid(end);
    if (rest.isEmpty() || rest.count('\r') + rest.count('\n') != rest.size())
        return "missing after " + QByteArray::number(end) + " of " +
               QByteArray::number(journal.size());
    return {};
}

} // namespace

class tst_Publish : public ProgramTestCase
{
    Q_OBJECT

private slots:
    void initTestCase() { qputenv("QUORVANE_MQTT_PASSWORD", "secret"); }

    // Three balances stream; the broker is stopped, the program killed and started again
    // while it is down, then the broker comes back.
    void outage_everyRecordArrivesInOrder()
    {
        MqttBroker broker;
        QVERIFY2(broker.start(), qPrintable(broker.errorText()));
        MqttSubscriber subscriber(broker, "lab/#");
        QVERIFY(subscriber.waitSubscribed("lab/probe"));
        LoopbackBalance balances[3];
        StoreSettings({&balances[0], &balances[1], &balances[2]},
                      QStringLiteral("127.0.0.1:%1").arg(broker.port()));
        // Each balance sends a reading every 10 ms, in two pieces.
        int reading = 0;
        QTimer stream;
        connect(&stream, &QTimer::timeout, [&] {
            ++reading;
            for (LoopbackBalance& balance : balances) {
                if (balance.links.isEmpty())
                    continue;
                const QByteArray line =
                    QByteArray("N  +  ") + QByteArray::number(reading) + ".5 g\r\n";
                balance.links.last()->write(line.left(5));
                balance.links.last()->write(line.mid(5));
            }
        });
        const auto connectedTimes = [&](int times) {
            for (const LoopbackBalance& balance : balances) {
                if (balance.links.size() < times)
                    return false;
            }
            return true;
        };
        const auto journalLines = [](int ch) { return Journal(ch).count('\n'); };
        QProcess program;
        program.setProcessChannelMode(QProcess::SeparateChannels);
        program.start(QUORVANE_BIN_DIR "/quorvane");
        QTRY_VERIFY_WITH_TIMEOUT(connectedTimes(1), 20000);
        stream.start(10);
        QTRY_VERIFY_WITH_TIMEOUT(subscriber.messages().size() >= 30, 20000);

        broker.stop();
        QElapsedTimer outage;
        outage.start();
        const qsizetype before = journalLines(1);
        QTRY_VERIFY_WITH_TIMEOUT(journalLines(1) > before + 20, 20000);
        ::kill(pid_t(program.processId()), SIGKILL);
        QVERIFY(program.waitForFinished(20000));
        program.start(QUORVANE_BIN_DIR "/quorvane");
        QTRY_VERIFY_WITH_TIMEOUT(connectedTimes(2), 20000);
        const qsizetype restarted = journalLines(1);
        QTRY_VERIFY_WITH_TIMEOUT(journalLines(1) > restarted + 20 && outage.elapsed() >= 5000,
                                 20000);
        QVERIFY2(broker.start(), qPrintable(broker.errorText()));
        const qsizetype published = subscriber.messages().size();
        QTRY_VERIFY_WITH_TIMEOUT(subscriber.messages().size() > published + 30, 20000);
        stream.stop();

        // How fast the backlog drains is the benchmark's figure; here only that all of it comes.
        for (int ch = 1; ch <= 3; ++ch)
            QTRY_COMPARE_WITH_TIMEOUT(Problem(subscriber.messages(), ch, Journal(ch)), "", 120000);
        const QJsonObject first = subscriber.messages().first();
        QCOMPARE(first["topic"].toString(), "lab/pc1/" + QString::number(first["channel"].toInt()));
        QCOMPARE(first["host"].toString(), "pc1");
        QCOMPARE(first["id"].toString(), "Scale");
        QCOMPARE(first["unit"].toString(), "g");
        QCOMPARE(first["text"].toString(),
                 QStringLiteral("N  +  %1 g").arg(first["weight"].toDouble()));
        QVERIFY(QRegularExpression("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z$")
                    .match(first["time"].toString())
                    .hasMatch());
        // The restarted program said once that the broker was away, and once that it is back.
        StopChildProcess(program);
        const QString log = QString::fromLocal8Bit(program.readAllStandardError());
        QCOMPARE(log.count(" not connected: "), 1);
        QCOMPARE(log.count(" connected\n"), 1);
    }

    void refusedOrCleared_readingsWaitThenAllArrive_data()
    {
        QTest::addColumn<bool>("tls");
        QTest::addColumn<QString>("action"); // while the readings wait
        QTest::addColumn<QString>("state");  // shown while they wait
        QTest::newRow("wrong password, then the broker takes it")
            << false << "password"
            << "Broker: not connected (Connection Refused: not authorised.), 3 readings waiting";
        QTest::newRow("window cleared while the broker is down")
            << false << "clear"
            << "Broker: not connected (Connection refused), 3 readings waiting";
        QTest::newRow("no journal (another copy holds them): from memory")
            << false << "other copy"
            << "Broker: not connected (Connection refused), 3 readings waiting";
        QTest::newRow("TLS with the lab's own CA") << true << ""
                                                   << "Broker: connected";
    }
    void refusedOrCleared_readingsWaitThenAllArrive()
    {
        QFETCH(bool, tls);
        QFETCH(QString, action);
        QFETCH(QString, state);
        MqttBroker broker(tls);
        QVERIFY2(broker.start(), qPrintable(broker.errorText()));
        MqttSubscriber subscriber(broker, "lab/#", tls);
        QVERIFY(subscriber.waitSubscribed("lab/probe"));
        if (action == "password")
            broker.setPassword("changed by the administrator");
        else if (action != "")
            broker.stop();
        QLockFile otherCopy(Channel_Journal::Folder() + "/lock");
        QVERIFY(QDir().mkpath(Channel_Journal::Folder()));
        QVERIFY(action != "other copy" || otherCopy.tryLock());
        LoopbackBalance balance;
        StoreSettings(
            {&balance},
            QStringLiteral("%1:%2").arg(tls ? "localhost" : "127.0.0.1").arg(broker.port()), tls,
            tls ? broker.caFile() : QString());
        frmMDIMain& main = m_fake->start();
        const QLabel* lblBroker = main.findChild<QLabel*>("lblBroker");
        QTRY_VERIFY_WITH_TIMEOUT(!balance.links.isEmpty(), 20000);
        QByteArray sent;
        const auto send = [&](int count) {
            for (int i = 0; i < count; ++i) {
                const QByteArray line =
                    "N  +  " + QByteArray::number(sent.count('\n') + 1) + ".5 g\r\n";
                balance.links.last()->write(line);
                sent += line;
            }
        };
        send(3);
        QTRY_COMPARE_WITH_TIMEOUT(lblBroker->text(), state, 20000);
        if (action == "password") {
            broker.setPassword("secret");
        } else if (action == "clear") {
            m_fake->prompts.answerNextBox(Platform::vbNo); // not saved
            Channel_Window::ClearChannelWindow_AskForSave(1);
            send(2);
            QTRY_COMPARE(lblBroker->text(), QString(state).replace("3 readings", "5 readings"));
            QVERIFY2(broker.start(), qPrintable(broker.errorText()));
        } else if (action == "other copy") {
            QVERIFY(!Channel_Journal::Takes(1));
            QVERIFY2(broker.start(), qPrintable(broker.errorText()));
        }
        QTRY_COMPARE_WITH_TIMEOUT(Problem(subscriber.messages(), 1, sent), "", 20000);
        QTRY_COMPARE(lblBroker->text(), "Broker: connected");
    }

    // Settings > Publish checks each box as the focus leaves it; OK stores and connects.
    void dialog_boxesCheckedOnLeaving_OKConnects_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("refusal"); // "": accepted
        QTest::newRow("no host") << "txtBroker"
                                 << ":1883"
                                 << "Type the broker as host:port, for example broker.lab:1883.";
        QTest::newRow("port out of range") << "txtBroker"
                                           << "broker.lab:65536"
                                           << "The broker's port must be a number from 1 to 65535.";
        QTest::newRow("wildcard in the prefix") << "txtTopic"
                                                << "lab/#"
                                                << "The topic prefix may not contain + or #.";
        QTest::newRow("topic level in the client ID") << "txtClientId"
                                                      << "pc/1"
                                                      << "The client ID may not contain /, + or #.";
        QTest::newRow("nothing listens there: stored, the reason shown") << "txtBroker"
                                                                         << "127.0.0.1:9"
                                                                         << "";
    }
    void dialog_boxesCheckedOnLeaving_OKConnects()
    {
        QFETCH(QString, box);
        QFETCH(QString, typed);
        QFETCH(QString, refusal);
        frmMDIMain& main = m_fake->start();
        QTimer::singleShot(0, this, [&] {
            auto* dialog = main.findChild<QDialog*>("frmPublish");
            const auto closeAlways = qScopeGuard([dialog] { dialog->reject(); });
            QVERIFY(QTest::qWaitForWindowActive(dialog));
            QTest::keyClick(dialog->findChild<QCheckBox*>("chkEnabled"), Qt::Key_Space);
            auto* edit = dialog->findChild<QLineEdit*>(box);
            QTest::mouseClick(edit, Qt::LeftButton);
            QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(edit, typed);
            QTest::keyClick(edit, Qt::Key_Tab);
            QCOMPARE(edit->hasFocus(), !refusal.isEmpty());
            if (refusal.isEmpty())
                QTest::mouseClick(dialog->findChild<QPushButton*>("cmdOK"), Qt::LeftButton);
        });
        main.mnuPublish->trigger();
        if (!refusal.isEmpty()) {
            m_fake->expectOnlyBox(refusal, Platform::vbOKOnly + Platform::vbExclamation, "Publish");
            QCOMPARE(SettingsStore::GetSetting("Publish", "Enabled", "unset"), "unset");
            return;
        }
        QCOMPARE(SettingsStore::GetSetting("Publish", "Enabled"), "1");
        QCOMPARE(SettingsStore::GetSetting("Publish", "Broker"), typed);
        QTRY_COMPARE(main.findChild<QLabel*>("lblBroker")->text(),
                     "Broker: not connected (Connection refused), 0 readings waiting");
    }
};

QTEST_MAIN(tst_Publish)
#include "tst_publish.moc"
