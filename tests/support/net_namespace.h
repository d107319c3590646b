#pragma once
// A network namespace of its own, with just a loopback, for the calling thread and the
// programs it starts: faults that plain loopback cannot make (lost SYNs, a peer that
// vanishes silently). Needs root and the ip and nft tools (tools/install-deps.sh).

#include <QProcess>
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

class NetNamespace
{
public:
    NetNamespace()
    {
        m_ready = ::geteuid() == 0 && ::unshare(CLONE_NEWNET) == 0 &&
                  run("ip", {"link", "set", "lo", "up"});
    }
    ~NetNamespace()
    {
        ::setns(m_old, CLONE_NEWNET);
        ::close(m_old);
    }
    bool isReady() const { return m_ready; }
    // Loads nftables rules ("nft -f" syntax).
    bool nft(const QString& rules) { return run("nft", {"-f", "-"}, rules); }

private:
    static bool run(const QString& program, const QStringList& arguments, const QString& input = {})
    {
        QProcess process;
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(program, arguments);
        process.write(input.toLatin1());
        process.closeWriteChannel();
        return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit &&
               process.exitCode() == 0;
    }

    int m_old = ::open("/proc/self/ns/net", O_RDONLY);
    bool m_ready = false;
};
