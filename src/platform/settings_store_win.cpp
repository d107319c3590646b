#include "platform/settings_store.h"

#include <windows.h>

#include <vector>

#include "shell/module_data.h"

// One registry key per section under the user's branch, one string value per key. The
// registry compares key and value names without regard to case, and "/" is an ordinary
// character in a value name, so names go in exactly as given. Writes are immediate.

namespace SettingsStore {
namespace {

const QString BranchPath = QStringLiteral("Software\\VB and VBA Program Settings\\");

std::wstring sectionPath(const QString& section)
{
    return (BranchPath + Globals::AppTitle + u'\\' + section).toStdWString();
}

} // namespace

QString StoreLocation()
{
    return QStringLiteral("HKEY_CURRENT_USER\\") + BranchPath + Globals::AppTitle;
}

QString GetSetting(const QString& section, const QString& key, const QString& defaultValue)
{
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, sectionPath(section).c_str(), 0, KEY_QUERY_VALUE,
                      &handle) != ERROR_SUCCESS)
        return defaultValue;

    const std::wstring name = key.toStdWString();
    QString result = defaultValue;
    DWORD type = 0;
    DWORD size = 0;
    LSTATUS status = RegQueryValueExW(handle, name.c_str(), nullptr, &type, nullptr, &size);
    // The value may grow between the two calls; ask again with the size it reports.
    std::vector<wchar_t> buffer;
    while (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
        buffer.assign(size / sizeof(wchar_t) + 1, L'\0');
        DWORD bytes = DWORD(buffer.size() * sizeof(wchar_t));
        status = RegQueryValueExW(handle, name.c_str(), nullptr, &type,
                                  reinterpret_cast<BYTE*>(buffer.data()), &bytes);
        if (status == ERROR_SUCCESS) {
            if (type == REG_SZ || type == REG_EXPAND_SZ) {
                qsizetype length = qsizetype(bytes / sizeof(wchar_t));
                while (length > 0 && buffer[std::size_t(length - 1)] == L'\0')
                    --length;
                result = QString::fromWCharArray(buffer.data(), length);
            }
            break;
        }
        size = bytes;
    }
    RegCloseKey(handle);
    return result;
}

void SaveSetting(const QString& section, const QString& key, const QString& value)
{
    HKEY handle = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, sectionPath(section).c_str(), 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &handle,
                        nullptr) != ERROR_SUCCESS)
        return;
    const std::wstring name = key.toStdWString();
    const std::wstring data = value.toStdWString();
    RegSetValueExW(handle, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                   DWORD((data.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(handle);
}

} // namespace SettingsStore
