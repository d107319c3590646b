#pragma once
// Ends a helper process the tests started (socat, Xvfb): politely first, then for sure.

#include <QProcess>

inline void StopChildProcess(QProcess& process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished(10000);
    }
}
