#pragma once
// Start-up read of the channel table and the options from the settings store.

#include <QString>
#include <optional>

namespace Settings {

// The format and forwarding check marks that LoadSettings sets. Values not reached
// (loading stopped early) keep what the caller passed in.
struct OptionChecks
{
    bool weightOnly = false;
    bool decimalPoint = true;
    bool dateTime = false;
    bool tabs = false;
    bool toCursor = false;
    bool backLeft = false;
};

// Fills the shared data of module_data.h from the store, in the fixed order. A value
// that cannot be converted stops the loading at that key without a box (the message log
// names the key and its value); every later value keeps its initial value. Returns false
// when it stopped early.
bool LoadSettings(OptionChecks& checks);

// Conversions of stored texts, as lenient as the classic desktop conversions: blanks
// around the text are ignored, a fraction is rounded half to even, "True"/"False" are
// matched without regard to case. Empty when the text cannot be converted.
std::optional<quint8> ToByte(const QString& text);
std::optional<qint32> ToLong(const QString& text);
std::optional<qint16> ToInteger(const QString& text);
std::optional<bool> ToBoolean(const QString& text);
// "True" / "False", as Booleans are stored.
QString BooleanText(bool value);

} // namespace Settings
