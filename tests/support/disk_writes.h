#pragma once
// For benchmarks: how many bytes this process has had written to the disk so far, from
// /proc/self/io (page cache writes included, as they reach the disk later); -1 where the
// system does not tell.

#include <QByteArray>
#include <QFile>

inline double DiskWriteBytes()
{
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : io.readAll().split('\n')) {
        if (line.startsWith("write_bytes:"))
            return line.mid(12).trimmed().toDouble();
    }
    return -1;
}
