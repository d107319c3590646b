// Settings strings: kinds, fixed-column parsers, the IP composer and the rebuild from ports.

#include <QTest>

#include "comm/settings_string.h"
#include "shell/module_data.h"

using namespace Communication_HW;

static const QString PreviousIP = QStringLiteral("IP 10.9.8.7:4001");

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
    void text_givesKindAndOpenFields_data()
    {
        QTest::addColumn<QString>("text");
        const auto row = [](const char* n, auto... v) { (QTest::newRow(n) << ... << v); };
        QTest::addColumn<QString>("expected"); // kind + port|block|handshake or host|port

        row("serial default", "COM  1, 9600,e,7,1,None", "COM 1| 9600,e,7,1|0");
        row("serial port 16", "COM 16,57600,e,7,1,Xon/Xoff", "COM 16|57600,e,7,1|1");
        row("handshake wrong case", "COM  2,  300,n,8,2,none", "COM 2|  300,n,8,2|-");
        row("port not a number", "COM  x, 9600,e,7,1,Xon/RTS", "COM -| 9600,e,7,1|3");
        row("serial cut short", "COM 12,96", "COM 12|96|-");
        row("COM without blank", "COM1, 9600,e,7,1,None", "");
        row("lower-case com", "com  1, 9600,e,7,1,None", "");
        row("ip default", "IP 0.0.0.0:2101", "IP 0.0.0.0|2101");
        row("ip, second colon", "IP host:1:2", "IP host|-");
        row("ip, colon only", "IP :", "IP |-");
        row("ip port beyond 32 bits", "IP h:4294967296", "IP h|-");
        row("ip without colon", "IP 10.0.0.1", "");
        row("lower-case ip", "ip 10.0.0.1:2101", "");
    }
    void text_givesKindAndOpenFields()
    {
        QFETCH(QString, text);
        const auto shown = [](std::optional<int> v) { return v ? QString::number(*v) : "-"; };
        const COMOpenFields c = ParseCOMForOpen(text);
        const IPOpenFields i = ParseIPForOpen(text);
        const QString com = "COM " + shown(c.port) + '|' + c.block + '|' + shown(c.handshakeCode);
        const QString ip = "IP " + i.host + '|' + shown(i.port);
        QTEST((IsCOMSettings(text) ? com : "") + (IsIPSettings(text) ? ip : ""), "expected");
    }
    // Every dialog choice round-trips to the same text, so an unchanged channel isn't reopened.
    void everyDialogChoice_composesParsesAndRebuildsAlike()
    {
        const QStringList bauds = {"  300", "  600", " 1200", " 2400",
                                   " 9600", "19200", "38400", "57600"};
        for (int n = 0; n < 16 * 8 * 3 * 4; ++n) {
            const int port = n / 96 + 1, parity = n / 4 % 3, code = n % 4;
            const QString baud = bauds[n / 12 % 8];
            const QString text = ComposeCOMSettings(port, baud, parity, "8", "2", Handshakes[code]);
            const COMDialogFields f = ParseCOMForDialog(text);
            const COMOpenFields open = ParseCOMForOpen(text);
            QCOMPARE(QStringList({f.port, f.baud, f.dataBits, f.stopBits, f.handshake}),
                     QStringList({QString::number(port), baud, "8", "2", Handshakes[code]}));
            QCOMPARE(QList({f.parityIndex, open.handshakeCode.value_or(-1)}),
                     QList({parity, code}));
            // The port reports its settings without the leading blanks.
            QCOMPARE(RebuildCOMSettings(port, open.block.trimmed(), code), text);
        }
        QCOMPARE(ParseCOMForDialog("COM  3,19200,N,8,2,None").parityIndex, 0);
        QCOMPARE(RebuildCOMSettings(1, "115200,n,8,1", 0), "COM 1,115200,n,8,1,None");
    }
    // Strings that open the same link are the same, so the channel list leaves them alone.
    void sameSettings_comparesWhatOpens_data()
    {
        QTest::addColumn<QString>("a");
        const auto row = [](const char* n, auto... v) { (QTest::newRow(n) << ... << v); };
        QTest::addColumn<QString>("b");
        QTest::addColumn<bool>("same");
        row("leading zero port", "IP 127.0.0.1:036241", "IP 127.0.0.1:36241", true);
        row("other port", "IP 127.0.0.1:36241", "IP 127.0.0.1:36242", false);
        row("blank in the line", "COM  1,9600 ,e,7,1,None", "COM  1, 9600,e,7,1,None", true);
        row("upper-case parity", "COM 01, 9600,E,7,1,None", "COM  1, 9600,e,7,1,None", true);
        row("other handshake", "COM  1, 9600,e,7,1,RTS/CTS", "COM  1, 9600,e,7,1,None", false);
        row("refused line, itself", "COM 1,9600,e,7,1,None", "COM 1,9600,e,7,1,None", true);
        row("refused line, rebuilt", "COM 1,9600,e,7,1,None", "COM  1, 9600,e,7,1,None", false);
        row("other kind", "IP 0.0.0.0:1", "COM  1, 9600,e,7,1,None", false);
    }
    void sameSettings_comparesWhatOpens()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QTEST(SameSettings(a, b), "same");
        QTEST(SameSettings(b, a), "same");
    }
    void composeIP_validatesOrGivesPrevious_data()
    {
        QTest::addColumn<QString>("address");
        const auto row = [](const char* n, auto... v) { (QTest::newRow(n) << ... << v); };
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("expected");
        row("empty group is zero", "10..1", "1", "IP 10.0.1:1");
        row("trailing dot kept", "10.", "000", "IP 10.:0");
        row("empty address", "", "2101", "IP :2101");
        row("empty port", "10.0.0.7", "", "IP 10.0.0.7:");
        row("no range check", "999.1.2.3.4", "99999", "IP 999.1.2.3.4:99999");
        row("four digit group", "1000.0.0.1", "2101", PreviousIP);
        row("trailing blank", "10.0.0.7 ", "2101", PreviousIP);
        row("letter in port", "10.0.0.7", "21o1", PreviousIP);
        row("six digit port", "10.0.0.7", "021010", PreviousIP);
        row("non-ascii digit", QString("10.0.0.\u0663"), "1", PreviousIP);
    }
    void composeIP_validatesOrGivesPrevious()
    {
        QFETCH(QString, address);
        QFETCH(QString, port);
        QTEST(ComposeIPSettings(address, port), "expected");
    }

    // Numbers from a hand-edited store or a driver can be out of range; none may index past.
    void outOfRangeNumbers_giveEmptyParts()
    {
        QCOMPARE(RebuildCOMSettings(2, "9600,n,8,1", -1), "COM  2, 9600,n,8,1,");
        QCOMPARE(RebuildCOMSettings(2, "9600,n,8,1", 4), "COM  2, 9600,n,8,1,");
        Channel_Window::ChannelSettings.fill("set");
        QCOMPARE(QStringList({GetChannelSettings(0), GetChannelSettings(1), GetChannelSettings(50),
                              GetChannelSettings(51)}),
                 QStringList({"", "set", "set", ""}));
    }
};

QTEST_GUILESS_MAIN(tst_SettingsString)
#include "tst_settings_string.moc"
