#include "comm/channel_connections.h"

#include <iterator>
#include <utility>
#include <vector>

#include "channel_window/channel_window.h"
#include "comm/settings_string.h"
#include "platform/user_prompts.h"
#include "shell/module_data.h"
#include "shell/pending_error.h"

namespace Communication_HW {
namespace {

SerialArray* g_mscomm = nullptr;
SocketArray* g_winsocket = nullptr;
// Channels whose settings changed and that have not been opened with them since: whatever
// their old link still does is no news for the user.
Channel_Window::ChannelArray<bool> g_errorBoxesHeld{};

enum class Kind { None, IP, COM };

bool validChannel(int ch)
{
    return ch >= 1 && ch <= Globals::MaxChannels;
}

// Network first, then serial; any other text means the channel has no hardware.
Kind kindOf(int ch)
{
    const QString settings = GetChannelSettings(ch);
    if (IsIPSettings(settings))
        return Kind::IP;
    if (IsCOMSettings(settings))
        return Kind::COM;
    return Kind::None;
}

SerialPortElement* serialOf(int ch)
{
    return g_mscomm && validChannel(ch) ? (*g_mscomm)(ch - 1) : nullptr;
}

SocketElement* socketOf(int ch)
{
    return g_winsocket && validChannel(ch) ? (*g_winsocket)(ch - 1) : nullptr;
}

// A missing element counts as a link in error: there is nothing that could carry data.
int socketState(int ch)
{
    const SocketElement* socket = socketOf(ch);
    return socket ? socket->State() : SocketElement::sckError;
}

bool serialOpen(int ch)
{
    SerialPortElement* port = serialOf(ch);
    return port && port->PortOpen();
}

void raiseMissingElement(int ch)
{
    Globals::Err.Raise(340, QStringLiteral("Control array element '%1' doesn't exist").arg(ch - 1));
}

// The mark is compared by its numeric value; text that is no number counts as 0.
bool isConfigured(const QString& tag)
{
    bool ok = false;
    const double value = tag.trimmed().toDouble(&ok);
    return ok && value != 0;
}

void openSocket(int ch)
{
    SocketElement* socket = socketOf(ch);
    if (!socket) {
        raiseMissingElement(ch);
        return;
    }
    if (!isConfigured(socket->Tag)) {
        const IPOpenFields fields = ParseIPForOpen(GetChannelSettings(ch));
        socket->SetRemoteHost(fields.host);
        if (fields.port)
            socket->SetRemotePort(*fields.port);
        else
            Globals::Err.Raise(13, QStringLiteral("Type mismatch"));
        socket->Tag = QStringLiteral("1");
    }
    switch (socket->State()) {
    case SocketElement::sckClosed:
        socket->Connect();
        break;
    case SocketElement::sckConnecting:
        // A slow link gets its allowance before the attempt counts as stuck.
        if (socket->ConnectStillAllowed())
            break;
        [[fallthrough]];
    case SocketElement::sckClosing:
    case SocketElement::sckError:
        socket->Close();
        socket->Connect();
        break;
    default:
        break; // connected, or busy resolving: the next check looks again
    }
}

struct ErrorBox
{
    QString prompt;
    QString title;
};

// The box as it reads now: state and pending error are those of this moment.
ErrorBox errorBox(int ch, const QString& text)
{
    const Kind kind = kindOf(ch);
    const QString prefix = kind == Kind::IP    ? QStringLiteral("Winsocket-")
                           : kind == Kind::COM ? QStringLiteral("MSComm-")
                                               : QStringLiteral("Communication HW not defined -");
    QString prompt = prefix + text + QStringLiteral("\r\n\r\nState: ") + GetChannelHWState(ch);
    if (Globals::Err.Number != 0)
        prompt += QStringLiteral("\r\n\r\nError: ") + Globals::Err.Description;
    return {prompt, QStringLiteral("State: ") + Channel_Window::ChannelTitle(ch)};
}

void showErrorBox(const ErrorBox& box)
{
    Platform::MsgBox(box.prompt, Platform::vbOKOnly + Platform::vbExclamation, box.title);
}

std::vector<ErrorBox>* g_heldBoxes = nullptr;

void reportOpenFailure(int ch)
{
    const ErrorBox box = errorBox(ch, QStringLiteral("Open"));
    if (g_heldBoxes)
        g_heldBoxes->push_back(box);
    else
        showErrorBox(box);
}

void openSerial(int ch)
{
    SerialPortElement* port = serialOf(ch);
    if (!port) {
        raiseMissingElement(ch);
        return;
    }
    if (!isConfigured(port->Tag)) {
        // Each step that fails leaves its error pending and the property as it was.
        const COMOpenFields fields = ParseCOMForOpen(GetChannelSettings(ch));
        if (fields.port)
            port->SetCommPort(*fields.port);
        else
            Globals::Err.Raise(13, QStringLiteral("Type mismatch"));
        port->SetSettings(fields.block);
        if (fields.handshakeCode)
            port->SetHandshaking(*fields.handshakeCode);
        port->SetRThreshold(1);
        port->Tag = QStringLiteral("1");
    }
    if (!port->PortOpen())
        port->SetPortOpen(true);
    if (!port->PortOpen()) {
        // Switched off in memory only, so the next check does not ask again.
        Channel_Window::ChannelState[std::size_t(ch)] = 0;
        port->Tag = QStringLiteral("0");
        // The window says why before the box does, and keeps saying it after.
        Channel_Window::UpdateChannelCaption(ch);
        reportOpenFailure(ch);
    }
}

QString socketStateText(int state)
{
    static const char* const texts[] = {
        "Close",     "Open",     "Listening",  "Connection pending",
        "Resolving", "Resolved", "Connecting", "OK",
        "Closing",   "Error",
    };
    if (state < 0 || state >= int(std::size(texts)))
        return QStringLiteral("State not defined");
    return QString::fromLatin1(texts[state]);
}

} // namespace

void BindElements(SerialArray* mscomm, SocketArray* winsocket)
{
    g_mscomm = mscomm;
    g_winsocket = winsocket;
    g_errorBoxesHeld.fill(false);
}

SerialArray* MSComm()
{
    return g_mscomm;
}

SocketArray* Winsocket()
{
    return g_winsocket;
}

void LoadChannelHW(int ch)
{
    if (!validChannel(ch) || !g_mscomm || !g_winsocket)
        return;
    if (ch != 1) {
        g_winsocket->Load(ch - 1);
        g_mscomm->Load(ch - 1);
    }
    socketOf(ch)->Tag = QStringLiteral("0");
    serialOf(ch)->Tag = QStringLiteral("0");
}

void UnloadChannelHW(int ch)
{
    if (!validChannel(ch))
        return;
    CloseChannel(ch);
    if (!g_mscomm || !g_winsocket)
        return;
    // Channel 1 always has its pair; it gets a fresh one, so that nothing the old link held
    // reaches the channel once it runs on another link.
    if (ch == 1) {
        g_winsocket->Renew(0);
        g_mscomm->Renew(0);
        return;
    }
    g_winsocket->Unload(ch - 1);
    g_mscomm->Unload(ch - 1);
}

void OpenChannel(int ch)
{
    if (!validChannel(ch))
        return;
    // The report of a failed open names this open's error, not an older one.
    Globals::Err.Clear();
    g_errorBoxesHeld[std::size_t(ch)] = false;
    switch (kindOf(ch)) {
    case Kind::IP:
        openSocket(ch);
        break;
    case Kind::COM:
        openSerial(ch);
        break;
    case Kind::None:
        break;
    }
    if (ch == 1)
        ResetForwardingState();
}

void CloseChannel(int ch)
{
    if (!validChannel(ch))
        return;
    // The link the channel actually has is closed, whatever its settings string says by
    // now: after a change of kind the string names the other element.
    SocketElement* socket = socketOf(ch);
    SerialPortElement* port = serialOf(ch);
    if (socket) {
        if (socket->State() != SocketElement::sckClosed)
            socket->Close();
        socket->Tag = QStringLiteral("0");
    }
    if (port) {
        // Also a port that failed and closed itself: what it rescued is dropped with it.
        port->SetPortOpen(false);
        port->Tag = QStringLiteral("0");
    }
    if ((kindOf(ch) == Kind::IP && !socket) || (kindOf(ch) == Kind::COM && !port))
        raiseMissingElement(ch);
}

void HoldErrorBoxes(int ch)
{
    if (validChannel(ch))
        g_errorBoxesHeld[std::size_t(ch)] = true;
}

bool IsChannelConnected(int ch)
{
    switch (kindOf(ch)) {
    case Kind::IP:
        return socketState(ch) == SocketElement::sckConnected;
    case Kind::COM:
        return serialOpen(ch);
    case Kind::None:
        break;
    }
    return false;
}

bool IsChannelHWOk(int ch)
{
    switch (kindOf(ch)) {
    case Kind::IP:
        return socketState(ch) != SocketElement::sckError;
    case Kind::COM:
        return serialOpen(ch);
    case Kind::None:
        break;
    }
    return false;
}

QString GetChannelHWState(int ch)
{
    switch (kindOf(ch)) {
    case Kind::IP:
        return socketStateText(socketState(ch));
    case Kind::COM:
        return serialOpen(ch) ? QStringLiteral("OK") : QStringLiteral("Error");
    case Kind::None:
        break;
    }
    return QStringLiteral("Error");
}

QString GetChannelHWReason(int ch)
{
    if (IsChannelConnected(ch))
        return {};
    switch (kindOf(ch)) {
    case Kind::IP:
        if (const SocketElement* socket = socketOf(ch))
            return socket->Reason();
        break;
    case Kind::COM:
        if (const SerialPortElement* port = serialOf(ch))
            return port->Reason();
        break;
    case Kind::None:
        break;
    }
    return {};
}

bool ChannelDeviceChanged(int ch)
{
    const SerialPortElement* port = kindOf(ch) == Kind::COM ? serialOf(ch) : nullptr;
    return port && port->OpenOnAnotherDevice();
}

QString GetChannelHWSettings(int ch)
{
    switch (kindOf(ch)) {
    case Kind::IP:
        if (const SocketElement* socket = socketOf(ch))
            return RebuildIPSettings(socket->RemoteHost(), socket->RemotePort());
        break;
    case Kind::COM:
        if (const SerialPortElement* port = serialOf(ch))
            return RebuildCOMSettings(port->CommPort(), port->Settings(), port->Handshaking());
        break;
    case Kind::None:
        break;
    }
    return {};
}

void ShowChannelHWError(int ch, const QString& text)
{
    if (validChannel(ch) && g_errorBoxesHeld[std::size_t(ch)])
        return;
    showErrorBox(errorBox(ch, text));
}

struct HeldOpenFailures::Boxes
{
    std::vector<ErrorBox> boxes;
    std::vector<ErrorBox>* outer = nullptr;
};

HeldOpenFailures::HeldOpenFailures() : m_held(std::make_unique<Boxes>())
{
    m_held->outer = std::exchange(g_heldBoxes, &m_held->boxes);
}

HeldOpenFailures::~HeldOpenFailures()
{
    if (g_heldBoxes == &m_held->boxes)
        g_heldBoxes = m_held->outer;
}

void HeldOpenFailures::Show(const std::function<bool()>& stillWanted)
{
    if (g_heldBoxes == &m_held->boxes)
        g_heldBoxes = m_held->outer;
    for (const ErrorBox& box : std::exchange(m_held->boxes, {})) {
        if (!stillWanted())
            break;
        showErrorBox(box);
    }
}

void SendToChannel(int ch, const QString& text, const QString& source)
{
    if (!validChannel(ch) || Channel_Window::ChannelState[std::size_t(ch)] == 0 ||
        !IsChannelConnected(ch))
        return;
    // A failing send leaves its error pending for the caller; only a link that the send
    // showed to be broken is reported here.
    if (kindOf(ch) == Kind::IP)
        socketOf(ch)->SendData(text);
    else
        serialOf(ch)->SetOutput(text);
    if (!IsChannelHWOk(ch)) {
        ShowChannelHWError(ch, source + text);
        Globals::Err.Clear();
    }
}

void SendToAllChannels(const QString& text, const QString& source)
{
    for (int ch = 1; ch <= Channel_Window::ChannelsCount; ++ch)
        SendToChannel(ch, text, source);
}

void ResetForwardingState()
{
    LastKeyWasTab = true;
    FieldCount = 0;
    AfterSign = false;
    AtLineStart = true;
}

} // namespace Communication_HW
