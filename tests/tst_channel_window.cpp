// The table of channel windows and the texts that name a channel.

#include <QMdiArea>
#include <QStyleOptionTitleBar>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "channel_window/channel_journal.h"
#include "channel_window/channel_window.h"
#include "channel_window/frmTxtBox.h"
#include "comm/channel_connections.h"
#include "platform/settings_store.h"
#include "shell/module_data.h"
#include "support/loopback_balance.h"
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
    option.rect = QRect(0, 0, sub->width(),
                        sub->style()->pixelMetric(QStyle::PM_TitleBarHeight, &option, sub));
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
        // Each case starts without the journals an earlier one left, as after a clean quit.
        qputenv("XDG_STATE_HOME", QFile::encodeName(m_dir->path()));
        Channel_Journal::Recover();
    }
    void cleanup()
    {
        DestroyAllChannelWindows();
        m_prompts.reset();
        QDir::setCurrent(m_startDir);
    }

    void windowBindsOnceAndAfreshAfterUserClose()
    {
        LoopbackBalance balance;
        ChannelSettings[3] = balance.settings();
        ChannelId[3] = QStringLiteral("Scale A");
        ChannelFilename[3] = QStringLiteral("/data/x.log");
        ChannelState[3] = 1;
        ShowChannelWindow(3);
        frmTxtBox* window = ExistingChannelWindow(3);
        Communication_HW::OpenChannel(3);
        TextToChannelWindow(3, "21.3 g\r\n");
        ShowChannelWindow(3); // already bound: text stays
        QCOMPARE(window->Text(), "21.3 g\r\n");
        QCOMPARE(m_area.subWindowList().size(), 1);
        QTRY_VERIFY(Communication_HW::IsChannelConnected(3));
        UpdateChannelCaption(3);
        QCOMPARE(window->SubWindow()->windowTitle(),
                 "Scale A (CH-3, " + ChannelSettings[3] + ") : OK - /data/x.log");
        m_prompts->answerNextBox(Platform::vbNo);

        clickCloseButton(window->SubWindow());

        QCOMPARE(m_prompts->boxes.size(), 1);
        QVERIFY(!window->IsLoaded() && !window->SubWindow()->isVisible());
        QCOMPARE(SettingsStore::GetSetting("Channels", "Ch-3_State", "unset"), "0");
        QTRY_COMPARE(balance.links.value(0)->state(), QAbstractSocket::UnconnectedState);
        ChannelState[3] = 1;
        ShowChannelWindow(3);
        QCOMPARE(ExistingChannelWindow(3), window);
        QCOMPARE(window->Tag(), "3");
        QCOMPARE(window->Text(), QString());
        QCOMPARE(window->ChangedFlag(), "0");
        QVERIFY(window->isVisible() && m_socket.Exists(2));
    }

    // Save all and the unsaved-text check take in every window that holds text, also one
    // whose channel is OFF (its port did not open) or lies above the count.
    void saveAll_andUnsavedCheck_everyWindowWithText()
    {
        ChannelFilename[2] = m_dir->filePath("two.log");
        for (int ch = 1; ch <= 5; ++ch) { // 5 lies above the count
            ChannelState[ch] = 1;
            ShowChannelWindow(ch);
        }
        ChannelState[3] = 0;
        QVERIFY(!AnyChannelDataChanged());
        TextToChannelWindow(5, "five");
        QVERIFY(AnyChannelDataChanged());
        TextToChannelWindow(3, "three");
        TextToChannelWindow(1, "one");
        QVERIFY(QDir::setCurrent("/")); // the offered name gets two separators there
        for (const char* name : {"", "three.log", "", "five.log"})
            m_prompts->answerNextDialog(*name ? std::optional(m_dir->filePath(name))
                                              : std::nullopt);

        SaveAllChannelWindows();

        QCOMPARE(m_prompts->dialogs.size(), 4);
        QCOMPARE(m_prompts->dialogs[0].request.fileName,
                 QDir::toNativeSeparators("//Channel-1.log"));
        QCOMPARE(m_prompts->dialogs[1].request.title, "Save Channel - " + ChannelTitle(3));
        QCOMPARE(fileBytes(m_dir->filePath("two.log")),
                 ChannelTitle(2).toLatin1() + ":\r\n\r\n\r\n");
        QCOMPARE(fileBytes(m_dir->filePath("five.log")),
                 ChannelTitle(5).toLatin1() + ":\r\n\r\nfive\r\n");
        QVERIFY(AnyChannelDataChanged()); // channel 1, whose dialog was cancelled
    }
};

QTEST_MAIN(ChannelWindowTest)
#include "tst_channel_window.moc"
