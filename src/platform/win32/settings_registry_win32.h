#pragma once
// The per-user settings store on Windows in plain Win32: one registry key per section
// under HKEY_CURRENT_USER\Software\VB and VBA Program Settings\<application>, one string
// value (REG_SZ) per key. The registry compares key and value names without regard to
// case, and "/" is an ordinary character in a value name, so names go in exactly as given.

#include <optional>
#include <string>
#include <string_view>

namespace Win32 {

// "Software\VB and VBA Program Settings\<application>", below HKEY_CURRENT_USER.
std::wstring SettingsPath(std::wstring_view application);

// The stored text, or nothing when the section, the key or a text value is not there.
std::optional<std::wstring> GetSetting(std::wstring_view application, std::wstring_view section,
                                       std::wstring_view key);
// Creates the section as needed; false when Windows refused the write.
bool SaveSetting(std::wstring_view application, std::wstring_view section, std::wstring_view key,
                 std::wstring_view value);

} // namespace Win32
