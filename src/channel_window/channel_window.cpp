#include "channel_window/channel_window.h"

#include <QDir>
#include <QMdiArea>

#include "channel_window/frmTxtBox.h"
#include "comm/channel_connections.h"
#include "comm/settings_string.h"
#include "platform/message_log.h"
#include "shell/module_data.h"

namespace Channel_Window {
namespace {

QPointer<QMdiArea> g_area;
// One instance per channel; the area deletes them with itself, which clears the entries.
ChannelArray<QPointer<frmTxtBox>> g_forms;

bool IsChannel(int ch)
{
    return ch >= 1 && ch <= Globals::MaxChannels;
}

// The windows the "all windows" operations look at: every loaded one, whatever the count
// and the channel's state say (a port that failed to open switches its channel off and
// leaves the text), since an unloaded one holds nothing to clear or save.
template <typename Action> void ForEachActiveWindow(Action action)
{
    for (int i = 1; i <= Globals::MaxChannels; ++i) {
        frmTxtBox* window = g_forms[i];
        if (window && window->IsLoaded() && !action(i, window))
            return;
    }
}

} // namespace

void SetMdiArea(QMdiArea* area)
{
    g_area = area;
}

QMdiArea* MdiArea()
{
    return g_area;
}

frmTxtBox* ChannelWindow(int ch)
{
    if (!IsChannel(ch))
        return nullptr;
    if (!g_forms[ch])
        g_forms[ch] = new frmTxtBox;
    return g_forms[ch];
}

frmTxtBox* ExistingChannelWindow(int ch)
{
    return IsChannel(ch) ? g_forms[ch].data() : nullptr;
}

void DestroyAllChannelWindows()
{
    // The windows go as at the program's end: no question, no stored state, but every
    // bound window releases its channel's port and socket.
    const bool closing = Globals::ProgramClosing;
    Globals::ProgramClosing = true;
    for (QPointer<frmTxtBox>& entry : g_forms) {
        if (!entry)
            continue;
        entry->CloseWindow();
        if (entry && entry->SubWindow())
            delete entry->SubWindow();
        delete entry.data();
    }
    Globals::ProgramClosing = closing;
}

QString DefaultChannelFileName(int ch)
{
    // At a drive's root this gives two separators in a row, which file systems accept.
    return QDir::toNativeSeparators(QDir::currentPath()) + QDir::separator() +
           QStringLiteral("Channel-") + QString::number(ch) + QStringLiteral(".log");
}

QString ChannelTitle(int ch)
{
    const QString id = ch >= 0 && ch <= Globals::MaxChannels ? ChannelId[ch] : QString();
    return id + QStringLiteral(" (CH-") + QString::number(ch) + QStringLiteral(", ") +
           Communication_HW::GetChannelSettings(ch) + QLatin1Char(')');
}

void UpdateChannelCaption(int ch)
{
    frmTxtBox* window = ExistingChannelWindow(ch);
    if (!window)
        return;
    QString caption =
        ChannelTitle(ch) + QStringLiteral(" : ") + Communication_HW::GetChannelHWState(ch);
    if (!ChannelFilename[ch].isEmpty())
        caption += QStringLiteral(" - ") + ChannelFilename[ch];
    window->SetCaption(caption);

    // The reason stays out of the caption and the text: both are saved and journalled.
    QString reason = Communication_HW::GetChannelHWReason(ch).remove(u'\r');
    if (!reason.isEmpty()) {
        QString then = ChannelState[ch] != 0 ? QStringLiteral("retrying")
                                             : QStringLiteral("the channel is off until it is "
                                                              "switched on again in Settings > "
                                                              "Channels");
        // A reason that ends in a command to run keeps that line to itself.
        if (reason.contains(u'\n'))
            then = u'\n' + then.front().toUpper() + then.mid(1);
        else
            then.prepend(QStringLiteral("; "));
        reason = QStringLiteral("Not connected: ") + reason + then;
    }
    if (reason == window->ConnectionReason())
        return;
    window->SetConnectionReason(reason);
    qCInfo(Platform::SubsystemCategory(__FILE__)).noquote() << Platform::BoxLogText(
        ChannelTitle(ch), reason.isEmpty() ? QStringLiteral("connected") : reason);
}

void ShowChannelWindow(int ch)
{
    frmTxtBox* window = ChannelWindow(ch);
    if (!window)
        return;
    // Reading Tag loads a closed window afresh; only an unbound one is bound, so text
    // received by a bound window is never cleared here.
    if (window->Tag().toInt() != 0)
        return;
    window->SetTag(QString::number(ch));
    Communication_HW::LoadChannelHW(ch);
    UpdateChannelCaption(ch);
    window->Show();
    window->InitContent();
}

void CallContiniousChannelWindow(int ch)
{
    if (frmTxtBox* window = ExistingChannelWindow(ch))
        window->CallContinious();
}

void CloseChannelWindow(int ch)
{
    if (frmTxtBox* window = ExistingChannelWindow(ch))
        window->CloseWindow();
}

void TextToChannelWindow(int ch, const QString& text)
{
    // The window's text store writes it to the channel's journal.
    if (frmTxtBox* window = ExistingChannelWindow(ch))
        window->NewTextReceived(text);
}

void ClearChannelWindow_AskForSave(int ch)
{
    if (frmTxtBox* window = ExistingChannelWindow(ch))
        window->ClearText_AskForSave();
}

bool AnyChannelDataChanged()
{
    bool changed = false;
    ForEachActiveWindow([&changed](int, frmTxtBox* window) {
        changed = window->DataChanged();
        return !changed; // the first window with unsaved data answers
    });
    return changed;
}

void ClearAllChannelWindows()
{
    ForEachActiveWindow([](int, frmTxtBox* window) {
        window->ForgetText();
        return true;
    });
}

void SaveAllChannelWindows()
{
    // Every active channel is saved, also one without unsaved data; a channel without a
    // file asks for one, and cancelling skips just that channel.
    ForEachActiveWindow([](int i, frmTxtBox* window) {
        if (ChannelFilename[i].isEmpty())
            window->SaveChannelAs();
        else
            window->SaveChannel();
        return true;
    });
}

} // namespace Channel_Window
