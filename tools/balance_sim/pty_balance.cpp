#include "pty_balance.h"

#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "balance.h"
#include "balance_session.h"

namespace {

// How often a pair with nobody on the slave side looks for a program opening it.
constexpr int ClientProbeMs = 50;

// Bytes a slow reader may leave waiting before further readings are dropped, as a real
// balance's printer buffer would overflow.
constexpr qsizetype MaxPending = 1 << 20;

// How long a hang-up waits for the program to read the last bytes, and how often it looks.
constexpr qint64 MaxDrainMs = 2000;
constexpr int DrainCheckMs = 10;
constexpr int DrainEmptyChecks = 3;

QString systemError(const char* what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(strerror(errno)));
}

} // namespace

PtyBalance::PtyBalance(Balance* balance, const QString& linkPath, QObject* parent)
    : QObject(parent), m_balance(balance), m_linkPath(linkPath)
{
    m_clientProbe.setInterval(ClientProbeMs);
    connect(&m_clientProbe, &QTimer::timeout, this, &PtyBalance::watchForClient);
    m_drainCheck.setInterval(DrainCheckMs);
    connect(&m_drainCheck, &QTimer::timeout, this, &PtyBalance::finishHangUp);
    connect(balance, &Balance::destroyed, this, [this] { m_balance = nullptr; });
}

PtyBalance::~PtyBalance()
{
    removeLink();
    closePair();
}

bool PtyBalance::open()
{
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_master < 0) {
        m_error = systemError("posix_openpt");
        return false;
    }
    fcntl(m_master, F_SETFD, FD_CLOEXEC);
    char name[128] = {};
    if (grantpt(m_master) != 0 || unlockpt(m_master) != 0 ||
        ptsname_r(m_master, name, sizeof name) != 0) {
        m_error = systemError("pty setup");
        closePair();
        return false;
    }
    m_slavePath = QString::fromLocal8Bit(name);

    // Configure the slave once: raw, so no byte is translated or swallowed on the way.
    // Closing it again leaves the master hung up until the program opens the slave, which
    // is how the pair tells whether anybody is listening.
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave < 0) {
        m_error = systemError("open slave");
        closePair();
        return false;
    }
    termios tio{};
    if (tcgetattr(slave, &tio) == 0) {
        cfmakeraw(&tio);
        cfsetspeed(&tio, B9600);
        tcsetattr(slave, TCSANOW, &tio);
    }
    ::close(slave);

    m_readNotifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    m_readNotifier->setEnabled(false);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &PtyBalance::readFromClient);
    m_writeNotifier = new QSocketNotifier(m_master, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &PtyBalance::writePending);

    if (!makeLink()) {
        closePair();
        return false;
    }
    m_clientProbe.start();
    return true;
}

void PtyBalance::closePair()
{
    m_clientProbe.stop();
    delete m_session;
    delete m_readNotifier;
    m_readNotifier = nullptr;
    delete m_writeNotifier;
    m_writeNotifier = nullptr;
    m_pending.clear();
    if (m_drainFd >= 0)
        ::close(m_drainFd);
    m_drainFd = -1;
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}

bool PtyBalance::makeLink()
{
    if (m_linkPath.isEmpty())
        return true;
    const QByteArray link = QFile::encodeName(m_linkPath);
    // Replace a link left by an earlier run, but never a real file.
    struct stat st
    {
    };
    if (lstat(link.constData(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        m_error = QStringLiteral("%1 exists and is not a symbolic link").arg(m_linkPath);
        return false;
    }
    // Built beside the target name and renamed over it, so the link never goes missing
    // while a program looks it up.
    const QByteArray temp = link + ".new." + QByteArray::number(getpid());
    ::unlink(temp.constData());
    if (symlink(QFile::encodeName(m_slavePath).constData(), temp.constData()) != 0 ||
        rename(temp.constData(), link.constData()) != 0) {
        m_error = systemError("symlink");
        ::unlink(temp.constData());
        return false;
    }
    return true;
}

void PtyBalance::removeLink()
{
    if (m_linkPath.isEmpty() || m_slavePath.isEmpty())
        return;
    // Only our own link: another run may have taken the name over since.
    if (QFile::symLinkTarget(m_linkPath) == m_slavePath)
        QFile::remove(m_linkPath);
}

bool PtyBalance::clientAttached() const
{
    pollfd fd{m_master, POLLIN, 0};
    if (poll(&fd, 1, 0) < 0)
        return false;
    return !(fd.revents & POLLHUP);
}

void PtyBalance::watchForClient()
{
    if (m_master < 0 || m_drainCheck.isActive() || !clientAttached())
        return;
    m_clientProbe.stop();
    // A fresh conversation per opening, as a TCP client gets one per connection.
    delete m_session;
    if (!m_balance)
        return;
    m_session = new BalanceSession(m_balance, this);
    connect(m_session, &BalanceSession::send, this, &PtyBalance::write);
    connect(m_session, &BalanceSession::hangUp, this, &PtyBalance::hangUp, Qt::QueuedConnection);
    m_readNotifier->setEnabled(true);
}

void PtyBalance::readFromClient()
{
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n > 0) {
            if (m_session)
                m_session->receive(QByteArray(buffer, n));
            if (m_master < 0)
                return;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return;
        break;
    }
    // EIO: the program closed the port. Wait quietly for the next opening.
    m_readNotifier->setEnabled(false);
    m_writeNotifier->setEnabled(false);
    m_pending.clear();
    delete m_session;
    m_clientProbe.start();
}

void PtyBalance::write(const QByteArray& bytes)
{
    if (m_master < 0 || m_pending.size() + bytes.size() > MaxPending)
        return;
    m_pending += bytes;
    writePending();
}

void PtyBalance::writePending()
{
    while (!m_pending.isEmpty()) {
        const ssize_t n = ::write(m_master, m_pending.constData(), size_t(m_pending.size()));
        if (n > 0) {
            m_pending.remove(0, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            m_writeNotifier->setEnabled(true);
            return;
        }
        // The line is gone; what was not written is lost with it.
        m_pending.clear();
    }
    m_writeNotifier->setEnabled(false);
}

void PtyBalance::hangUp()
{
    // Closing the master is the hang-up the program sees on its port. It also throws away
    // what the program has not read yet, so the last readings drain first, as a balance
    // finishes printing before it goes.
    m_hangUpDeadline.start();
    m_drainFd = ::open(QFile::encodeName(m_slavePath).constData(),
                       O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    m_emptyChecks = 0;
    m_drainCheck.start();
}

void PtyBalance::finishHangUp()
{
    // Bytes written to the master reach the slave's queue a moment later, so one empty
    // look is not enough: the queue must stay empty for a few looks in a row.
    int waiting = 0;
    const bool empty = m_pending.isEmpty() &&
                       (m_drainFd < 0 || ioctl(m_drainFd, TIOCINQ, &waiting) != 0 || waiting == 0);
    m_emptyChecks = empty ? m_emptyChecks + 1 : 0;
    if (m_emptyChecks < DrainEmptyChecks && !m_hangUpDeadline.hasExpired(MaxDrainMs))
        return;
    m_drainCheck.stop();
    // The link is renamed over by the new pair, so it never points nowhere in between.
    closePair();
    if (open())
        emit reopened(m_slavePath);
}
