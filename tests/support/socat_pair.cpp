#include "support/socat_pair.h"

#include <QDeadlineTimer>
#include <QFile>

bool SocatPair::start()
{
    m_error.clear();
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary directory: %1").arg(m_dir.errorString());
        return false;
    }
    // A killed socat leaves its links behind, and socat will not replace them.
    QFile::remove(pathA());
    QFile::remove(pathB());

    const auto end = [](const QString& link) {
        return QStringLiteral("pty,raw,echo=0,link=%1").arg(link);
    };
    m_process.setProgram(QStringLiteral("socat"));
    m_process.setArguments(
        {QStringLiteral("-d"), QStringLiteral("-d"), end(pathA()), end(pathB())});
    m_process.setReadChannel(QProcess::StandardError);
    m_process.start();
    if (!m_process.waitForStarted(10000)) {
        m_error = QStringLiteral("socat did not start: %1").arg(m_process.errorString());
        return false;
    }
    // With -d -d socat reports on stderr once both ends are made and it is copying.
    QByteArray log;
    const QDeadlineTimer deadline(10000);
    while (!log.contains("starting data transfer loop") && !deadline.hasExpired()) {
        if (!m_process.waitForReadyRead(int(deadline.remainingTime())))
            break;
        log += m_process.readAllStandardError();
    }
    if (!QFile::exists(pathA()) || !QFile::exists(pathB())) {
        m_error = QStringLiteral("socat made no pty pair: %1").arg(QString::fromLocal8Bit(log));
        stop();
        return false;
    }
    return true;
}
