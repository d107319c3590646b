#include "platform/program_lock.h"

#include <QDir>
#include <QSysInfo>
#include <windows.h>

namespace Platform {
namespace {

HANDLE g_handle = INVALID_HANDLE_VALUE;
QString g_path;

} // namespace

std::optional<LockRefusal> TakeProgramLock(const QString& path)
{
    if (g_handle != INVALID_HANDLE_VALUE && g_path == path)
        return std::nullopt;
    ReleaseProgramLock();
    // No sharing at all: the handle is the lock, and Windows closes it with the process.
    const HANDLE handle = ::CreateFileW(
        reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(path).utf16()),
        GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION)
            return LockRefusal{true, QStringLiteral("another copy of the program holds it")};
        return LockRefusal{false, QStringLiteral("system error %1").arg(error)};
    }
    const QByteArray owner = QStringLiteral("process %1 on %2\r\n")
                                 .arg(::GetCurrentProcessId())
                                 .arg(QSysInfo::machineHostName())
                                 .toUtf8();
    DWORD written = 0;
    ::SetFilePointer(handle, 0, nullptr, FILE_BEGIN);
    ::SetEndOfFile(handle);
    ::WriteFile(handle, owner.constData(), DWORD(owner.size()), &written, nullptr);
    g_handle = handle;
    g_path = path;
    return std::nullopt;
}

void ReleaseProgramLock()
{
    if (g_handle != INVALID_HANDLE_VALUE)
        ::CloseHandle(g_handle);
    g_handle = INVALID_HANDLE_VALUE;
    g_path.clear();
}

} // namespace Platform
