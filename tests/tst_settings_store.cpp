// The INI store on disk: values round-trip, hand-edited files load, damaged files never crash.

#include <QtTest>
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
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir->path()));
    }
    static QByteArray storeText()
    {
        QFile file(SettingsStore::StoreLocation());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    static void writeStore(const QByteArray& text)
    {
        QFile file(SettingsStore::StoreLocation());
        if (file.open(QIODevice::WriteOnly))
            file.write(text);
    }

private slots:
    void init()
    {
        Globals::ResetModuleData();
        useFreshStore();
    }
    void savedValue_readsBackUnchangedFromFile_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("serial string, double blank") << "COM  1, 9600,e,7,1,None";
        QTest::newRow("blanks at both ends") << "  padded  ";
        QTest::newRow("empty") << "";
        QTest::newRow("quotes inside and first") << "\"say \"PRT\" now";
        QTest::newRow("windows path, escape-like") << "C:\\logs\\nb\\x41";
        QTest::newRow("comment characters, equals sign") << "a;b #c=d";
        QTest::newRow("line break, tab, controls") << QString::fromLatin1("1\r\n2\t\x01\x7f") + 'A';
        QTest::newRow("latin-1 letters") << QString::fromLatin1("Waage \xe9\xb5\xff");
    }
    void savedValue_readsBackUnchangedFromFile()
    {
        QFETCH(QString, value);
        SaveSetting("Channels", "Ch-1_Id", value);
        SaveSetting("Channels", "Ch-2_Id", "after");
        // Read it from another place, so the file itself is parsed.
        const QByteArray text = storeText();
        useFreshStore();
        writeStore(text);
        QCOMPARE(GetSetting("Channels", "Ch-1_Id", "missing"), value);
        QCOMPARE(GetSetting("Channels", "Ch-2_Id", "missing"), QString("after"));
    }
    void handWrittenFile_loadsIntendedValue_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("expected"); // of Channels / Ch-1_Id
        const auto row = [](const char* n, QByteArray f, QString e) { QTest::newRow(n) << f << e; };
        static const char garbage[] =
            "\0\xff garbage\n[broken\n=x\n;Ch-1_Id=no\n[Channels]\nCh-1_Id=ok";
        row("other casing", "[channels]\nch-1_ID=a", "a");
        row("unquoted commas", "[Channels]\nCh-1_Id=COM  1, 9600,e,7,1,None",
            "COM  1, 9600,e,7,1,None");
        row("blanks around =", "[Channels]\n  Ch-1_Id  =  Bal A  ", "Bal A");
        row("quoted", "[Channels]\nCh-1_Id=\"IP 1.2.3.4:5\" ;x", "IP 1.2.3.4:5");
        row("unquoted backslash", "[Channels]\r\nCh-1_Id=C:\\a\r\n", "C:\\a");
        row("case twins: last wins", "[Channels]\nCh-1_Id=old\n[CHANNELS]\nCH-1_ID=new", "new");
        row("garbage skipped", QByteArray(garbage, sizeof garbage - 1), "ok");
        row("latin-1 file", "[Channels]\nCh-1_Id=\xe9", "\u00e9");
        row("utf-8 with bom", "\xef\xbb\xbf[Channels]\nCh-1_Id=\xc3\xa9", "\u00e9");
        row("other section", "[DataRequest]\nCh-1_Id=no", "default");
        row("no section", "Ch-1_Id=no\n[Channels]", "default");
    }
    void handWrittenFile_loadsIntendedValue()
    {
        QFETCH(QByteArray, file);
        writeStore(file);
        QTEST(GetSetting("Channels", "Ch-1_Id", "default"), "expected");
    }
    void writes_makeTheFolderKeepStoredCaseAndWholeKeys()
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir->path() + "/not/yet"));
        QCOMPARE(GetSetting("Channels", "CannelsCount", "16"), QString("16"));
        QVERIFY(!QFile::exists(SettingsStore::StoreLocation())); // reading never creates it
        SaveSetting("channels", "Ch-4_FileName", "old.log");
        SaveSetting("Channels", "Ch-4_Filename", "new.log");
        SaveSetting("Transfer", "F12toStart/Stop", "True");
        SaveSetting("CHANNELS", "Ch-5_Id", "five");
        QCOMPARE(storeText(), QByteArray("[Transfer]\nF12toStart/Stop=True\n\n"
                                         "[channels]\nCh-4_FileName=new.log\nCh-5_Id=five\n"));
        QCOMPARE(GetSetting("transfer", "f12tostart/stop"), QString("True"));
        QCOMPARE(GetSetting("Transfer", "F12toStart", "none"), QString("none"));
    }
    void blockedLocation_givesDefaultsAndSurvivesWrites()
    {
        // A plain file where the folder should be: nothing can be read or written there.
        const QString blocker = m_dir->path() + "/blocker";
        QFile(blocker).open(QIODevice::WriteOnly);
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(blocker));
        SaveSetting("Channels", "Ch-1_Id", "lost");
        QCOMPARE(GetSetting("Channels", "Ch-1_Id", "default"), QString("default"));
    }
};

QTEST_GUILESS_MAIN(tst_SettingsStore)
#include "tst_settings_store.moc"
