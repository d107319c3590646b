#pragma once
// Writing a channel's .log file so that a failure never costs the previous file: the new
// log is written beside it and takes its place only once it is complete on the disk.

#include <QByteArray>
#include <QString>

namespace LogFile {

// Writes head, the text (one byte per character) and tail as the file's whole content.
// Returns an empty text when done, otherwise why not ("No space left on device", ...);
// the previous file is then unchanged byte for byte.
//
// A folder that takes no new files (no permission, no free inode) while the log itself is
// writable gets the log rewritten in place, and only when the disk has room for it all.
QString Write(const QString& fileName, const QByteArray& head, const QString& text,
              const QByteArray& tail);

} // namespace LogFile
