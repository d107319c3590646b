// Connection settings strings: kind tests, the fixed-column serial parser, the IP
// composer that is the only validation of addresses, and the rebuild from live ports.

#include <QRandomGenerator>
#include <QTest>

#include "comm/settings_string.h"
#include "shell/module_data.h"

using namespace Communication_HW;

namespace {
const QString PreviousIP = QStringLiteral("IP 10.9.8.7:4001");
}

class tst_SettingsString : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        Globals::ResetModuleData();
        Handshakes = {"None", "Xon/Xoff", "RTS/CTS", "Xon/RTS"};
        DefaultIPSettings = PreviousIP;
    }

    void kindTests_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("kind");
        QTest::newRow("serial") << "COM  1, 9600,e,7,1,None"
                                << "COM";
        QTest::newRow("COM and blank only") << "COM "
                                            << "COM";
        QTest::newRow("COM without blank") << "COM1, 9600,e,7,1,None"
                                           << "";
        QTest::newRow("lower-case com") << "com  1, 9600,e,7,1,None"
                                        << "";
        QTest::newRow("ip") << "IP 0.0.0.0:2101"
                            << "IP";
        QTest::newRow("ip, colon only") << "IP :"
                                        << "IP";
        QTest::newRow("ip without colon") << "IP 10.0.0.1"
                                          << "";
        QTest::newRow("lower-case ip") << "ip 10.0.0.1:2101"
                                       << "";
    }
    void kindTests()
    {
        QFETCH(QString, text);
        QFETCH(QString, kind);
        QCOMPARE(IsCOMSettings(text), kind == "COM");
        QCOMPARE(IsIPSettings(text), kind == "IP");
    }

    void serialForOpen_givesColumns_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected"); // port|block|handshake code, "-" for none
        QTest::newRow("default") << "COM  1, 9600,e,7,1,None"
                                 << "1| 9600,e,7,1|0";
        QTest::newRow("port 16") << "COM 16,57600,e,7,1,Xon/Xoff"
                                 << "16|57600,e,7,1|1";
        QTest::newRow("wrong case name") << "COM  2,  300,n,8,2,none"
                                         << "2|  300,n,8,2|-";
        QTest::newRow("port not a number") << "COM  x, 9600,e,7,1,Xon/RTS"
                                           << "-| 9600,e,7,1|3";
        QTest::newRow("cut short") << "COM 12,96"
                                   << "12|96|-";
    }
    void serialForOpen_givesColumns()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        const COMOpenFields f = ParseCOMForOpen(text);
        const auto shown = [](std::optional<int> v) { return v ? QString::number(*v) : "-"; };
        QCOMPARE(shown(f.port) + '|' + f.block + '|' + shown(f.handshakeCode), expected);
    }

    void ipForOpen_splitsAtFirstColon_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected"); // host|port, "-" for none
        QTest::newRow("default") << "IP 0.0.0.0:2101"
                                 << "0.0.0.0|2101";
        QTest::newRow("second colon") << "IP host:1:2"
                                      << "host|-";
        QTest::newRow("empty host and port") << "IP :"
                                             << "|-";
        QTest::newRow("port beyond 32 bits") << "IP h:4294967296"
                                             << "h|-";
    }
    void ipForOpen_splitsAtFirstColon()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        const IPOpenFields f = ParseIPForOpen(text);
        QCOMPARE(f.host + '|' + (f.port ? QString::number(*f.port) : "-"), expected);
    }

    // Every value the dialog offers composes, parses back and rebuilds from a live port
    // to the same text, so an unchanged channel is never reopened.
    void everyDialogChoice_composesParsesAndRebuildsAlike()
    {
        const QStringList bauds = {"  300", "  600", " 1200", " 2400",
                                   " 9600", "19200", "38400", "57600"};
        for (int port = 1; port <= 16; ++port) {
            for (const QString& baud : bauds) {
                for (int parity = 0; parity < 3; ++parity) {
                    for (int code = 0; code < 4; ++code) {
                        const QString text =
                            ComposeCOMSettings(port, baud, parity, "8", "2", Handshakes[code]);
                        const COMDialogFields f = ParseCOMForDialog(text);
                        QCOMPARE(
                            QStringList({f.port, f.baud, f.dataBits, f.stopBits, f.handshake}),
                            QStringList({QString::number(port), baud, "8", "2", Handshakes[code]}));
                        QCOMPARE(f.parityIndex, parity);
                        const COMOpenFields open = ParseCOMForOpen(text);
                        QCOMPARE(open.handshakeCode, std::optional<int>(code));
                        // The port reports its settings without the leading blanks.
                        QCOMPARE(RebuildCOMSettings(port, open.block.trimmed(), code), text);
                    }
                }
            }
        }
        QCOMPARE(ComposeCOMSettings(3, "19200", 1, "8", "2", "RTS/CTS"),
                 "COM  3,19200,o,8,2,RTS/CTS");
        QCOMPARE(ParseCOMForDialog("COM  3,19200,N,8,2,None").parityIndex, 0);
        QCOMPARE(RebuildCOMSettings(16, "57600,e,7,1", 3), "COM 16,57600,e,7,1,Xon/RTS");
        QCOMPARE(RebuildCOMSettings(1, "115200,n,8,1", 0), "COM 1,115200,n,8,1,None");
    }

    void composeIP_validatesOrGivesPrevious_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("expected");
        QTest::newRow("leading zeros vanish") << "192.168.001.010"
                                              << "02101"
                                              << "IP 192.168.1.10:2101";
        QTest::newRow("empty group is zero") << "10..1"
                                             << "1"
                                             << "IP 10.0.1:1";
        QTest::newRow("trailing dot kept") << "10."
                                           << "000"
                                           << "IP 10.:0";
        QTest::newRow("empty address") << ""
                                       << "2101"
                                       << "IP :2101";
        QTest::newRow("empty port") << "10.0.0.7"
                                    << ""
                                    << "IP 10.0.0.7:";
        QTest::newRow("no range check") << "999.1.2.3.4"
                                        << "99999"
                                        << "IP 999.1.2.3.4:99999";
        QTest::newRow("four digit group") << "1000.0.0.1"
                                          << "2101" << PreviousIP;
        QTest::newRow("letter in address") << "balance.local"
                                           << "2101" << PreviousIP;
        QTest::newRow("trailing blank") << "10.0.0.7 "
                                        << "2101" << PreviousIP;
        QTest::newRow("letter in port") << "10.0.0.7"
                                        << "21o1" << PreviousIP;
        QTest::newRow("six digit port") << "10.0.0.7"
                                        << "021010" << PreviousIP;
        QTest::newRow("non-ascii digit") << "10.0.0.\u0663"
                                         << "1" << PreviousIP;
    }
    void composeIP_validatesOrGivesPrevious()
    {
        QFETCH(QString, address);
        QFETCH(QString, port);
        QFETCH(QString, expected);
        QCOMPARE(ComposeIPSettings(address, port), expected);
    }

    // Texts from a hand-edited store can be anything; no length or content may crash.
    void anyText_givesSaneResults()
    {
        const QString alphabet =
            QString::fromLatin1("COMIP :,.0123456789eon/XRTS\t\xff") + QChar(0);
        QStringList texts;
        for (const QString valid : {"COM 16,57600,e,7,1,Xon/Xoff", "IP 192.168.1.20:4001"}) {
            for (int n = 0; n <= valid.size(); ++n)
                texts << valid.left(n);
        }
        QRandomGenerator random(20240611);
        for (int length = 0; length <= 40; ++length) {
            for (int i = 0; i < 50; ++i) {
                QString text;
                for (int c = 0; c < length; ++c)
                    text += alphabet[random.bounded(int(alphabet.size()))];
                texts << text << "COM " + text << "IP " + text;
            }
        }
        Channel_Window::ChannelSettings.fill("set");
        for (const QString& text : std::as_const(texts)) {
            const COMOpenFields open = ParseCOMForOpen(text);
            QVERIFY(open.block.size() <= 11 && open.handshakeCode.value_or(0) >= 0);
            QVERIFY(text.contains(ParseIPForOpen(text).host));
            const COMDialogFields f = ParseCOMForDialog(text);
            QVERIFY(f.parityIndex >= 0 && f.parityIndex <= 2 && f.handshake.size() <= 100);
            const QString ip = ComposeIPSettings(text, text.right(5));
            QVERIFY2(ip == PreviousIP || ip.startsWith("IP "), qPrintable(ip));
            QVERIFY(RebuildCOMSettings(f.port.toInt(), text, int(text.size()) % 6 - 1)
                        .startsWith("COM "));
            const int ch = int(text.size()) % 60 - 5;
            QCOMPARE(GetChannelSettings(ch), ch >= 1 && ch <= 50 ? "set" : "");
        }
    }
};

QTEST_GUILESS_MAIN(tst_SettingsString)
#include "tst_settings_string.moc"
