// Typing on wlroots compositors (sway, Hyprland, labwc): one virtual keyboard for the
// program's life, on a Wayland connection of our own (Qt may well be on XWayland), with a
// keymap of our own so that every character of a reading comes out as itself on any
// layout. Everything runs on the event loop: the connection's socket is watched, and
// nothing waits on the compositor once the keyboard exists.
//
// Key texts go out in the order they were given. A character that has no key yet waits,
// with everything after it, until a key can be bound to it (see VirtualKeymap).
#include "platform/session_backends.h"
#include "platform/virtual_keymap_wayland.h"

#include <QApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <deque>
#include <memory>

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>

#include <wayland-client.h>

#include "virtual-keyboard-unstable-v1-client-protocol.h"

namespace Platform::Wayland {
namespace {

// A compositor that has not answered in this time is taken as not there.
constexpr int AnswerTimeoutMs = 2000;
// Keys go out in batches of this many strokes, each written to the socket before the next:
// the client library keeps only 4 KiB of requests and gives the connection up when more
// would not fit.
constexpr size_t BatchStrokes = 40;
// Applications ask for their keyboard once the seat has one; keys sent before that are
// lost to them. On a seat whose only keyboard is ours, typing waits this long after it
// appeared.
constexpr int SettleMs = 500;
// sway puts the keymap of its own input configuration on every keyboard, ours too, when
// that configuration changes (the reload after a line was added for F12, a layout switched
// with swaymsg), and does not tell us. So our keymap goes out again before the first key
// of a line that starts after a pause, and before any key after a long pause (readings
// without line ends). Lines typed in one go skip it: each keymap costs the compositor and
// the application some milliseconds.
constexpr int LinePauseMs = 10;
constexpr int LongPauseMs = 1000;

class VirtualKeyboardDesktop : public Desktop
{
public:
    explicit VirtualKeyboardDesktop(wl_display* display) : m_display(display) { m_clock.start(); }
    ~VirtualKeyboardDesktop() override;

    // Finds the seat and the virtual keyboard manager and makes the keyboard; false when the
    // compositor does not offer or refuses it.
    bool open();

    void SendKeys(const QString& keyText) override;
    void Beep() override { QApplication::beep(); }
    QDateTime Now() override { return QDateTime::currentDateTime(); }

private:
    static void global(void* data, wl_registry* registry, uint32_t name, const char* interface,
                       uint32_t version);
    static void seatCapabilities(void* data, wl_seat* seat, uint32_t capabilities);

    bool waitForAnswer();
    bool sendKeymap();
    void readEvents();
    bool flush();
    void typeQueued();
    void typeLater(qint64 delayMs);
    void lose();

