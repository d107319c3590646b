// The table of channel windows and the texts that name a channel.

#include <QStyleOptionTitleBar>
#include <QtTest>

#include "channel_window/frmTxtBox.h"
#include "platform/settings_store.h"
#include "support/channel_window_rig.h"
#include "support/loopback_balance.h"

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
} // namespace

class ChannelWindowTest : public ChannelWindowTestCase
{
    Q_OBJECT

    const QString m_startDir = QDir::currentPath();

private slots:
    void cleanup()
    {
        ChannelWindowTestCase::cleanup();
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
