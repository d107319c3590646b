#pragma once
// The physical link of every channel: creating and releasing its port and socket
// elements, configuring them from the settings string, opening, closing, state texts,
// sending, and the one connection error box. The elements live in the two arrays that
// the main window owns and binds here at start-up.

#include <QString>
#include <functional>
#include <memory>

#include "comm/element_array.h"
#include "comm/serial_port_element.h"
#include "comm/socket_element.h"

namespace Communication_HW {

using SerialArray = ElementArray<SerialPortElement>;
using SocketArray = ElementArray<SocketElement>;

// The arrays the operations below work on (not owned).
void BindElements(SerialArray* mscomm, SocketArray* winsocket);
SerialArray* MSComm();
SocketArray* Winsocket();

void LoadChannelHW(int ch);
void UnloadChannelHW(int ch);
void OpenChannel(int ch);
// Closes whichever of the channel's port and socket holds a link and marks both
// unconfigured, so the next open applies the settings string as it is then.
void CloseChannel(int ch);
// Until the channel is next opened, its connection error boxes are not shown: its
// settings changed, and its old link has nothing more to say.
void HoldErrorBoxes(int ch);
bool IsChannelConnected(int ch);
bool IsChannelHWOk(int ch);
QString GetChannelHWState(int ch);
QString GetChannelHWSettings(int ch);
// Why the channel is not connected, in words for the user; empty while it is connected or
// before an attempt to connect has failed.
QString GetChannelHWReason(int ch);
// True when a serial channel's port is open on a device its COM number no longer maps to.
bool ChannelDeviceChanged(int ch);
void ShowChannelHWError(int ch, const QString& text);
void SendToChannel(int ch, const QString& text, const QString& source);
void SendToAllChannels(const QString& text, const QString& source);

// While one lives, the box of a serial port that does not open is held back instead of
// shown inside OpenChannel, so that one broken balance never keeps the channels after it
// in the same check from connecting. Show() then shows the held boxes in order.
class HeldOpenFailures
{
public:
    HeldOpenFailures();
    ~HeldOpenFailures();
    HeldOpenFailures(const HeldOpenFailures&) = delete;
    HeldOpenFailures& operator=(const HeldOpenFailures&) = delete;
    // Ends the holding; each box is shown only while stillWanted() says so (the user may
    // quit from one of them).
    void Show(const std::function<bool()>& stillWanted);

private:
    struct Boxes;
    std::unique_ptr<Boxes> m_held;
};

// Forwarding state as it is set whenever channel 1 is opened.
void ResetForwardingState();

} // namespace Communication_HW
