// Start-up loading from a real store file: defaults on a first run, the clamps and state
// rules, connection defaults from the lowest channel of each kind, and a value that does
// not convert stopping the load right there.

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "platform/settings_store.h"
#include "shell/load_settings.h"
#include "shell/module_data.h"

using namespace Channel_Window;
using namespace Communication_HW;

namespace {
// Check marks unlike every default, to see which ones loading reached.
Settings::OptionChecks untouchedChecks()
{
    return {true, false, true, true, true, true};
}

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
} // namespace

class tst_LoadSettings : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;

    // Loads from a store holding exactly `text`; the check marks start unlike any default.
    static bool loadFrom(const QByteArray& text, Settings::OptionChecks& checks)
    {
        if (!text.isEmpty()) {
            QFile file(SettingsStore::StoreLocation());
            if (file.open(QIODevice::WriteOnly))
                file.write(text);
        }
        checks = untouchedChecks();
        return Settings::LoadSettings(checks);
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
        QTest::newRow("blanks around") << " 16 "
                                       << "16|16|16|1";
        QTest::newRow("half to even, down") << "2.5"
                                            << "2|2|2|1";
        QTest::newRow("half to even, up") << "-1.5"
                                          << "fail|-2|-2|1";
        QTest::newRow("just above half") << "2.5001"
                                         << "3|3|3|1";
        QTest::newRow("small negative") << "-0.4"
                                        << "0|0|0|1";
        QTest::newRow("plus sign, fraction only") << "+.6"
                                                  << "1|1|1|1";
        QTest::newRow("zero with fraction") << "00.00"
                                            << "0|0|0|0";
        QTest::newRow("byte top") << "255.49"
                                  << "255|255|255|1";
        QTest::newRow("rounds above byte") << "255.5"
                                           << "fail|256|256|1";
        QTest::newRow("integer edges") << "32768"
                                       << "fail|fail|32768|1";
        QTest::newRow("long edges") << "-2147483649"
                                    << "fail|fail|fail|1";
        QTest::newRow("very long number") << "000099999999999999999999"
                                          << "fail|fail|fail|1";
        QTest::newRow("true any case") << " tRUE "
                                       << "fail|fail|fail|1";
        QTest::newRow("false") << "FALSE"
                               << "fail|fail|fail|0";
        QTest::newRow("not a number") << "1 6"
                                      << "fail|fail|fail|fail";
        QTest::newRow("lone dot") << "."
                                  << "fail|fail|fail|fail";
        QTest::newRow("empty") << ""
                               << "fail|fail|fail|fail";
    }
    void conversions_likeDesktopConversions()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        using namespace Settings;
        QCOMPARE(QStringList({shown(ToByte(text)), shown(ToInteger(text)), shown(ToLong(text)),
                              shown(ToBoolean(text))})
                     .join('|'),
                 expected);
    }

    void firstRun_givesDefaultsAndWritesNothing()
    {
        Settings::OptionChecks checks;
        QVERIFY(loadFrom({}, checks));
        QCOMPARE(ChannelsCount, quint8(16));
        QCOMPARE(int(std::count(ChannelCommand.begin() + 1, ChannelCommand.end(), "PRT")), 50);
        QCOMPARE(DefaultIPSettings, "IP 0.0.0.0:2101");
        QCOMPARE(DefaultCOMSettings, "COM  1, 9600,e,7,1,None");
        QCOMPARE(Handshakes[3], "Xon/RTS");
        QCOMPARE(Globals::RepeatInterval, 2000);
        QCOMPARE(Globals::SendCmdCommand, "PRT");
        QCOMPARE(Globals::SendCmdAutoClear, quint8(1));
        QCOMPARE(checksText(checks), "010000");
        QVERIFY(!QFile::exists(SettingsStore::StoreLocation()));
    }

    void storedChannels_loadWithCountStateAndDefaultRules_data()
    {
        QTest::addColumn<QByteArray>("channels");
        QTest::addColumn<QString>("expected"); // count|states 1-5|IP default|COM default
        const QString ipDefault = "|IP 0.0.0.0:2101|COM  1, 9600,e,7,1,None";
        QTest::newRow("count 0 becomes 1") << QByteArray("CannelsCount=0") << "1|00000" + ipDefault;
        QTest::newRow("count 51 becomes 50")
            << QByteArray("CannelsCount=51") << "50|00000" + ipDefault;
        QTest::newRow("state 2 is off")
            << QByteArray("Ch-3_State=2\nCh-3_Settings=x") << "16|00000" + ipDefault;
        QTest::newRow("on without settings is off")
            << QByteArray("Ch-3_State=1") << "16|00000" + ipDefault;
        QTest::newRow("lowest of each kind, also off or above count")
            << QByteArray("CannelsCount=1\nCh-2_Settings=IP 10.0.0.2:1\nCh-5_State=1\n"
                          "Ch-5_Settings=IP 10.0.0.5:2\nCh-9_Settings=COM  9,19200,o,8,1,None\n"
                          "Ch-50_Settings=COM  4, 9600,e,7,1,None")
            << "1|00001|IP 10.0.0.2:1|COM  9,19200,o,8,1,None";
        QTest::newRow("neither kind ignored")
            << QByteArray(
                   "Ch-1_State=1\nCh-1_Settings=ip 1.1.1.1:1\nCh-2_Settings=COM1, 9600,e,7,1,None")
            << "16|10000" + ipDefault;
    }
    void storedChannels_loadWithCountStateAndDefaultRules()
    {
        QFETCH(QByteArray, channels);
        QFETCH(QString, expected);
        Settings::OptionChecks checks;
        QVERIFY(loadFrom("[Channels]\n" + channels, checks));
        QString states;
        for (std::size_t n = 1; n <= 5; ++n)
            states += QString::number(ChannelState[n]);
        QCOMPARE(QStringList({QString::number(ChannelsCount), states, DefaultIPSettings,
                              DefaultCOMSettings})
                     .join('|'),
                 expected);
    }

    void badValue_stopsLoadingAtThatKey_data()
    {
        QTest::addColumn<QByteArray>("bad");
        // Id of channel 4|command of channel 5|IP default|RepeatCommand|RepeatInterval|checks
        QTest::addColumn<QString>("expected");
        QTest::newRow("count") << QByteArray("[Channels]\nCannelsCount=x") << "|||0|0|101111";
        QTest::newRow("state of channel 5")
            << QByteArray("[Channels]\nCh-5_State=abc") << "four|||0|0|101111";
        QTest::newRow("repeat interval")
            << QByteArray("[DataRequest]\nRepeatInterval=x") << "four|PRT|IP 1.1.1.9:1|1|0|101111";
        QTest::newRow("auto clear 256")
            << QByteArray("[SendCommand]\nAutoClear=256") << "four|PRT|IP 1.1.1.9:1|1|2000|101111";
        QTest::newRow("third check mark") << QByteArray("[Format]\nWeightOnly=0\nDateTime=maybe")
                                          << "four|PRT|IP 1.1.1.9:1|1|2000|011111";
    }
    void badValue_stopsLoadingAtThatKey()
    {
        QFETCH(QByteArray, bad);
        QFETCH(QString, expected);
        Settings::OptionChecks checks;
        QVERIFY(!loadFrom("[Channels]\nCh-4_Id=four\nCh-9_Settings=IP 1.1.1.9:1\n"
                          "[DataRequest]\nRepeatCommand=1\n" +
                              bad,
                          checks));
        QCOMPARE(QStringList({ChannelId[4], ChannelCommand[5], DefaultIPSettings,
                              QString::number(Globals::RepeatCommand),
                              QString::number(Globals::RepeatInterval), checksText(checks)})
                     .join('|'),
                 expected);
    }

    void fileNameSavedWithOtherCase_isLoaded()
    {
        SettingsStore::SaveSetting("Channels", "Ch-4_FileName", "/data/balance4.log");
        Settings::OptionChecks checks;
        QVERIFY(loadFrom({}, checks));
        QCOMPARE(ChannelFilename[4], "/data/balance4.log");
    }
};

QTEST_GUILESS_MAIN(tst_LoadSettings)
#include "tst_load_settings.moc"
