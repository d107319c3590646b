#pragma once
// What the main window does with the channel table after "Channels" has closed: channels
// switched off, moved above the count or given another kind of link lose their window; a
// channel whose link changed within its kind is closed, offers to save and is cleared; an
// unchanged one is left alone. The channel check that follows opens what is ON.
//
// Settings are compared by the link they open, so a hand-edited string that the dialog
// would write differently is no change. A close that the user cancels at "Save data before
// closing ?" keeps the channel as it was before the list: ON, within the count, on its old
// link, in memory and in the store.

#include <QString>

#include "shell/module_data.h"

namespace ChannelListChanges {

struct Before
{
    Channel_Window::ChannelArray<quint8> state{};
    Channel_Window::ChannelArray<QString> settings{};
};

// The channel table's states and settings as they are now, before the list opens.
Before Take();
// Brings windows and links in line with the channel table the list left.
void Apply(const Before& before);

} // namespace ChannelListChanges
