#include "shell/channel_list_changes.h"

#include "channel_window/channel_window.h"
#include "channel_window/frmTxtBox.h"
#include "comm/channel_connections.h"
#include "comm/settings_string.h"
#include "platform/settings_store.h"
#include "shell/load_settings.h"

using namespace Channel_Window;
using namespace Communication_HW;

namespace ChannelListChanges {
namespace {

const QString Section = QStringLiteral("Channels");

bool SameKind(const QString& a, const QString& b)
{
    return IsCOMSettings(a) == IsCOMSettings(b) && IsIPSettings(a) == IsIPSettings(b);
}

bool WindowLoaded(int n)
{
    const frmTxtBox* window = ExistingChannelWindow(n);
    return window && window->IsLoaded();
}

// The user kept the window: the channel goes on exactly as before the list, so its text
// stays in every save, clear and quit question, and the check keeps its link.
void KeepAsBefore(int n, const Before& before)
{
    ChannelState[n] = before.state[n];
    ChannelSettings[n] = before.settings[n];
    const QString key = QStringLiteral("Ch-%1_").arg(n);
    SettingsStore::SaveSetting(Section, key + QLatin1String("State"), QStringLiteral("1"));
    SettingsStore::SaveSetting(Section, key + QLatin1String("Settings"), before.settings[n]);
    if (n <= ChannelsCount)
        return;
    ChannelsCount = quint8(n);
    const quint8 stored =
        Settings::ToByte(SettingsStore::GetSetting(Section, QStringLiteral("CannelsCount")))
            .value_or(0);
    if (stored < n)
        SettingsStore::SaveSetting(Section, QStringLiteral("CannelsCount"), QString::number(n));
}

} // namespace

Before Take()
{
    return {ChannelState, ChannelSettings};
}

void Apply(const Before& before)
{
    const ChannelArray<quint8> state = ChannelState;
    const ChannelArray<QString> settings = ChannelSettings;
    const auto take = [&](int n) {
        ChannelState[n] = state[n];
        ChannelSettings[n] = settings[n];
    };
    // Until its turn below, a channel that was ON runs as before the list: while one
    // channel's question is open, the others' readings still arrive in their own windows
    // over the link their settings name.
    for (int n = 1; n <= Globals::MaxChannels; ++n) {
        if (before.state[n] != 0) {
            ChannelState[n] = before.state[n];
            ChannelSettings[n] = before.settings[n];
        }
    }

    const bool closingBefore = Globals::ProgramClosing;
    for (int n = 1; n <= Globals::MaxChannels; ++n) {
        // Ended from inside a question: the store already holds the list's choices.
        if (Globals::ProgramClosing && !closingBefore)
            return;
        if (before.state[n] == 0)
            continue;
        const bool stays = state[n] != 0 && n <= ChannelsCount;
        const bool same = SameSettings(before.settings[n], settings[n]);
        if (stays && same) {
            take(n);
            // The same line on another device: reconnect there, the text stays.
            if (ChannelDeviceChanged(n))
                CloseChannel(n);
        } else if (stays && SameKind(before.settings[n], settings[n])) {
            // The old link goes before the question, so nothing of it lands after it.
            CloseChannel(n);
            take(n);
            HoldErrorBoxes(n);
            ClearChannelWindow_AskForSave(n);
        } else {
            CloseChannelWindow(n);
            if (WindowLoaded(n)) {
                KeepAsBefore(n, before);
                continue;
            }
            // The window's unload switched the channel off; without a window it takes the
            // list's state.
            ChannelSettings[n] = settings[n];
            if (ChannelState[n] != 0)
                ChannelState[n] = state[n];
            if (!same)
                HoldErrorBoxes(n);
        }
    }
}

} // namespace ChannelListChanges
