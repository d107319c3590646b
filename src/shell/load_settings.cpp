#include "shell/load_settings.h"

#include <algorithm>
#include <limits>

#include "comm/settings_string.h"
#include "platform/message_log.h"
#include "platform/settings_store.h"
#include "shell/module_data.h"

namespace Settings {
namespace {

// A decimal number as written: optional sign, digits, optional fraction after ".".
struct Decimal
{
    bool negative = false;
    QString whole;
    QString fraction;

    bool isZero() const
    {
        const auto zero = [](QChar c) { return c == u'0'; };
        return std::all_of(whole.begin(), whole.end(), zero) &&
               std::all_of(fraction.begin(), fraction.end(), zero);
    }
};

std::optional<Decimal> parseDecimal(const QString& text)
{
    const QString t = text.trimmed();
    const auto isDigit = [&t](qsizetype i) { return i < t.size() && t[i] >= u'0' && t[i] <= u'9'; };
    Decimal d;
    qsizetype i = 0;
    if (i < t.size() && (t[i] == u'+' || t[i] == u'-'))
        d.negative = t[i++] == u'-';
    while (isDigit(i))
        d.whole += t[i++];
    if (i < t.size() && t[i] == u'.') {
        for (++i; isDigit(i); ++i)
            d.fraction += t[i];
    }
    if (i != t.size() || (d.whole.isEmpty() && d.fraction.isEmpty()))
        return std::nullopt;
    return d;
}

// Index of the first digit other than "0" from `from` on; the length when there is none.
qsizetype firstNonZero(const QString& digits, qsizetype from)
{
    while (from < digits.size() && digits[from] == u'0')
        ++from;
    return from;
}

// The number rounded half to even; empty when it is not a number or far out of any
// range we convert to.
std::optional<qint64> roundedNumber(const QString& text)
{
    const std::optional<Decimal> d = parseDecimal(text);
    if (!d)
        return std::nullopt;
    const qsizetype leadingZeros = firstNonZero(d->whole, 0);
    if (d->whole.size() - leadingZeros > 12)
        return std::nullopt;
    qint64 value = 0;
    for (const QChar c : d->whole)
        value = value * 10 + (c.unicode() - u'0');
    if (!d->fraction.isEmpty()) {
        const QChar first = d->fraction[0];
        const bool aboveHalf = firstNonZero(d->fraction, 1) < d->fraction.size();
        if (first > u'5' || (first == u'5' && (aboveHalf || value % 2 == 1)))
            ++value;
    }
    return d->negative ? -value : value;
}

template <typename T> std::optional<T> inRange(const QString& text)
{
    const std::optional<qint64> value = roundedNumber(text);
    if (!value || *value < std::numeric_limits<T>::min() || *value > std::numeric_limits<T>::max())
        return std::nullopt;
    return T(*value);
}

QString channelKey(int ch, const char* suffix)
{
    return QLatin1String("Ch-") + QString::number(ch) + QLatin1String(suffix);
}

// Reads one stored value into target; false (target untouched) when it does not convert.
// The loading then stops without a box, so the log says which key and value did it: that
// is what a user needs to find why the channels did not start.
template <typename T, typename Convert>
bool readInto(T& target, const char* section, const QString& key, const QString& defaultValue,
              Convert convert, const char* expected)
{
    const QString stored = SettingsStore::GetSetting(QLatin1String(section), key, defaultValue);
    const std::optional<T> value = convert(stored);
    if (!value) {
        qCWarning(Platform::SubsystemCategory(__FILE__)).noquote()
            << QStringLiteral("Settings: [%1] %2=\"%3\" is not %4; loading stopped at this "
                              "key, and the settings after it keep their initial values")
                   .arg(QLatin1String(section), key, stored, QLatin1String(expected));
        return false;
    }
    target = *value;
    return true;
}

bool readByte(quint8& target, const char* section, const QString& key, int defaultValue)
{
    return readInto(target, section, key, QString::number(defaultValue), ToByte,
                    "a number from 0 to 255");
}

bool readCheck(bool& target, const char* section, const char* key, bool defaultValue)
{
    return readInto(target, section, QLatin1String(key), BooleanText(defaultValue), ToBoolean,
                    "True, False or a number");
}

QString readText(const char* section, const QString& key, const char* defaultValue)
{
    return SettingsStore::GetSetting(QLatin1String(section), key, QLatin1String(defaultValue));
}

} // namespace

std::optional<quint8> ToByte(const QString& text)
{
    return inRange<quint8>(text);
}

std::optional<qint32> ToLong(const QString& text)
{
    return inRange<qint32>(text);
}

std::optional<qint16> ToInteger(const QString& text)
{
    return inRange<qint16>(text);
}

std::optional<bool> ToBoolean(const QString& text)
{
    const QString t = text.trimmed();
    if (t.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (t.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return false;
    // Any number counts, and only zero is false.
    const std::optional<Decimal> number = parseDecimal(t);
    if (!number)
        return std::nullopt;
    return !number->isZero();
}

QString BooleanText(bool value)
{
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

bool LoadSettings(OptionChecks& checks)
{
    using namespace Channel_Window;
    using namespace Communication_HW;
    using Globals::MaxChannels;

    Handshakes = {QStringLiteral("None"), QStringLiteral("Xon/Xoff"), QStringLiteral("RTS/CTS"),
                  QStringLiteral("Xon/RTS")};

    if (!readByte(ChannelsCount, "Channels", QStringLiteral("CannelsCount"), 16))
        return false;
    ChannelsCount = std::clamp<quint8>(ChannelsCount, 1, MaxChannels);

    DefaultIPSettings.clear();
    DefaultCOMSettings.clear();

    // All 50 channels, also those above the count: lowering the count must not lose them,
    // and the connection defaults come from the lowest channel of each kind anywhere.
    for (int n = 1; n <= MaxChannels; ++n) {
        const auto i = std::size_t(n);
        if (!readByte(ChannelState[i], "Channels", channelKey(n, "_State"), 0))
            return false;
        if (ChannelState[i] > 1)
            ChannelState[i] = 0;

        ChannelSettings[i] = readText("Channels", channelKey(n, "_Settings"), "");
        const QString& settings = ChannelSettings[i];
        if (settings.isEmpty()) {
            ChannelState[i] = 0;
        } else {
            if (IsIPSettings(settings) && DefaultIPSettings.isEmpty())
                DefaultIPSettings = settings;
            if (IsCOMSettings(settings) && DefaultCOMSettings.isEmpty())
                DefaultCOMSettings = settings;
        }

        ChannelId[i] = readText("Channels", channelKey(n, "_Id"), "");
        ChannelCommand[i] = readText("DataRequest", channelKey(n, "_Command"), "PRT");
        ChannelFilename[i] = readText("Channels", channelKey(n, "_Filename"), "");
    }

    if (DefaultIPSettings.isEmpty())
        DefaultIPSettings = QStringLiteral("IP 0.0.0.0:2101");
    if (DefaultCOMSettings.isEmpty())
        DefaultCOMSettings = QStringLiteral("COM  1, 9600,e,7,1,None");

    if (!readByte(Globals::RepeatCommand, "DataRequest", QStringLiteral("RepeatCommand"), 0) ||
        !readInto(Globals::RepeatInterval, "DataRequest", QStringLiteral("RepeatInterval"),
                  QStringLiteral("2000"), ToLong, "a whole number of milliseconds"))
        return false;

    if (!readByte(Globals::SendCmdChannel, "SendCommand", QStringLiteral("Channel"), 0))
        return false;
    Globals::SendCmdCommand = readText("SendCommand", QStringLiteral("Command"), "PRT");
    if (!readByte(Globals::SendCmdAutoClear, "SendCommand", QStringLiteral("AutoClear"), 1))
        return false;

    // The F12 hook is never armed at start-up, so its stored check mark is not read.
    return readCheck(checks.weightOnly, "Format", "WeightOnly", false) &&
           readCheck(checks.decimalPoint, "Format", "DecimalPoint", true) &&
           readCheck(checks.dateTime, "Format", "DateTime", false) &&
           readCheck(checks.tabs, "Format", "TABs", false) &&
           readCheck(checks.toCursor, "Forward", "ToCursor", false) &&
           readCheck(checks.backLeft, "Forward", "Back-Left", false);
}

} // namespace Settings
