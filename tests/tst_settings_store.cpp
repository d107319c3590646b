// The INI store on disk: values survive a write and a fresh read unchanged, hand-edited
// files load whatever their casing, quoting and spacing, and damaged files never crash.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "platform/settings_store.h"
#include "shell/module_data.h"

using SettingsStore::GetSetting;
using SettingsStore::SaveSetting;

class tst_SettingsStore : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;

    // A store of its own, so no cached copy of an earlier file can answer.
    void useFreshStore()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir->path()));
    }

    static QByteArray storeText()
    {
        QFile file(SettingsStore::StoreLocation());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    void writeStore(const QByteArray& text)
    {
        QFile file(SettingsStore::StoreLocation());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text);
    }

    // Moves the file to a new place, so the next read parses it from disk.
    void reopenElsewhere()
    {
        const QByteArray text = storeText();
        useFreshStore();
        writeStore(text);
    }

private slots:
    void init()
    {
        Globals::ResetModuleData();
        useFreshStore();
    }

    void storeLivesUnderConfigHomeNamedAfterTitle()
    {
        QCOMPARE(SettingsStore::StoreLocation(),
                 m_dir->path() + "/Veltrano Quorvane for IP and COM.ini");
    }

    void savedValue_readsBackUnchangedFromFile_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("serial string, double blank") << "COM  1, 9600,e,7,1,None";
        QTest::newRow("leading and trailing blanks") << "  padded  ";
        QTest::newRow("only blanks") << "   ";
        QTest::newRow("empty") << "";
        QTest::newRow("quotes inside") << "say \"PRT\" now";
        QTest::newRow("starts with quote") << "\"half";
        QTest::newRow("windows path") << "C:\\logs\\Channel-1.log";
        QTest::newRow("escape-like text") << "a\\nb\\x41";
        QTest::newRow("semicolon and hash") << "a;b #c";
        QTest::newRow("equals sign") << "k=v";
        QTest::newRow("line breaks and tab") << "one\r\ntwo\tthree";
        QTest::newRow("control characters") << QString::fromLatin1("\x01\x1b"
                                                                   "A\x7f");
        QTest::newRow("latin-1 letters") << QString::fromLatin1("Waage \xe9\xb5\xff");
        QTest::newRow("boolean text") << "True";
    }
    void savedValue_readsBackUnchangedFromFile()
    {
        QFETCH(QString, value);
        SaveSetting("Channels", "Ch-1_Id", value);
        SaveSetting("Channels", "Ch-2_Id", "after");
        reopenElsewhere();
        QCOMPARE(GetSetting("Channels", "Ch-1_Id", "missing"), value);
        QCOMPARE(GetSetting("Channels", "Ch-2_Id", "missing"), QString("after"));
    }

    void handWrittenFile_loadsIntended_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        QTest::newRow("other casing of section and key")
            << QByteArray("[channels]\nch-4_FILENAME=/tmp/a.log\n") << "Channels"
            << "Ch-4_Filename"
            << "/tmp/a.log";
        QTest::newRow("unquoted commas stay one value")
            << QByteArray("[Channels]\nCh-2_Settings=COM  1, 9600,e,7,1,None\n") << "Channels"
            << "Ch-2_Settings"
            << "COM  1, 9600,e,7,1,None";
        QTest::newRow("blanks around equals sign ignored")
            << QByteArray("[Channels]\n  Ch-1_Id   =   Balance A  \n") << "Channels"
            << "Ch-1_Id"
            << "Balance A";
        QTest::newRow("quoted value unquoted")
            << QByteArray("[Channels]\nCh-1_Settings=\"IP 192.168.1.20:4001\"\n") << "Channels"
            << "Ch-1_Settings"
            << "IP 192.168.1.20:4001";
        QTest::newRow("unquoted backslashes kept")
            << QByteArray("[Channels]\nCh-1_Filename=C:\\logs\\ch1.log\n") << "Channels"
            << "Ch-1_Filename"
            << "C:\\logs\\ch1.log";
        QTest::newRow("crlf line ends") << QByteArray("[Ports]\r\nCOM1=/dev/ttyUSB0\r\n") << "Ports"
                                        << "COM1"
                                        << "/dev/ttyUSB0";
        QTest::newRow("case duplicates: last value wins")
            << QByteArray("[Channels]\nCh-4_FileName=old\n[CHANNELS]\nCh-4_Filename=new\n")
            << "Channels"
            << "Ch-4_Filename"
            << "new";
        static const char garbage[] = "\0\xff\x01garbage\n[broken\n=novalue\n;Ch-1_Id=comment\n"
                                      "[Channels]\nCh-1_Id=ok\n";
        QTest::newRow("garbage lines skipped")
            << QByteArray(garbage, sizeof garbage - 1) << "Channels"
            << "Ch-1_Id"
            << "ok";
        QTest::newRow("latin-1 file read byte for byte")
            << QByteArray("[Channels]\nCh-1_Id=Waage \xe9\n") << "Channels"
            << "Ch-1_Id" << QString::fromLatin1("Waage \xe9");
        QTest::newRow("utf-8 with byte order mark")
            << QByteArray("\xef\xbb\xbf[Channels]\nCh-1_Id=Waage \xc3\xa9\n") << "Channels"
            << "Ch-1_Id" << QString::fromLatin1("Waage \xe9");
        QTest::newRow("key in other section is missing")
            << QByteArray("[DataRequest]\nCh-1_Id=wrong\n") << "Channels"
            << "Ch-1_Id"
            << "default";
        QTest::newRow("key outside any section is missing")
            << QByteArray("Ch-1_Id=wrong\n[Channels]\n") << "Channels"
            << "Ch-1_Id"
            << "default";
    }
    void handWrittenFile_loadsIntended()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        writeStore(file);
        QCOMPARE(GetSetting(section, key, "default"), expected);
    }

    void keyWithSlash_staysOneKeyInFile()
    {
        SaveSetting("Transfer", "F12toStart/Stop", "True");
        QVERIFY(storeText().contains("[Transfer]\nF12toStart/Stop=True\n"));
        reopenElsewhere();
        QCOMPARE(GetSetting("Transfer", "F12toStart/Stop"), QString("True"));
        QCOMPARE(GetSetting("transfer", "f12tostart/stop"), QString("True"));
        QCOMPARE(GetSetting("Transfer", "F12toStart", "none"), QString("none"));
    }

    void writeWithOtherCase_replacesExistingKey()
    {
        writeStore("[channels]\nCh-4_FileName=old.log\n");
        SaveSetting("Channels", "Ch-4_Filename", "new.log");
        SaveSetting("Channels", "Ch-5_Id", "five");
        QCOMPARE(storeText(), QByteArray("[channels]\nCh-4_FileName=new.log\nCh-5_Id=five\n"));
    }

    void firstSave_createsMissingFolder()
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir->path() + "/not/yet"));
        SaveSetting("Format", "TABs", "True");
        QCOMPARE(storeText(), QByteArray("[Format]\nTABs=True\n"));
    }

    void readOnly_neverCreatesFile()
    {
        QCOMPARE(GetSetting("Channels", "CannelsCount", "16"), QString("16"));
        QVERIFY(!QFile::exists(SettingsStore::StoreLocation()));
    }

    void unusableLocation_givesDefaultsAndSurvivesWrites()
    {
        // A plain file where the folder should be: nothing can be read or written there.
        const QString blocker = m_dir->path() + "/blocker";
        QFile file(blocker);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(blocker));
        SaveSetting("Channels", "Ch-1_Id", "lost");
        QCOMPARE(GetSetting("Channels", "Ch-1_Id", "default"), QString("default"));
    }
};

QTEST_GUILESS_MAIN(tst_SettingsStore)
#include "tst_settings_store.moc"
