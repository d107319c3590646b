#pragma once
// Connection settings strings, the one text that names a channel's hardware:
//   serial  "COM  1, 9600,e,7,1,None"  fixed columns (port 5-6, block 8-18, handshake 20-)
//   network "IP 0.0.0.0:2101"          host up to the first ":", port after it
// Anything else means "no hardware". The text comes from a hand-editable store, so every
// function here accepts any string of any length.

#include <QString>
#include <optional>

namespace Communication_HW {

bool IsCOMSettings(const QString& settings);
bool IsIPSettings(const QString& settings);

// Fields of a serial string as the port is opened with them.
struct COMOpenFields
{
    std::optional<int> port;          // columns 5-6 as an integer; empty when not a number
    QString block;                    // columns 8-18, the port's settings text
    std::optional<int> handshakeCode; // index of the name in Handshakes; empty when none matches
};
COMOpenFields ParseCOMForOpen(const QString& settings);

// Fields of a network string as the socket is connected with them.
struct IPOpenFields
{
    QString host;
    std::optional<qint32> port; // empty when the text after ":" is not a 32-bit number
};
IPOpenFields ParseIPForOpen(const QString& settings);

// Fields of a serial string as the communication settings dialog shows them.
struct COMDialogFields
{
    QString port;      // "1".."16", no leading blanks; empty when not a number
    QString baud;      // columns 8-12 as they stand
    int parityIndex;   // 0 Even, 1 Odd, 2 None
    QString dataBits;  // column 16
    QString stopBits;  // column 18
    QString handshake; // from column 20, at most 100 characters
};
COMDialogFields ParseCOMForDialog(const QString& settings);

// "COM " + port (blank-padded to 2) + "," + baud + "," + parity letter + "," + data bits
// + "," + stop bits + "," + handshake name.
QString ComposeCOMSettings(int port, const QString& baudText, int parityIndex,
                           const QString& dataBits, const QString& stopBits,
                           const QString& handshakeName);

// Validates and composes "IP <address>:<port>"; on invalid input returns DefaultIPSettings.
QString ComposeIPSettings(const QString& addressText, const QString& portText);

// Rebuilds a serial string from a live port: its settings text, number and handshaking.
QString RebuildCOMSettings(int port, const QString& portSettingsText, int handshaking);
QString RebuildIPSettings(const QString& remoteHost, qint32 remotePort);

// True when both strings make the channel open the same link: the same port with the same
// line, or the same host and port, however blank-padded or zero-led the numbers are. A
// string that would not open as it stands (a field the port refuses, an unknown handshake,
// a port that is no number) means only itself, so it equals nothing but its own text.
bool SameSettings(const QString& a, const QString& b);

// ChannelSettings(ch).
QString GetChannelSettings(int ch);

} // namespace Communication_HW
