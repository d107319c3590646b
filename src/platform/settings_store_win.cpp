#include "platform/settings_store.h"

#include "platform/win32/settings_registry_win32.h"
#include "shell/module_data.h"

// The registry work is plain Win32 (win32/settings_registry_win32), so that it can be
// built and run without Qt for Windows; here only the texts change form. Writes are
// immediate.

namespace SettingsStore {

QString StoreLocation()
{
    return QStringLiteral("HKEY_CURRENT_USER\\") +
           QString::fromStdWString(Win32::SettingsPath(Globals::AppTitle.toStdWString()));
}

QString GetSetting(const QString& section, const QString& key, const QString& defaultValue)
{
    const std::optional<std::wstring> value = Win32::GetSetting(
        Globals::AppTitle.toStdWString(), section.toStdWString(), key.toStdWString());
    return value ? QString::fromStdWString(*value) : defaultValue;
}

void SaveSetting(const QString& section, const QString& key, const QString& value)
{
    Win32::SaveSetting(Globals::AppTitle.toStdWString(), section.toStdWString(), key.toStdWString(),
                       value.toStdWString());
}

} // namespace SettingsStore
