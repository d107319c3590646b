#pragma once
// Writing a channel's .log file so that a failure never costs the previous file: the new
// log is written beside it and takes its place only once it is complete on the disk.

#include <QByteArray>
#include <QString>
#include <functional>

namespace LogFile {

// Writes one piece to the file; false when it could not.
using Put = std::function<bool(const QByteArray&)>;

// The text between head and tail: its length in bytes, and how to hand it to Put piece by
// piece (a window's text is far too long to be copied whole first).
struct Body
{
    qint64 size = 0;
    std::function<bool(const Put&)> writeTo;
};

// Writes head, the body and tail as the file's whole content.
// Returns an empty text when done, otherwise why not ("No space left on device", ...);
// the previous file is then unchanged byte for byte.
//
// A folder that takes no new files (no permission, no free inode) while the log itself is
// writable gets the log rewritten in place, and only when the disk has room for it all.
QString Write(const QString& fileName, const QByteArray& head, const Body& body,
              const QByteArray& tail);

} // namespace LogFile