    wl_display* m_display;
    wl_registry* m_registry = nullptr;
    wl_seat* m_seat = nullptr;
    uint32_t m_seatCapabilities = 0;
    zwp_virtual_keyboard_manager_v1* m_manager = nullptr;
    zwp_virtual_keyboard_v1* m_keyboard = nullptr;
    std::unique_ptr<QSocketNotifier> m_readable, m_writable;
    QObject m_context; // for timer connections that end with us
    QTimer m_typingTimer;
    QElapsedTimer m_clock;
    qint64 m_readyAt = 0;              // on m_clock
    qint64 m_lastKeyAt = -LongPauseMs; // on m_clock
    bool m_lineEnded = true;           // the last key typed was Enter
    bool m_keymapUnsent = false;       // bindings the compositor has not got yet
    VirtualKeymap m_keymap;
    std::deque<KeyText::Stroke> m_queue;
    bool m_lost = false;
};

void VirtualKeyboardDesktop::global(void* data, wl_registry* registry, uint32_t name,
                                    const char* interface, uint32_t)
{
    auto* self = static_cast<VirtualKeyboardDesktop*>(data);
    // The first seat is the user's: compositors of one user have one seat.
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && !self->m_seat) {
        self->m_seat =
            static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
        static const wl_seat_listener listener = {seatCapabilities, nullptr};
        wl_seat_add_listener(self->m_seat, &listener, self);
    } else if (std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0 &&
               !self->m_manager) {
        self->m_manager = static_cast<zwp_virtual_keyboard_manager_v1*>(
            wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
    }
}

void VirtualKeyboardDesktop::seatCapabilities(void* data, wl_seat*, uint32_t capabilities)
{
    static_cast<VirtualKeyboardDesktop*>(data)->m_seatCapabilities = capabilities;
}

// A round trip with a time limit, used only while the keyboard is being made.
bool VirtualKeyboardDesktop::waitForAnswer()
{
    bool answered = false;
    wl_callback* callback = wl_display_sync(m_display);
    static const wl_callback_listener listener = {
        [](void* data, wl_callback*, uint32_t) { *static_cast<bool*>(data) = true; }};
    wl_callback_add_listener(callback, &listener, &answered);
    const QDeadlineTimer deadline(AnswerTimeoutMs);
    while (!answered) {
        if (wl_display_flush(m_display) < 0 && errno != EAGAIN)
            break;
        if (wl_display_prepare_read(m_display) != 0) {
            if (wl_display_dispatch_pending(m_display) < 0)
                break;
            continue;
        }
        pollfd socket{wl_display_get_fd(m_display), POLLIN, 0};
        if (poll(&socket, 1, int(deadline.remainingTime())) <= 0) {
            wl_display_cancel_read(m_display);
            break;
        }
        if (wl_display_read_events(m_display) < 0 || wl_display_dispatch_pending(m_display) < 0)
            break;
    }
    wl_callback_destroy(callback);
    return answered;
}

bool VirtualKeyboardDesktop::open()
{
    m_registry = wl_display_get_registry(m_display);
    static const wl_registry_listener listener = {global, [](void*, wl_registry*, uint32_t) {}};
    wl_registry_add_listener(m_registry, &listener, this);
    // The globals, then the seat's capabilities.
    if (!waitForAnswer() || !waitForAnswer() || !m_seat || !m_manager)
        return false;
    const bool seatHadKeyboard = m_seatCapabilities & WL_SEAT_CAPABILITY_KEYBOARD;
    m_keyboard = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(m_manager, m_seat);
    // Neutral modifiers make ours the seat's current keyboard at once, so the focused
    // application gets its keymap now rather than with the first key.
    if (!sendKeymap())
        return false;
    zwp_virtual_keyboard_v1_modifiers(m_keyboard, 0, 0, 0, 0);
    // A compositor that does not let us type says so here, as a protocol error.
    if (!waitForAnswer() || wl_display_get_error(m_display) != 0)
        return false;
    if (!seatHadKeyboard)
        m_readyAt = m_clock.elapsed() + SettleMs;

    const int fd = wl_display_get_fd(m_display);
    m_readable = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(m_readable.get(), &QSocketNotifier::activated, &m_context,
                     [this] { readEvents(); });
    m_writable = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    m_writable->setEnabled(false);
    QObject::connect(m_writable.get(), &QSocketNotifier::activated, &m_context, [this] {
        if (flush())
            typeQueued();
    });
    m_typingTimer.setSingleShot(true);
    QObject::connect(&m_typingTimer, &QTimer::timeout, &m_context, [this] { typeQueued(); });
    return true;
}

VirtualKeyboardDesktop::~VirtualKeyboardDesktop()
{
    m_readable.reset();
    m_writable.reset();
    if (m_keyboard)
        zwp_virtual_keyboard_v1_destroy(m_keyboard);
    if (m_manager)
        zwp_virtual_keyboard_manager_v1_destroy(m_manager);
    if (m_seat)
        wl_seat_destroy(m_seat);
    if (m_registry)
        wl_registry_destroy(m_registry);
    wl_display_flush(m_display);
    wl_display_disconnect(m_display);
}

// The keymap goes to the compositor as a memory file.
bool VirtualKeyboardDesktop::sendKeymap()
{
    const std::string& text = m_keymap.text();
    if (text.empty())
        return false;
    const int fd = memfd_create("quorvane-keymap", MFD_CLOEXEC);
    if (fd < 0)
        return false;
    const size_t size = text.size() + 1; // with its terminating NUL, as readers expect
    bool written = true;
    for (size_t done = 0; done < size && written;) {
        const ssize_t n = write(fd, text.c_str() + done, size - done);
        written = n > 0;
        done += written ? size_t(n) : 0;
    }
    if (written)
        zwp_virtual_keyboard_v1_keymap(m_keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd,
                                       uint32_t(size));
    close(fd); // the request carries a copy of it
    return written;
}

// Nothing we act on comes from the compositor, but its events must be read, and a closed
// connection shows here first.
void VirtualKeyboardDesktop::readEvents()
{
    if (wl_display_prepare_read(m_display) == 0 && wl_display_read_events(m_display) < 0)
        return lose();
    if (wl_display_dispatch_pending(m_display) < 0)
        lose();
}

// False while the compositor has not taken everything: typing goes on when it has.
bool VirtualKeyboardDesktop::flush()
{
    if (wl_display_flush(m_display) >= 0) {
        m_writable->setEnabled(false);
        return true;
    }
    if (errno == EAGAIN)
        m_writable->setEnabled(true);
    else
        lose();
    return false;
}

void VirtualKeyboardDesktop::SendKeys(const QString& keyText)
{
    if (m_lost)
        return; // the user was told once, when the keyboard was lost
    const QList<uint> ucs4 = keyText.toUcs4();
    const std::vector<KeyText::Stroke> strokes =
        KeyText::Parse(std::u32string(ucs4.cbegin(), ucs4.cend()));
    const bool waiting = !m_queue.empty();
    m_queue.insert(m_queue.end(), strokes.begin(), strokes.end());
    // Keys already waiting go first; they are typed when their wait ends.
    if (!waiting)
        typeQueued();
}

void VirtualKeyboardDesktop::typeQueued()
{
    if (m_lost || m_writable->isEnabled())
        return;
    while (!m_queue.empty()) {
        const qint64 now = m_clock.elapsed();
        if (now < m_readyAt)
            return typeLater(m_readyAt - now);
        // Every character of the batch gets its key first, so one keymap covers them all;
        // a key counts as used from here on, so a later character cannot take it away.
        const size_t batch = std::min(BatchStrokes, m_queue.size());
        size_t ready = 0;
        qint64 waitMs = 0;
        const qint64 pause = now - m_lastKeyAt;
        bool keymapChanged =
            m_keymapUnsent || pause >= LongPauseMs || (m_lineEnded && pause >= LinePauseMs);
        for (; ready < batch; ++ready) {
            const uint32_t keysym = VirtualKeymap::keysymFor(m_queue[ready]);
            std::optional<uint32_t> key = keysym ? m_keymap.keyFor(keysym) : std::nullopt;
            if (keysym && !key) {
                key = m_keymap.bind(keysym, now, waitMs);
                if (!key)
                    break;
                keymapChanged = true;
            }
            if (key)
                m_keymap.markUsed(*key, now);
        }
        m_keymapUnsent = keymapChanged && !sendKeymap();
        if (m_keymapUnsent) {
            // No memory file to be had: try again later rather than type wrong characters.
            ready = 0;
            waitMs = VirtualKeymap::ReuseDelayMs;
        }
        const uint32_t time = uint32_t(now);
        for (size_t i = 0; i < ready; ++i) {
            const uint32_t keysym = VirtualKeymap::keysymFor(m_queue.front());
            m_lineEnded = m_queue.front().key == KeyText::Key::Enter;
            m_queue.pop_front();
            if (const std::optional<uint32_t> key =
                    keysym ? m_keymap.keyFor(keysym) : std::nullopt) {
                zwp_virtual_keyboard_v1_key(m_keyboard, time, *key, WL_KEYBOARD_KEY_STATE_PRESSED);
                zwp_virtual_keyboard_v1_key(m_keyboard, time, *key, WL_KEYBOARD_KEY_STATE_RELEASED);
            }
        }
        if (ready > 0)
            m_lastKeyAt = now;
        // Sent, not waited for: the application takes the keys at its own pace.
        if (!flush())
            return;
        if (waitMs > 0)
            return typeLater(waitMs);
    }
}

void VirtualKeyboardDesktop::typeLater(qint64 delayMs)
{
    m_typingTimer.start(int(delayMs));
}

void VirtualKeyboardDesktop::lose()
{
    if (m_lost)
        return;
    m_lost = true;
    m_queue.clear();
    m_typingTimer.stop();
    m_readable->setEnabled(false);
    m_writable->setEnabled(false);
    const QString reason =
        wl_display_get_error(m_display) == EPROTO
            ? QStringLiteral("The compositor stopped the program's virtual keyboard.")
            : QStringLiteral("The connection to the compositor (%1) was lost.")
                  .arg(qEnvironmentVariable("WAYLAND_DISPLAY"));
    ReportBackendFailure(BackendFeature::Typing, reason);
}

} // namespace

std::unique_ptr<Desktop> OpenVirtualKeyboard()
{
    // Without it the client library would try "wayland-0", which is not this session's.
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return nullptr;
    wl_display* display = wl_display_connect(nullptr);
    if (!display)
        return nullptr;
    auto desktop = std::make_unique<VirtualKeyboardDesktop>(display);
    if (!desktop->open())
        return nullptr;
    return desktop;
}

} // namespace Platform::Wayland
