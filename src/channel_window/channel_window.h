#pragma once
// The table of channel windows and the only road from the rest of the program to a
// channel's text window; also the texts that name a channel everywhere (title, caption,
// default log file name). The channel table itself is in shell/module_data.h.

#include <QPointer>
#include <QString>

class QMdiArea;
class frmTxtBox;

namespace Channel_Window {

// The multiple-document area the windows are shown in (not owned); set by the main window.
void SetMdiArea(QMdiArea* area);
QMdiArea* MdiArea();

// The channel's window instance, created on first use; it keeps its instance for the
// rest of the run, also after the window was closed. ch is 1..50.
frmTxtBox* ChannelWindow(int ch);
// The instance if one was created, else nullptr; never creates.
frmTxtBox* ExistingChannelWindow(int ch);
// Unloads every window as at the program's end (no question, no stored state, each bound
// channel's port and socket released), then deletes the instances. For the main window's
// unload, while the element arrays still exist, and for tests.
void DestroyAllChannelWindows();

QString DefaultChannelFileName(int ch);
QString ChannelTitle(int ch);
// The caption with the connection state, and the window's line that says why the channel
// is not connected (logged once per change).
void UpdateChannelCaption(int ch);
void ShowChannelWindow(int ch);
void CallContiniousChannelWindow(int ch);
void CloseChannelWindow(int ch);
void TextToChannelWindow(int ch, const QString& text);
void ClearChannelWindow_AskForSave(int ch);
bool AnyChannelDataChanged();
void ClearAllChannelWindows();
void SaveAllChannelWindows();

} // namespace Channel_Window
