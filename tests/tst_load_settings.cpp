// Start-up loading from a real store file: defaults, clamps, and a bad value stopping the load.

#include <QRegularExpression>
#include <QtTest>
#include <memory>

#include "platform/settings_store.h"
#include "shell/load_settings.h"
#include "shell/module_data.h"

using namespace Channel_Window;
using namespace Communication_HW;

namespace {
QString checksText(const Settings::OptionChecks& c)
{
    QString text;
    for (bool on : {c.weightOnly, c.decimalPoint, c.dateTime, c.tabs, c.toCursor, c.backLeft})
        text += on ? u'1' : u'0';
    return text;
}
template <typename T> QString shown(const std::optional<T>& value)
{
    return value ? QString::number(qint64(*value)) : QStringLiteral("fail");
}
template <typename... T> QString joined(const T&... values)
{
    return QStringList({QString(values)...}).join('|');
}
} // namespace

class tst_LoadSettings : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    Settings::OptionChecks m_checks;

    // Loads from a store holding exactly `text`; check marks start unlike every default.
    bool loadFrom(const QString& text)
    {
        if (!text.isEmpty()) {
            QFile file(SettingsStore::StoreLocation());
            if (file.open(QIODevice::WriteOnly))
                file.write(text.toLatin1());
        }
        m_checks = {true, false, true, true, true, true};
        return Settings::LoadSettings(m_checks);
    }

private slots:
    void init()
    {
        Globals::ResetModuleData();
        m_dir = std::make_unique<QTemporaryDir>();
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir->path()));
    }
    void conversions_likeDesktopConversions_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected"); // byte|integer|long|boolean
        const auto row = [](const char* n, auto... v) { (QTest::newRow(n) << ... << v); };
        row("blanks around", " 16 ", "16|16|16|1");
        row("half to even, down", "2.5", "2|2|2|1");
        row("half to even, up", "-1.5", "fail|-2|-2|1");
        row("small negative", "-0.4", "0|0|0|1");
        row("plus sign, fraction only", "+.6", "1|1|1|1");
        row("zero with fraction", "00.00", "0|0|0|0");
        row("rounds above byte", "255.5", "fail|256|256|1");
        row("integer edges", "32768", "fail|fail|32768|1");
        row("long edges", "-2147483649", "fail|fail|fail|1");
        row("very long number", "000099999999999999999999", "fail|fail|fail|1");
        row("true any case", " tRUE ", "fail|fail|fail|1");
        row("false", "FALSE", "fail|fail|fail|0");
        row("not a number", "1 6", "fail|fail|fail|fail");
        row("empty", "", "fail|fail|fail|fail");
    }
    void conversions_likeDesktopConversions()
    {
        QFETCH(QString, text);
        using namespace Settings;
        QTEST(joined(shown(ToByte(text)), shown(ToInteger(text)), shown(ToLong(text)),
                     shown(ToBoolean(text))),
              "expected");
    }
    void firstRun_givesDefaultsAndWritesNothing()
    {
        QVERIFY(loadFrom({}));
        QCOMPARE(int(std::count(ChannelCommand.begin() + 1, ChannelCommand.end(), "PRT")), 50);
        QCOMPARE(joined(QString::number(ChannelsCount), DefaultIPSettings, DefaultCOMSettings,
                        Handshakes[3], QString::number(Globals::RepeatInterval),
                        Globals::SendCmdCommand, QString::number(Globals::SendCmdAutoClear),
                        checksText(m_checks)),
                 "16|IP 0.0.0.0:2101|COM  1, 9600,e,7,1,None|Xon/RTS|2000|PRT|1|010000");
        QVERIFY(!QFile::exists(SettingsStore::StoreLocation()));
    }
    void storedChannels_loadWithCountStateAndDefaultRules_data()
    {
        QTest::addColumn<QString>("channels");
        QTest::addColumn<QString>("expected"); // count|states 1-5|IP default|COM default
        const auto row = [](const char* n, auto... v) { (QTest::newRow(n) << ... << v); };
        const QString none = "|IP 0.0.0.0:2101|COM  1, 9600,e,7,1,None";
        row("count 0 becomes 1", "CannelsCount=0", "1|00000" + none);
        row("count 51 becomes 50", "CannelsCount=51", "50|00000" + none);
        row("state 2 is off", "Ch-3_State=2\nCh-3_Settings=x", "16|00000" + none);
        row("on without settings is off", "Ch-3_State=1", "16|00000" + none);
        row("lowest of each kind, also off or above count",
            "CannelsCount=1\nCh-2_Settings=IP 10.0.0.2:1\nCh-5_State=1\nCh-5_Settings=IP "
            "10.0.0.5:2\nCh-9_Settings=COM  9,19200,o,8,1,None\nCh-50_Settings=COM  4, "
            "9600,e,7,1,None",
            "1|00001|IP 10.0.0.2:1|COM  9,19200,o,8,1,None");
        row("neither kind ignored",
            "Ch-1_State=1\nCh-1_Settings=ip 1.1.1.1:1\nCh-2_Settings=COM1, 9600,e,7,1,None",
            "16|10000" + none);
    }
    void storedChannels_loadWithCountStateAndDefaultRules()
    {
        QFETCH(QString, channels);
        QVERIFY(loadFrom("[Channels]\n" + channels));
        QString states;
        for (std::size_t n = 1; n <= 5; ++n)
            states += QString::number(ChannelState[n]);
        QTEST(joined(QString::number(ChannelsCount), states, DefaultIPSettings, DefaultCOMSettings),
              "expected");
    }
    void badValue_stopsLoadingAtThatKey_data()
    {
        QTest::addColumn<QString>("bad");
        QTest::addColumn<QString>("expected"); // id 4|command 5|IP default|repeat|interval|checks
        const auto row = [](const char* n, auto... v) { (QTest::newRow(n) << ... << v); };
        row("count", "[Channels]\nCannelsCount=x", "|||0|0|101111");
        row("state of channel 5", "[Channels]\nCh-5_State=abc", "four|||0|0|101111");
        row("repeat interval", "[DataRequest]\nRepeatInterval=x",
            "four|PRT|IP 1.1.1.9:1|1|0|101111");
        row("auto clear 256", "[SendCommand]\nAutoClear=256",
            "four|PRT|IP 1.1.1.9:1|1|2000|101111");
        row("third check mark", "[Format]\nWeightOnly=0\nDateTime=maybe",
            "four|PRT|IP 1.1.1.9:1|1|2000|011111");
    }
    void badValue_stopsLoadingAtThatKey()
    {
        QFETCH(QString, bad);
        // The log names the key and its value: no box says why the channels did not start.
        const QStringList lines = bad.split('\n');
        const QString section = bad.section('[', -1).section(']', 0, 0);
        const QString key = lines.last().section('=', 0, 0), value = lines.last().section('=', 1);
        QTest::ignoreMessage(
            QtWarningMsg,
            QRegularExpression(QRegularExpression::escape(
                QString("Settings: [%1] %2=\"%3\" is not ").arg(section, key, value))));
        QVERIFY(!loadFrom("[Channels]\nCh-4_Id=four\nCh-9_Settings=IP 1.1.1.9:1\n"
                          "[DataRequest]\nRepeatCommand=1\n" +
                          bad));
        QTEST(joined(ChannelId[4], ChannelCommand[5], DefaultIPSettings,
                     QString::number(Globals::RepeatCommand),
                     QString::number(Globals::RepeatInterval), checksText(m_checks)),
              "expected");
    }
};

QTEST_GUILESS_MAIN(tst_LoadSettings)
#include "tst_load_settings.moc"
