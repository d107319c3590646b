#pragma once
// A pair of connected pseudo terminals, made by socat: whatever is written to one end
// comes out of the other, byte for byte. It stands in for a serial cable with a balance
// on the far end. The two ends are symbolic links in a private directory.

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include "comm/serial_devices.h"
#include "support/child_process.h"

class SocatPair
{
public:
    // Starts socat and waits until both ends exist; isRunning() tells whether it did.
    SocatPair() { start(); }
    ~SocatPair() { stop(); }
    SocatPair(const SocatPair&) = delete;
    SocatPair& operator=(const SocatPair&) = delete;

    bool isRunning() const { return m_process.state() == QProcess::Running; }
    QString pathA() const { return m_dir.filePath(QStringLiteral("A")); }
    QString pathB() const { return m_dir.filePath(QStringLiteral("B")); }
    // Why it did not start, for the test's skip or failure message.
    QString errorText() const { return m_error; }

    // Ends socat at once, as an unplugged adapter would: both devices vanish.
    void kill()
    {
        m_process.kill();
        m_process.waitForFinished(10000);
    }
    // A new pair behind the same two paths, as a re-plugged adapter.
    bool restart()
    {
        stop();
        return start();
    }

    // Points COM<n> at a device through the settings store.
    static void MapComPort(int n, const QString& path)
    {
        Communication_HW::SetComPortDevice(n, path);
    }

private:
    bool start();
    void stop() { StopChildProcess(m_process); }

    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_error;
};
