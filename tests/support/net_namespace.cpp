#include "support/net_namespace.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

NetNamespace::NetNamespace() : m_name(QStringLiteral("quorvane-test-%1").arg(::getpid()))
{
    if (::geteuid() != 0) {
        m_error = QStringLiteral("needs root for a network namespace");
        return;
    }
    for (const char* tool : {"ip", "nft"}) {
        if (QStandardPaths::findExecutable(tool).isEmpty()) {
            m_error = QStringLiteral("%1 is missing (tools/install-deps.sh)").arg(tool);
            return;
        }
    }
    if (!run({"ip", "netns", "add", m_name}) ||
        !run({"ip", "-n", m_name, "link", "set", "lo", "up"}))
        return;
    m_oldNamespace = ::open("/proc/self/ns/net", O_RDONLY);
    const int fd = ::open(QByteArray("/run/netns/" + m_name.toLatin1()).constData(), O_RDONLY);
    m_ready = fd >= 0 && ::setns(fd, CLONE_NEWNET) == 0;
    if (!m_ready)
        m_error = QStringLiteral("cannot enter the namespace");
    if (fd >= 0)
        ::close(fd);
}

NetNamespace::~NetNamespace()
{
    if (m_oldNamespace >= 0) {
        ::setns(m_oldNamespace, CLONE_NEWNET);
        ::close(m_oldNamespace);
    }
    run({"ip", "netns", "delete", m_name});
}

bool NetNamespace::nft(const QString& rules)
{
    return run({"ip", "netns", "exec", m_name, "nft", "-f", "-"}, rules.toLatin1());
}

bool NetNamespace::run(const QStringList& command, const QByteArray& input)
{
    QProcess process;
    process.start(command.first(), command.mid(1));
    process.write(input);
    process.closeWriteChannel();
    if (process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit &&
        process.exitCode() == 0)
        return true;
    m_error = command.join(' ') + QStringLiteral(": ") + process.readAllStandardError();
    return false;
}
