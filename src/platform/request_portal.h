#pragma once
// What the RemoteDesktop and GlobalShortcuts backends share of the desktop portal
// (org.freedesktop.portal.Desktop on the session bus): whether an interface is offered, the
// Request objects through which the portal answers after the user decided, and the Session
// object it may close behind our back.
//
// Everything here is asynchronous and runs on the user-interface thread: a dialog of the
// portal may stay open for minutes, and the program keeps receiving readings meanwhile.

#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <functional>

namespace Platform::Portal {

inline constexpr char Service[] = "org.freedesktop.portal.Desktop";
inline constexpr char DesktopPath[] = "/org/freedesktop/portal/desktop";

// Response codes of a Request.
enum Response : uint { Granted = 0, Cancelled = 1, Ended = 2 };

// The version of a portal interface, 0 when the session bus, the portal or the interface
// is missing. Asked at most once per interface and never waits much more than a second,
// also while the portal is still being started by the bus.
uint InterfaceVersion(const QString& interface);

// A portal method that answers through a Request object: the reply of the call is only
// the Request's path, the answer comes later in its Response signal. A call the portal
// rejects outright is answered as Ended with the error text in results["error"].
using ResponseHandler = std::function<void(uint response, const QVariantMap& results)>;
void CallWithResponse(const QString& interface, const QString& method, QVariantList arguments,
                      QVariantMap options, QObject* context, ResponseHandler handler);

// A handle out of a Response's results (the portal sends some as strings, some as paths).
QString HandleFrom(const QVariant& value);

// A portal session we opened; tells when the desktop closes it and closes it when we are done.
class Session : public QObject
{
    Q_OBJECT
public:
    Session(const QString& handle, std::function<void()> closedByDesktop, QObject* parent);
    // Closes the session on the desktop's side too, unless the desktop closed it.
    ~Session() override;
    QString handle() const { return m_handle; }

private slots:
    void onClosed(const QDBusMessage& message);

private:
    QString m_handle;
    std::function<void()> m_closedByDesktop;
    bool m_open = true;
};

// A new token for handle_token and session_handle_token options.
QString NewToken();

} // namespace Platform::Portal
