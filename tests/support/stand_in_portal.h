#pragma once
// A desktop portal for tests: a private session bus (no service activation, so nothing
// but the stand-in answers there) with python3-dbusmock running stand_in_portal.py on it.
// The constructor points $DBUS_SESSION_BUS_ADDRESS at that bus, so make one before the
// process first touches the session bus.

#include <QDBusConnection>
#include <QProcess>
#include <QTemporaryDir>
#include <QVariant>

class StandInPortal
{
public:
    StandInPortal();
    ~StandInPortal();

    bool isRunning() const { return m_error.isEmpty(); }
    QString errorText() const { return m_error; }

    // The stand-in's Control interface (see stand_in_portal.py).
    void set(const QString& name, const QVariant& value);
    QVariant get(const QString& name);
    void call(const QString& method, const QVariantList& arguments = {});

private:
    QTemporaryDir m_dir;
    QProcess m_bus;
    QProcess m_portal;
    QString m_error;
};
