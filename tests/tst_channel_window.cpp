// The table of channel windows and the texts that name a channel.

#include <QMdiArea>
#include <QStyleOptionTitleBar>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "channel_window/channel_window.h"
#include "channel_window/frmTxtBox.h"
#include "comm/channel_connections.h"
#include "platform/settings_store.h"
#include "shell/module_data.h"
#include "support/scripted_prompts.h"

using namespace Channel_Window;

namespace {
// Moves onto the sub-window's own close button and clicks it, as a user does.
void clickCloseButton(QMdiSubWindow* sub)
{
    QStyleOptionTitleBar option;
    option.initFrom(sub);
    option.subControls = QStyle::SC_All;
    option.titleBarFlags = sub->windowFlags();
    option.titleBarState = sub->windowState();
    const int height = sub->style()->pixelMetric(QStyle::PM_TitleBarHeight, &option, sub);
    option.rect = QRect(0, 0, sub->width(), height);
    const QPoint button =
        sub->style()
            ->subControlRect(QStyle::CC_TitleBar, &option, QStyle::SC_TitleBarCloseButton, sub)
            .center();
    QTest::mouseMove(sub, button);
    QTest::mouseClick(sub, Qt::LeftButton, {}, button);
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
}
} // namespace

class ChannelWindowTest : public QObject
{
    Q_OBJECT

    Communication_HW::SerialArray m_serial;
    Communication_HW::SocketArray m_socket;
    QMdiArea m_area;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ScriptedPrompts> m_prompts;
    const QString m_startDir = QDir::currentPath();

    void showChannels(const QList<int>& channels)
    {
        for (int ch : channels) {
            ChannelState[ch] = 1;
            ShowChannelWindow(ch);
        }
    }

private slots:
    void initTestCase()
    {
        Communication_HW::BindElements(&m_serial, &m_socket);
        m_area.resize(800, 600);
        m_area.show();
        SetMdiArea(&m_area);
    }

    void init()
    {
        Globals::ResetModuleData();
        m_dir = std::make_unique<QTemporaryDir>();
        m_prompts = std::make_unique<ScriptedPrompts>();
        ChannelsCount = 4;
    }

    void cleanup()
    {
        DestroyAllChannelWindows();
        m_prompts.reset();
        QDir::setCurrent(m_startDir);
    }

    void defaultFileName_data()
    {
        QTest::addColumn<QString>("directory");
        QTest::addColumn<QString>("expected");
        QTest::newRow("ordinary directory")
            << QDir::tempPath() << QDir::tempPath() + "/Channel-3.log";
        QTest::newRow("root directory: two separators") << "/" << QString("//Channel-3.log");
    }
    void defaultFileName()
    {
        QFETCH(QString, directory);
        QFETCH(QString, expected);
        QVERIFY(QDir::setCurrent(directory));
        QCOMPARE(DefaultChannelFileName(3), QDir::toNativeSeparators(expected));
    }

    void titleAndCaption_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("settings");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("caption");

