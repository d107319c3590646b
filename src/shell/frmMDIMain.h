#pragma once
// The main window: a multiple-document frame whose children are the channel windows.
//
// How data flows:
//
//   settings store --LoadSettings--> module data (channel table, options, defaults)
//                                         |
//   CheckChannelTimer (500 ms) --CheckChannels--> Channel_Window::ShowChannelWindow
//                                         |        (binds the window, loads the elements)
//                                         +------> Communication_HW::OpenChannel
//
//   MSComm[i] / Winsocket[i] --OnComm / DataArrival--> ReceiveChannel(i + 1, text)
//        ReceiveChannel --Receive::ShapeText--> key texts (channel 1, "To Cursor") first
//                                               --> Platform::Desktop::SendKeys --> focused app
//                                          \--> display text --> frmTxtBox
//        frmTxtBox: TextStore (newest 64 KiB in RAM, older bytes read back from the
//                   channel's journal, which syncs once a second) --> LogView (draws only
//                   the lines in view, at most once a frame) and, on save, the .log file
//
//   Settings > Channels --frmChannels (+ frmCommunicationSettings)--> channel table and
//        store; afterwards mnuChannels_Click closes or reconnects what changed.
//   Settings > Data Request (frmDataRequest), Send > Send Command (frmSendCmd, modeless),
//        Send > Send File to CH-1 (frmSendFile): commands --> SendToChannel --> balances
//
//   Start-up: Channel_Journal::Recover puts text a crash left unsaved back into windows;
//   lblJournalWarning, a strip above the windows, names those that have no journal now.
//   SIGTERM/SIGINT/SIGHUP (Platform end signals) --EndWithoutQuestion--> journal kept,
//   a running Send File stopped.
//
//   Transfer > Start, or F12 through Keyhook --> StartSendChannels / StopSendChannels
//        SendChannelTimer --SendChannels--> Communication_HW::SendToChannel --> balances
//
// Format and forwarding options live only as the check marks of the menu items; the
// receive path reads them each time. Everything runs on the user-interface thread.

#include <QElapsedTimer>
#include <QMainWindow>
#include <QString>
#include <memory>

#include "comm/channel_connections.h"
#include "keyhook/keyboard_hook.h"
#include "platform/session_backends.h"
#include "platform/user_prompts.h"

class QAction;
class QLabel;
class QMdiArea;
class QMenu;
class QTimer;

class frmMDIMain : public QMainWindow, public KeyboardHook
{
    Q_OBJECT
public:
    explicit frmMDIMain(QWidget* parent = nullptr);
    ~frmMDIMain() override;

    // The one main window of the run (nullptr before it exists).
    static frmMDIMain* Instance();

    // Start-up: centre, caption, LoadSettings, tile, hook client, InitKeyHook.
    void MDIForm_Load();
    // Shut-down steps and question; returns true when the window may unload.
    bool MDIForm_QueryUnload();
    // The system asks the program to end (logout, shutdown, Ctrl+C): the journal of the
    // channel windows is synced and left for the next start, and the program ends
    // without a question, also from inside an open dialog.
    void EndWithoutQuestion();
    // True once the window has unloaded (its channel windows and elements are gone).
    bool IsUnloaded() const { return m_unloaded; }

    // Transfer control.
    void StartCheckChannels();
    void StopCheckChannels();
    void StartSendChannels();
    void StopSendChannels();
    void StopChannels();

    // The receive path: every piece of text a port or socket delivers.
    void ReceiveChannel(int channel, const QString& text);
    void MSComm_OnComm(int index);
    void Winsocket_DataArrival(int index, qint64 bytesTotal);

    QVariant HookAction() override { return KeyboardHook_HookAction(); }
    QVariant KeyboardHook_HookAction();

