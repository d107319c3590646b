#include "channel_window/log_file.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStorageInfo>
#include <algorithm>
#include <cerrno>

#include "platform/durable_file.h"

namespace LogFile {
namespace {

// A short write is retried, so that a full disk ends in an error that says so.
template <typename Device> bool PutAll(Device& file, const QByteArray& bytes)
{
    for (qint64 at = 0; at < bytes.size();) {
        const qint64 written = file.write(bytes.constData() + at, bytes.size() - at);
        if (written <= 0)
            return false;
        at += written;
    }
    return true;
}

template <typename Device>
bool WriteAll(Device& file, const QByteArray& head, const Body& body, const QByteArray& tail)
{
    return PutAll(file, head) &&
           body.writeTo([&file](const QByteArray& piece) { return PutAll(file, piece); }) &&
           PutAll(file, tail);
}

qint64 RoundUp(qint64 bytes, qint64 block)
{
    return (bytes + block - 1) / block * block;
}

QString WriteInPlace(const QString& fileName, const QByteArray& head, const Body& body,
                     const QByteArray& tail)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadWrite))
        return file.errorString();
    const qint64 newSize = head.size() + body.size + tail.size();
    QStorageInfo disk(QFileInfo(fileName).absolutePath());
    const qint64 block = std::max<qint64>(disk.blockSize(), 4096);
    const qint64 growth = RoundUp(newSize, block) - RoundUp(file.size(), block);
    if (!disk.isValid() || growth > disk.bytesAvailable())
        return qt_error_string(ENOSPC);
    if (!WriteAll(file, head, body, tail) || !file.resize(newSize) || !file.flush())
        return file.errorString();
    Platform::SyncFile(file.handle());
    return {};
}

} // namespace

QString Write(const QString& fileName, const QByteArray& head, const Body& body,
              const QByteArray& tail)
{
    const QFileInfo info(fileName);
    if (info.isDir())
        return qt_error_string(EISDIR);
    QString reason;
    {
        // Unbuffered, so that a full disk is noticed at the write that hits it, by name.
        QSaveFile file(fileName);
        if (file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
            if (!WriteAll(file, head, body, tail))
                return file.errorString();
            if (file.commit())
                return {};
        }
        reason = file.errorString();
    }
    // The replacement could not be made or put in place beside the log.
    if (info.exists() && info.isFile())
        return WriteInPlace(fileName, head, body, tail);
    return reason;
}

} // namespace LogFile
