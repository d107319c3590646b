#include "support/xvfb_server.h"
#include "support/child_process.h"

#include <QDeadlineTimer>

XvfbServer::XvfbServer()
{
    // -displayfd picks a free display and writes its number once the server is ready;
    // fd 1 is our end of its standard output. -noreset keeps the keymap and grabs as they
    // are when the last client leaves for a moment.
    m_process.start(
        QStringLiteral("Xvfb"),
        QStringLiteral("-displayfd 1 -nolisten tcp -noreset -screen 0 1280x800x24").split(u' '));
    if (!m_process.waitForStarted(10000)) {
        m_error = QStringLiteral("Xvfb did not start: %1").arg(m_process.errorString());
        return;
    }
    QByteArray output;
    const QDeadlineTimer deadline(20000);
    while (!output.contains('\n') && m_process.waitForReadyRead(int(deadline.remainingTime())))
        output += m_process.readAllStandardOutput();
    const QByteArray number = output.trimmed();
    if (!output.contains('\n') || number.isEmpty()) {
        m_error = QStringLiteral("Xvfb gave no display number: %1")
                      .arg(QString::fromLocal8Bit(m_process.readAllStandardError()));
        stop();
        return;
    }
    m_display = ':' + number;
}

void XvfbServer::stop()
{
    StopChildProcess(m_process);
}
