#pragma once
// The per-user settings store: text values by section and key under the application's
// title. Section and key names compare without regard to case. Every write reaches the
// store at once.
//   Linux:   ${XDG_CONFIG_HOME:-$HOME/.config}/<title>.ini, sections as INI groups
//   Windows: HKEY_CURRENT_USER\Software\VB and VBA Program Settings\<title>\<section>

#include <QString>

namespace SettingsStore {

// The stored text, or defaultValue when the key or its section does not exist.
QString GetSetting(const QString& section, const QString& key, const QString& defaultValue = {});
void SaveSetting(const QString& section, const QString& key, const QString& value);

// Where the store lives (a file path, or a registry path on Windows), for messages and tests.
QString StoreLocation();

} // namespace SettingsStore
