#include "support/sway_session.h"
#include "support/child_process.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTest>

#include <pwd.h>
#include <unistd.h>

namespace {

constexpr int StartTimeoutMs = 20000;
const QString ClientAppId = QStringLiteral("quorvane-test-client");

// Whether a window of the tree with this app_id has the focus.
bool focusedIn(const QJsonObject& node, const QString& appId)
{
    if (node.value(u"app_id").toString() == appId && node.value(u"focused").toBool())
        return true;
    for (const char* children : {"nodes", "floating_nodes"}) {
        for (const QJsonValue child : node.value(QLatin1String(children)).toArray()) {
            if (focusedIn(child.toObject(), appId))
                return true;
        }
    }
    return false;
}

} // namespace

SwaySession::SwaySession()
{
    if (QStandardPaths::findExecutable(QStringLiteral("sway")).isEmpty()) {
        m_error = QStringLiteral("sway is not installed (tools/install-deps.sh installs it)");
        return;
    }
    if (!m_runtimeDir.isValid()) {
        m_error = QStringLiteral("no runtime folder: %1").arg(m_runtimeDir.errorString());
        return;
    }
    if (geteuid() == 0) {
        const passwd* nobody = getpwnam("nobody");
        if (!nobody ||
            chown(QFile::encodeName(m_runtimeDir.path()), nobody->pw_uid, nobody->pw_gid) != 0) {
            m_error = QStringLiteral("the runtime folder cannot be given to nobody");
            return;
        }
    }
    QDir(m_runtimeDir.path()).mkdir(QStringLiteral("bin"));
    QFile config(m_runtimeDir.filePath(QStringLiteral("config")));
    if (!config.open(QIODevice::WriteOnly) ||
        config.write("xwayland disable\noutput HEADLESS-1 resolution 800x600\n") < 0) {
        m_error = QStringLiteral("the sway configuration cannot be written");
        return;
    }
    config.close();
    config.setPermissions(config.permissions() | QFile::ReadOther);

    m_sway.setProcessChannelMode(QProcess::MergedChannels);
    startAsUser(m_sway, QStringLiteral("sway"), {QStringLiteral("-c"), config.fileName()});
    if (!m_sway.waitForStarted(StartTimeoutMs)) {
        m_error = QStringLiteral("sway did not start: %1").arg(m_sway.errorString());
        return;
    }
    const QDir dir(m_runtimeDir.path());
    const auto socketNamed = [&](const QString& pattern) {
        const QStringList found = dir.entryList({pattern}, QDir::System);
        return found.isEmpty() ? QString() : dir.filePath(found.first());
    };
    const bool answered = QTest::qWaitFor(
        [&] {
            return m_sway.state() != QProcess::Running ||
                   (!socketNamed(QStringLiteral("sway-ipc.*.sock")).isEmpty() &&
                    !socketNamed(QStringLiteral("wayland-?")).isEmpty() &&
                    swaymsg({QStringLiteral("-t"), QStringLiteral("get_version")}));
        },
        StartTimeoutMs);
    if (!answered || m_sway.state() != QProcess::Running) {
        m_error = QStringLiteral("sway did not come up: %1")
                      .arg(QString::fromLocal8Bit(m_sway.readAll()));
        stop();
        return;
    }
    m_waylandDisplay = QFile::encodeName(socketNamed(QStringLiteral("wayland-?")));
}

SwaySession::~SwaySession()
{
    stop();
}

QProcessEnvironment SwaySession::environment() const
{
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("PATH"), m_runtimeDir.filePath(QStringLiteral("bin:")) +
                                                   qEnvironmentVariable("PATH"));
    environment.insert(QStringLiteral("HOME"), m_runtimeDir.path());
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtimeDir.path());
    environment.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
    environment.insert(QStringLiteral("WLR_BACKENDS"), QStringLiteral("headless"));
    environment.insert(QStringLiteral("WLR_RENDERER"), QStringLiteral("pixman"));
    environment.insert(QStringLiteral("WLR_LIBINPUT_NO_DEVICES"), QStringLiteral("1"));
    if (!m_waylandDisplay.isEmpty())
        environment.insert(QStringLiteral("WAYLAND_DISPLAY"), QFile::decodeName(m_waylandDisplay));
    const QStringList ipc =
        QDir(m_runtimeDir.path()).entryList({QStringLiteral("sway-ipc.*.sock")}, QDir::System);
    if (!ipc.isEmpty())
        environment.insert(QStringLiteral("SWAYSOCK"), m_runtimeDir.filePath(ipc.first()));
    return environment;
}

void SwaySession::startAsUser(QProcess& process, const QString& program,
                              const QStringList& arguments)
{
    process.setProcessEnvironment(environment());
    process.setWorkingDirectory(m_runtimeDir.path());
    if (geteuid() == 0) {
        process.start(QStringLiteral("setpriv"),
                      QStringList{QStringLiteral("--reuid=nobody"),
                                  QStringLiteral("--regid=nogroup"),
                                  QStringLiteral("--clear-groups"), program} +
                          arguments);
    } else {
        process.start(program, arguments);
    }
}

bool SwaySession::swaymsg(const QStringList& arguments)
{
    QProcess process;
    process.setProcessEnvironment(environment());
    process.start(QStringLiteral("swaymsg"), arguments);
    return process.waitForFinished(StartTimeoutMs) &&
           process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool SwaySession::addConfigLine(const QString& line)
{
    QFile config(m_runtimeDir.filePath(QStringLiteral("config")));
    return config.open(QIODevice::Append) && config.write(line.toUtf8() + '\n') > 0 &&
           config.flush() && swaymsg({QStringLiteral("reload")});
}

bool SwaySession::clientFocused()
{
    QProcess process;
    process.setProcessEnvironment(environment());
    process.start(QStringLiteral("swaymsg"),
                  {QStringLiteral("-r"), QStringLiteral("-t"), QStringLiteral("get_tree")});
    if (!process.waitForFinished(StartTimeoutMs))
        return false;
    return focusedIn(QJsonDocument::fromJson(process.readAllStandardOutput()).object(),
                     ClientAppId);
}

bool SwaySession::startClient()
{
    stopClient();
    // A file of its own per client: what an earlier one got stays out of it.
    const QString file = m_runtimeDir.filePath(QStringLiteral("typed-%1").arg(++m_clients));
    m_client.setProcessChannelMode(QProcess::MergedChannels);
    startAsUser(m_client, QStringLiteral("foot"),
                {QStringLiteral("--app-id=") + ClientAppId, QStringLiteral("sh"),
                 QStringLiteral("-c"), QStringLiteral("stty raw -echo && exec cat > ") + file});
    // The file appears once the terminal is raw and copying.
    return m_client.waitForStarted(StartTimeoutMs) &&
           QTest::qWaitFor([&] { return QFile::exists(file) && clientFocused(); }, StartTimeoutMs);
}

void SwaySession::stopClient()
{
    StopChildProcess(m_client);
    if (!QTest::qWaitFor([&] { return !clientFocused(); }, StartTimeoutMs))
        qWarning("sway still shows the closed client with the focus");
}

QByteArray SwaySession::typed() const
{
    QFile file(m_runtimeDir.filePath(QStringLiteral("typed-%1").arg(m_clients)));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void SwaySession::stop()
{
    StopChildProcess(m_client);
    StopChildProcess(m_sway);
}
