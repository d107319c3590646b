#pragma once
// Making written bytes survive a crash or a power cut, and where such files belong. The
// journal and the log writer call these; each platform answers in its own file.

#include <QString>

namespace Platform {

// Forces a file's written bytes to the disk (handle as QFile::handle() gives it).
void SyncFile(int handle);
// Forces a folder's entries to the disk, so that a new file's name survives with its bytes.
void SyncFolder(const QString& folder);
// The per-user folder for state that must outlive the program, such as the journals.
QString UserStateFolder();

} // namespace Platform