        const auto row = [](const char* name, const char* id, const char* settings,
                            const char* file, const char* caption) {
            QTest::newRow(name) << QString(id) << QString(settings) << QString(file)
                                << QString(caption);
        };
        row("serial channel without log file: no file part", "Scale A", "COM  1, 9600,e,7,1,None",
            "", "Scale A (CH-3, COM  1, 9600,e,7,1,None) : Error");
        row("no identification: starts with the channel", "", "IP 10.0.0.1:2101", "",
            " (CH-3, IP 10.0.0.1:2101) : Close");
        row("with a log file: ends with the path", "Scale A", "", "/data/x.log",
            "Scale A (CH-3, ) : Error - /data/x.log");
    }
    void titleAndCaption()
    {
        QFETCH(QString, id);
        QFETCH(QString, settings);
        QFETCH(QString, file);
        QFETCH(QString, caption);
        ChannelId[3] = id;
        ChannelSettings[3] = settings;
        ChannelFilename[3] = file;
        showChannels({3});
        QCOMPARE(ExistingChannelWindow(3)->SubWindow()->windowTitle(), caption);
    }

    void windowBindsOnceAndAfreshAfterUserClose()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        ChannelSettings[3] = QStringLiteral("IP 127.0.0.1:%1").arg(server.serverPort());
        SettingsStore::SaveSetting("Channels", "Ch-3_State", "1");
        showChannels({3});
        frmTxtBox* window = ExistingChannelWindow(3);
        Communication_HW::OpenChannel(3);
        QVERIFY(server.waitForNewConnection(5000));
        QTcpSocket* balance = server.nextPendingConnection();
        TextToChannelWindow(3, "21.3 g\r\n");
        ShowChannelWindow(3); // already bound: text stays
        QCOMPARE(window->Text(), "21.3 g\r\n");
        QCOMPARE(m_area.subWindowList().size(), 1);
        QTRY_VERIFY(Communication_HW::IsChannelConnected(3));
        UpdateChannelCaption(3);
        QVERIFY(window->Caption().endsWith(" : OK"));
        m_prompts->answerNextBox(Platform::vbNo);

        clickCloseButton(window->SubWindow());

        QCOMPARE(m_prompts->boxes.size(), 1);
        QVERIFY(!window->IsLoaded() && !window->SubWindow()->isVisible());
        QCOMPARE(int(ChannelState[3]), 0);
        QCOMPARE(SettingsStore::GetSetting("Channels", "Ch-3_State"), "0");
        QVERIFY(!m_socket.Exists(2));
        QTRY_COMPARE(balance->state(), QAbstractSocket::UnconnectedState);

        showChannels({3});

        QCOMPARE(ExistingChannelWindow(3), window);
        QCOMPARE(window->Tag(), "3");
        QCOMPARE(window->Text(), QString());
        QCOMPARE(window->ChangedFlag(), "0");
        QVERIFY(window->isVisible() && m_socket.Exists(2));
    }

    void anyDataChanged_data()
    {
        QTest::addColumn<QList<int>>("on");
        QTest::addColumn<QList<int>>("unsaved");
        QTest::addColumn<QList<int>>("saved");
        QTest::addColumn<bool>("expected");

        QTest::newRow("no text anywhere: false")
            << QList<int>{1, 2} << QList<int>{} << QList<int>{} << false;
        QTest::newRow("only channels that are off hold text: false")
            << QList<int>{1, 2} << QList<int>{3} << QList<int>{} << false;
        QTest::newRow("only the highest active channel holds text: true")
            << QList<int>{1, 4} << QList<int>{4} << QList<int>{} << true;
        QTest::newRow("text above the channel count: false")
            << QList<int>{1, 5} << QList<int>{5} << QList<int>{} << false;
        QTest::newRow("saved text only: false")
            << QList<int>{1, 2} << QList<int>{} << QList<int>{2} << false;
    }
    void anyDataChanged()
    {
        QFETCH(QList<int>, on);
        QFETCH(QList<int>, unsaved);
        QFETCH(QList<int>, saved);
        QFETCH(bool, expected);
        showChannels(on + unsaved + saved);
        for (int ch : unsaved + saved)
            TextToChannelWindow(ch, "text");
        for (int ch : saved) {
            ChannelFilename[ch] = m_dir->filePath(QString::number(ch));
            ExistingChannelWindow(ch)->SaveChannel();
        }
        for (int ch = 1; ch <= Globals::MaxChannels; ++ch)
            ChannelState[ch] = on.contains(ch) ? 1 : 0;

        QCOMPARE(AnyChannelDataChanged(), expected);
    }

    void saveAllAsksInChannelOrderAndSavesEveryActiveChannel()
    {
        showChannels({1, 2, 3, 4});
        ChannelState[3] = 0;
        ChannelFilename[2] = m_dir->filePath("two.log");
        TextToChannelWindow(1, "one");
        TextToChannelWindow(3, "three");
        TextToChannelWindow(4, "four");
        m_prompts->answerNextDialog(std::nullopt);
        m_prompts->answerNextDialog(m_dir->filePath("four.log"));

        SaveAllChannelWindows();

        QCOMPARE(m_prompts->dialogs.size(), 2);
        QCOMPARE(m_prompts->dialogs[0].request.title, "Save Channel - " + ChannelTitle(1));
        QCOMPARE(m_prompts->dialogs[1].request.title, "Save Channel - " + ChannelTitle(4));
        QCOMPARE(fileBytes(m_dir->filePath("two.log")),
                 ChannelTitle(2).toLatin1() + ":\r\n\r\n\r\n");
        QCOMPARE(fileBytes(m_dir->filePath("four.log")),
                 ChannelTitle(4).toLatin1() + ":\r\n\r\nfour\r\n");
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files).size(), 2);
        QCOMPARE(ExistingChannelWindow(1)->ChangedFlag(), "1");
    }
};

QTEST_MAIN(ChannelWindowTest)
#include "tst_channel_window.moc"
