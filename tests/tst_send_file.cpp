// Send > Send File to CH-1 against a loopback balance: the pieces it receives, the
// progress shown as each one arrives, and files that are empty, binary or unreadable.

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include "commands/frmSendFile.h"
#include "support/program_doubles.h"

using namespace Channel_Window;

class tst_SendFile : public ProgramTestCase
{
    Q_OBJECT

private slots:
    void file_reachesChannelOneAsItIs_data()
    {
        QTest::addColumn<QByteArray>("content"); // "-": the chosen file does not exist
        QTest::addColumn<QString>("arrivals");   // piece size @ progress shown at its arrival
        QTest::addColumn<QString>("state");
        QByteArray binary;
        for (int i = 255; i >= 0; --i)
            binary += char(i);
        binary += QByteArray("\r\n\r\0\n", 5);
        const auto row = [](const char* n, QByteArray c, auto... v) {
            (QTest::newRow(n) << c << ... << QString(v));
        };
        row("250 bytes", QByteArray(250, 'a'), "100@40 100@80 50@100", "Done: 250 Bytes of 250");
        row("300 bytes", QByteArray("12.5 g\r\n").repeated(38).left(300), "100@33 100@67 100@100",
            "Done: 300 Bytes of 300");
        row("binary", binary, "100@38 100@77 61@100", "Done: 261 Bytes of 261");
        row("empty", QByteArray(), "", "Done: 0 Bytes of 0");
        row("unreadable", QByteArray("-"), "", "Please wait ...");
    }
    void file_reachesChannelOneAsItIs()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, arrivals);
        QFETCH(QString, state);
        const QString path = m_dir->filePath(QTest::currentDataTag());
        QFile file(path);
        QVERIFY(content == "-" || (file.open(QIODevice::WriteOnly) && file.write(content) >= 0));
        file.close();

        QTcpServer balance;
        QVERIFY(balance.listen(QHostAddress::LocalHost));
        frmMDIMain& main = m_fake->start();
        ChannelsCount = 1;
        ChannelState[1] = 1;
        ChannelSettings[1] = QStringLiteral("IP 127.0.0.1:%1").arg(balance.serverPort());
        QTRY_VERIFY_WITH_TIMEOUT(balance.hasPendingConnections(), 10000);
        QTcpSocket* peer = balance.nextPendingConnection();
        QTRY_VERIFY(Communication_HW::IsChannelConnected(1));

        QByteArray received;
        QStringList seen;
        QObject::connect(peer, &QTcpSocket::readyRead, [&] {
            const QByteArray piece = peer->readAll();
            received += piece;
            const auto* form = main.findChild<frmSendFile*>();
            seen << QString("%1@%2")
                        .arg(piece.size())
                        .arg(form->findChild<QProgressBar*>("ProgressBar1")->value());
            QCOMPARE(form->findChild<QLabel*>("lblState")->text(),
                     QString("Pogress: %1 Bytes of %2").arg(received.size()).arg(content.size()));
        });
        for (int run = 0; run < 2; ++run) {
            m_fake->prompts.answerNextDialog(run == 0 ? std::optional(path) : std::nullopt);
            main.mnuSendFile->trigger();
        }
        QTRY_COMPARE(seen.join(' '), arrivals);
        QCOMPARE(received, content == "-" ? QByteArray() : content);

        const auto* form = main.findChild<frmSendFile*>();
        QVERIFY(form->isVisible());
        QCOMPARE(form->windowTitle(), "File to Send Status");
        QCOMPARE(form->findChild<QLabel*>("lblState")->text(), state);
        auto* button = form->findChild<QPushButton*>("cmdCtrlButton");
        QCOMPARE(button->text(), state.startsWith("Done") ? "OK" : "Cancel");
        // The second choice offers the file of the first; cancelling it sends nothing.
        QCOMPARE(m_fake->prompts.dialogs.value(1).request.fileName, path);
        QCOMPARE(m_fake->prompts.dialogs[0].request.filter,
                 "*.TXT (Text Files)|*.TXT|*.* (All Files)|*.*");
        QVERIFY(m_fake->prompts.boxes.isEmpty());
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(!form->isVisible());
    }
};

QTEST_MAIN(tst_SendFile)
#include "tst_send_file.moc"
