#pragma once
// The window of "another application" for keyboard tests: a plain X client window on its
// own connection to $DISPLAY, holding the input focus, that records every key event it
// gets as the keysym and the text it composes from it, the way an ordinary X application
// reads its keyboard. It can also take a key grab, as a second program on the desktop.

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

class QSocketNotifier;

namespace Platform::X11 {
class Connection;
}

class XTestWindow : public QObject
{
    Q_OBJECT
public:
    struct KeyEvent
    {
        bool press = true;
        QString keysym;     // its name, such as "Return", "plus" or "mu"
        QString text;       // what the press composes ("" for keys that type nothing)
        unsigned state = 0; // the modifier mask held at the time
    };

    // Maps the window on $DISPLAY and gives it the input focus.
    explicit XTestWindow(QObject* parent = nullptr);
    ~XTestWindow() override;

    bool isReady() const { return m_window != 0; }
    void takeFocus();

    const QList<KeyEvent>& events() const { return m_events; }
    // The text of every key press so far, and the keysym names of the presses in order.
    QString text() const;
    QStringList presses() const;
    void clear() { m_events.clear(); }

    // Grabs the key named by keysymName on the root window, as another program holding the
    // same hot key would; false when the server refused it.
    bool grabKey(const char* keysymName);
    // Presses or releases the key named by keysymName through XTest, as the user's keyboard
    // would, at the exact moment the caller chooses.
    bool fakeKey(const char* keysymName, bool press);
    // Whether a key of the server's current keymap carries the keysym.
    bool keymapHolds(unsigned long keysym);

signals:
    void keyEvent();

private:
    void readEvents();
    void readQueuedEvents();

    std::unique_ptr<Platform::X11::Connection> m_connection;
    unsigned long m_window = 0;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QList<KeyEvent> m_events;
};
