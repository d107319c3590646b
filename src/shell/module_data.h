#pragma once
// The program's shared data: the channel table, the dialog options, the connection
// defaults and the keystroke-forwarding state. Everything runs on the user-interface
// thread, so these are plain variables that windows and modules read and write directly.

#include <QString>
#include <array>
#include <cstdint>

class frmTxtBox;

namespace Globals {
inline constexpr int MaxChannels = 50;
inline const QString AppTitle = QStringLiteral("Veltrano Quorvane for IP and COM");

inline bool ProgramClosing = false;
inline quint8 RepeatCommand = 0;
inline qint32 RepeatInterval = 0;
inline quint8 SendCmdChannel = 0;
inline QString SendCmdCommand;
inline quint8 SendCmdAutoClear = 0;
inline QString SendFileName;

// Puts every value of the shared data back to what it holds before LoadSettings
// (numbers 0, texts empty). The program never calls it; tests start from it.
void ResetModuleData();
} // namespace Globals

namespace Channel_Window {
// Indexed by the channel number 1..50; element 0 is never used.
template <typename T> using ChannelArray = std::array<T, Globals::MaxChannels + 1>;

inline quint8 ChannelsCount = 0;
inline ChannelArray<quint8> ChannelState{};
inline ChannelArray<QString> ChannelSettings{};
inline ChannelArray<QString> ChannelId{};
inline ChannelArray<QString> ChannelCommand{};
inline ChannelArray<QString> ChannelFilename{};
} // namespace Channel_Window

namespace Communication_HW {
inline std::array<QString, 4> Handshakes{};
inline QString DefaultIPSettings;
inline QString DefaultCOMSettings;

// One forwarding state for the whole program, shared by every channel.
inline bool LastKeyWasTab = false;
inline qint16 FieldCount = 0;
inline bool AfterSign = false;
inline bool AtLineStart = false;
} // namespace Communication_HW