    // Menu handlers.
    void mnuExit_Click();
    void mnuFileSaveAll_Click();
    void mnuWindowClearAll_Click();
    void mnuWindowTileHoriz_Click();
    void mnuWindowTileVert_Click();
    void mnuWindowCascade_Click();
    void mnuChannels_Click();
    void mnuDataRequest_Click();
    void mnuSendCmd_Click();
    void mnuSendFile_Click();
    void mnuAbout_Click();
    void mnuStart_Click();
    void mnuF12toStart_Stop_Click();
    void mnuWeightOnly_Click();
    void mnuDecimalPoint_Click();
    void mnuDateTime_Click();
    void mnuTABs_Click();
    void mnuBeeponRequest_Click();
    void mnuToCursor_Click();
    void mnuback_left_Click();

    // Timer handlers.
    void CheckChannelTimer_Timer();
    void SendChannelTimer_Timer();

    QMdiArea* MdiArea() const { return m_mdiArea; }
    QTimer* CheckChannelTimer() const { return m_checkChannelTimer; }
    QTimer* SendChannelTimer() const { return m_sendChannelTimer; }
    // Re-entry guards of the two timers ("1" while their routine runs).
    QString CheckChannelTimerTag = QStringLiteral("0");
    QString SendChannelTimerTag = QStringLiteral("0");

    Communication_HW::SerialArray MSComm;
    Communication_HW::SocketArray Winsocket;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenu();
    QAction* addItem(QMenu* menu, const QString& name, const QString& caption,
                     void (frmMDIMain::*handler)());
    void toggleOption(QAction* item, const QString& section, const QString& key);
    // Lays the visible sub-windows out in one column (one above the other) or one row.
    void tileSubWindows(Qt::Orientation stacking);
    // The unload: every channel window goes without asking, the elements are released.
    void unload();
    void endSendFile();
    // Shows in the warning strip which windows have no journal now, and logs each change;
    // now and then gives those windows another try.
    void showJournalTrouble();
    void LoadSettings();
    // Puts the text an earlier run left unsaved back into the windows, unsaved.
    void RecoverUnsavedText();
    void CheckChannels();
    void SendChannels();
    // The desktop's side of F12 mode and forwarding (desktop_backend_events.cpp): what a
    // desktop without the mechanisms needs from the user, said once per run when the mode
    // is switched on, and a mode switched off when the desktop takes back what it granted.
    void TellDesktopLimits(bool functionKey);
    // The boxes of F12 mode, under their one title.
    static void HookBox(const QString& prompt, int style = Platform::vbOKOnly);
    static void HookFailedBox();
    void BackendFailed(Platform::BackendFeature feature, const QString& reason);

public:
    // Menu items, named as the handlers refer to them.
    QAction* mnuFileSaveAll = nullptr;
    QAction* mnuExit = nullptr;
    QAction* mnuChannels = nullptr;
    QAction* mnuDataRequest = nullptr;
    QAction* mnuStart = nullptr;
    QAction* mnuF12toStart_Stop = nullptr;
    QAction* mnuBeeponRequest = nullptr;
    QAction* mnuSendCmd = nullptr;
    QAction* mnuSendFile = nullptr;
    QAction* mnuDateTime = nullptr;
    QAction* mnuWeightOnly = nullptr;
    QAction* mnuDecimalPoint = nullptr;
    QAction* mnuTABs = nullptr;
    QAction* mnuToCursor = nullptr;
    QAction* mnuback_left = nullptr;
    QAction* mnuWindowTileHoriz = nullptr;
    QAction* mnuWindowTileVert = nullptr;
    QAction* mnuWindowCascade = nullptr;
    QAction* mnuWindowClearAll = nullptr;
    QAction* mnuAbout = nullptr;
    // Which channels a crash would cost their unsaved data, and why; hidden while none.
    QLabel* lblJournalWarning = nullptr;

private:
    QMdiArea* m_mdiArea;
    QTimer* m_checkChannelTimer;
    QTimer* m_sendChannelTimer;
    bool m_unloaded = false;
    // The user answered Yes to saving at the quit; windows whose save failed keep their
    // journals, so the next start brings their text back.
    bool m_quitWithSave = false;
    // The windows of the first check appear after the start-up arrangement; they are
    // arranged once, side by side, so that none hides another's caption.
    bool m_windowsArranged = false;
    // Since the last try to give windows without a journal one.
    QElapsedTimer m_journalRetry;
    bool m_typingLimitTold = false;
    bool m_shortcutAdviceTold = false;
};
