#include "support/kwin_session.h"
#include "support/child_process.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTest>

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

namespace {
constexpr char Socket[] = "wayland-quorvane";
// Both portals start from the bus; their service files say they are installed.
constexpr char Portal[] = "/usr/share/dbus-1/services/org.freedesktop.portal.Desktop.service";
constexpr char KdeBackend[] =
    "/usr/share/dbus-1/services/org.freedesktop.impl.portal.desktop.kde.service";
} // namespace

KWinSession::KWinSession()
{
    const QString kwin = QStandardPaths::findExecutable(QStringLiteral("kwin_wayland"));
    if (kwin.isEmpty() || !QFile::exists(QString::fromLatin1(Portal)) ||
        !QFile::exists(QString::fromLatin1(KdeBackend))) {
        m_missing = QStringLiteral("kwin-wayland, xdg-desktop-portal or xdg-desktop-portal-kde "
                                   "is not installed (tools/install-deps.sh)");
        return;
    }
    const QString runtime = m_dir.filePath(QStringLiteral("runtime"));
    const QString home = m_dir.filePath(QStringLiteral("home"));
    const QString copy = m_dir.filePath(QStringLiteral("kwin_wayland"));
    QDir().mkpath(runtime);
    QDir().mkpath(home);
    QFile::copy(kwin, copy);
    QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                            QFile::ReadOther | QFile::ExeOther);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // A desktop session is an ordinary user's: as root, everything in it runs as nobody.
    if (geteuid() == 0) {
        if (const passwd* nobody = getpwnam("nobody")) {
            m_uid = nobody->pw_uid;
            m_gid = nobody->pw_gid;
            for (const QString& path : {runtime, home})
                if (chown(QFile::encodeName(path).constData(), m_uid, m_gid) != 0)
                    m_error = QStringLiteral("cannot hand %1 to nobody").arg(path);
        }
    }

    m_environment = QProcessEnvironment::systemEnvironment();
    m_environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    m_environment.insert(QStringLiteral("HOME"), home);
    m_environment.remove(QStringLiteral("XDG_CONFIG_HOME"));
    m_environment.remove(QStringLiteral("XDG_STATE_HOME"));
    m_environment.remove(QStringLiteral("XDG_CACHE_HOME"));
    m_environment.remove(QStringLiteral("DISPLAY"));
    m_environment.insert(QStringLiteral("WAYLAND_DISPLAY"), QString::fromLatin1(Socket));
    m_environment.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), QStringLiteral("KDE"));
    m_environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
    m_environment.insert(QStringLiteral("KWIN_WAYLAND_NO_PERMISSION_CHECKS"), QStringLiteral("1"));

    QProcess* bus = start(QStringLiteral("dbus-daemon"),
                          {QStringLiteral("--session"), QStringLiteral("--nofork"),
                           QStringLiteral("--print-address=1")});
    if (!QTest::qWaitFor([bus] { return bus->canReadLine(); }, 10000)) {
        m_error = QStringLiteral("the session bus did not start");
        return;
    }
    m_environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                         QString::fromLatin1(bus->readLine().trimmed()));
    // The portals start on demand from the bus, with the bus's environment.
    run(QStringLiteral("dbus-update-activation-environment"),
        {QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("XDG_CURRENT_DESKTOP"),
         QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("XDG_RUNTIME_DIR"),
         QStringLiteral("HOME")});

    QProcess* compositor = start(
        copy, {QStringLiteral("--virtual"), QStringLiteral("--no-lockscreen"),
               QStringLiteral("--socket"), QString::fromLatin1(Socket), QStringLiteral("--width"),
               QStringLiteral("800"), QStringLiteral("--height"), QStringLiteral("600")});
    const QString socket = QDir(runtime).filePath(QString::fromLatin1(Socket));
    if (!QTest::qWaitFor(
            [&] { return QFile::exists(socket) || compositor->state() == QProcess::NotRunning; },
            30000) ||
        compositor->state() == QProcess::NotRunning)
        m_error = QStringLiteral("KWin did not start: %1")
                      .arg(QString::fromLocal8Bit(compositor->readAll().right(2000)));
    // At a real login the portal is already running when the program starts.
    else if (!run(QStringLiteral("dbus-send"),
                  {QStringLiteral("--session"), QStringLiteral("--print-reply"),
                   QStringLiteral("--dest=org.freedesktop.portal.Desktop"),
                   QStringLiteral("/org/freedesktop/portal/desktop"),
                   QStringLiteral("org.freedesktop.DBus.Peer.Ping")}))
        m_error = QStringLiteral("the desktop portal did not start on KWin's session bus");
}

KWinSession::~KWinSession()
{
    for (auto process = m_processes.rbegin(); process != m_processes.rend(); ++process)
        StopChildProcess(**process);
}

void KWinSession::prepare(QProcess& process, const QProcessEnvironment& extra)
{
    QProcessEnvironment environment = m_environment;
    environment.insert(extra);
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (m_uid != 0) {
        const unsigned uid = m_uid, gid = m_gid;
        process.setChildProcessModifier([uid, gid] {
            if (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0)
                _exit(127);
        });
    }
}

QProcess* KWinSession::start(const QString& program, const QStringList& arguments,
                             const QProcessEnvironment& extra)
{
    auto process = std::make_unique<QProcess>();
    prepare(*process, extra);
    process->start(program, arguments);
    process->waitForStarted(10000);
    m_processes.push_back(std::move(process));
    return m_processes.back().get();
}

bool KWinSession::run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    prepare(process, {});
    process.start(program, arguments);
    return process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}
