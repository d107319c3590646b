#include "platform/win32/settings_registry_win32.h"

#include <vector>

#include <windows.h>

namespace Win32 {
namespace {

std::wstring sectionPath(std::wstring_view application, std::wstring_view section)
{
    return SettingsPath(application) + L'\\' + std::wstring(section);
}

} // namespace

std::wstring SettingsPath(std::wstring_view application)
{
    return L"Software\\VB and VBA Program Settings\\" + std::wstring(application);
}

std::optional<std::wstring> GetSetting(std::wstring_view application, std::wstring_view section,
                                       std::wstring_view key)
{
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, sectionPath(application, section).c_str(), 0,
                      KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS)
        return std::nullopt;

    const std::wstring name(key);
    std::optional<std::wstring> result;
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
                // The stored terminator, when there is one, is not part of the text.
                std::size_t length = bytes / sizeof(wchar_t);
                while (length > 0 && buffer[length - 1] == L'\0')
                    --length;
                result.emplace(buffer.data(), length);
            }
            break;
        }
        size = bytes;
    }
    RegCloseKey(handle);
    return result;
}

bool SaveSetting(std::wstring_view application, std::wstring_view section, std::wstring_view key,
                 std::wstring_view value)
{
    HKEY handle = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, sectionPath(application, section).c_str(), 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &handle,
                        nullptr) != ERROR_SUCCESS)
        return false;
    const std::wstring name(key);
    const std::wstring data(value);
    const LSTATUS status =
        RegSetValueExW(handle, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                       DWORD((data.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(handle);
    return status == ERROR_SUCCESS;
}

} // namespace Win32
