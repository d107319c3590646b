#include "support/stand_in_portal.h"
#include "support/child_process.h"

#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QDBusVariant>
#include <QFile>
#include <QTest>

namespace {
constexpr char Portal[] = "org.freedesktop.portal.Desktop";
constexpr char Path[] = "/org/freedesktop/portal/desktop";
constexpr char Control[] = "com.veltrano.quorvane.StandInPortal";
} // namespace

StandInPortal::StandInPortal()
{
    QFile config(m_dir.filePath(QStringLiteral("bus.conf")));
    if (!config.open(QIODevice::WriteOnly)) {
        m_error = QStringLiteral("no bus configuration file: %1").arg(config.errorString());
        return;
    }
    config.write(QStringLiteral("<busconfig><type>session</type><listen>unix:dir=%1</listen>"
                                "<auth>EXTERNAL</auth><policy context=\"default\">"
                                "<allow send_destination=\"*\" eavesdrop=\"true\"/>"
                                "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy>"
                                "</busconfig>")
                     .arg(m_dir.path())
                     .toUtf8());
    config.close();
    m_bus.start(QStringLiteral("dbus-daemon"),
                {QStringLiteral("--nofork"), QStringLiteral("--print-address=1"),
                 QStringLiteral("--config-file=") + config.fileName()});
    QByteArray address;
    while (!address.contains('\n') && m_bus.waitForReadyRead(10000))
        address += m_bus.readAllStandardOutput();
    if (!address.contains('\n')) {
        m_error =
            QStringLiteral("dbus-daemon gave no address: %1 %2")
                .arg(m_bus.errorString(), QString::fromLocal8Bit(m_bus.readAllStandardError()));
        return;
    }
    qputenv("DBUS_SESSION_BUS_ADDRESS", address.trimmed());

    // The Debian package's module, whatever python3 comes first on PATH.
    m_portal.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_portal.start(QStringLiteral("/usr/bin/python3"),
                   {QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--template"),
                    QStringLiteral(QUORVANE_SOURCE_DIR "/tests/support/stand_in_portal.py")});
    m_portal.waitForStarted(10000);
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    if (!bus ||
        !QTest::qWaitFor(
            [&] {
                return m_portal.state() != QProcess::Running ||
                       bus->isServiceRegistered(QString::fromLatin1(Portal));
            },
            20000) ||
        m_portal.state() != QProcess::Running)
        m_error = QStringLiteral("the stand-in portal did not start (is python3-dbusmock "
                                 "installed?): %1")
                      .arg(m_portal.errorString());
}

StandInPortal::~StandInPortal()
{
    StopChildProcess(m_portal);
    StopChildProcess(m_bus);
}

void StandInPortal::set(const QString& name, const QVariant& value)
{
    call(QStringLiteral("Set"), {name, QVariant::fromValue(QDBusVariant(value))});
}

QVariant StandInPortal::get(const QString& name)
{
    const QDBusReply<QDBusVariant> reply = QDBusConnection::sessionBus().call(
        QDBusMessage::createMethodCall(Portal, Path, Control, QStringLiteral("Get")) << name);
    return reply.isValid() ? reply.value().variant() : QVariant();
}

void StandInPortal::call(const QString& method, const QVariantList& arguments)
{
    QDBusMessage message = QDBusMessage::createMethodCall(Portal, Path, Control, method);
    message.setArguments(arguments);
    QDBusConnection::sessionBus().call(message);
}
