#include "comm/settings_string.h"

#include <QHostAddress>

#include "comm/serial_port_element.h"
#include "shell/load_settings.h"
#include "shell/module_data.h"

namespace Communication_HW {
namespace {

// Columns are 1-based; a string shorter than the field gives what is there.
QString mid(const QString& text, qsizetype column, qsizetype length = -1)
{
    if (column > text.size())
        return {};
    return length < 0 ? text.mid(column - 1) : text.mid(column - 1, length);
}

QString padLeft(const QString& text, qsizetype width)
{
    return text.size() >= width ? text : QString(width - text.size(), u' ') + text;
}

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Decimal value of a run of digits without its leading zeros; "" counts as 0.
QString groupValue(const QString& digits)
{
    qsizetype first = 0;
    while (first + 1 < digits.size() && digits[first] == u'0')
        ++first;
    return digits.isEmpty() ? QStringLiteral("0") : digits.mid(first);
}

std::optional<int> handshakeCodeOf(const QString& name)
{
    // An unset table entry must not make an empty name look like "None".
    if (name.isEmpty())
        return std::nullopt;
    for (std::size_t code = 0; code < Handshakes.size(); ++code) {
        if (Handshakes[code] == name)
            return int(code);
    }
    return std::nullopt;
}

std::optional<int> portNumberOf(const QString& settings)
{
    const std::optional<qint16> port = Settings::ToInteger(mid(settings, 5, 2));
    return port ? std::optional<int>(*port) : std::nullopt;
}

// The string in the form the live port or socket rebuilds it, or nothing when the string
// would not configure its element completely.
std::optional<QString> openedForm(const QString& settings)
{
    if (IsIPSettings(settings)) {
        const IPOpenFields fields = ParseIPForOpen(settings);
        if (!fields.port)
            return std::nullopt;
        const QHostAddress address(fields.host);
        return RebuildIPSettings(address.isNull() ? fields.host : address.toString(), *fields.port);
    }
    if (IsCOMSettings(settings)) {
        const COMOpenFields fields = ParseCOMForOpen(settings);
        const std::optional<QString> line = SerialPortElement::NormalisedSettings(fields.block);
        if (!fields.port || !line || !fields.handshakeCode)
            return std::nullopt;
        return RebuildCOMSettings(*fields.port, *line, *fields.handshakeCode);
    }
    return std::nullopt;
}

} // namespace

bool IsCOMSettings(const QString& settings)
{
    return settings.startsWith(QLatin1String("COM "));
}

bool IsIPSettings(const QString& settings)
{
    return settings.startsWith(QLatin1String("IP ")) && settings.contains(u':');
}

COMOpenFields ParseCOMForOpen(const QString& settings)
{
    COMOpenFields fields;
    fields.port = portNumberOf(settings);
    fields.block = mid(settings, 8, 11);
    fields.handshakeCode = handshakeCodeOf(mid(settings, 20, 100));
    return fields;
}

IPOpenFields ParseIPForOpen(const QString& settings)
{
    IPOpenFields fields;
    const qsizetype colon = settings.indexOf(u':') + 1; // 1-based, 0 when there is none
    if (colon == 0) {
        fields.host = mid(settings, 4);
        return fields;
    }
    fields.host = colon > 4 ? mid(settings, 4, colon - 4) : QString();
    fields.port = Settings::ToLong(mid(settings, colon + 1));
    return fields;
}

COMDialogFields ParseCOMForDialog(const QString& settings)
{
    COMDialogFields fields;
    const std::optional<int> port = portNumberOf(settings);
    fields.port = port ? QString::number(*port) : QString();
    fields.baud = mid(settings, 8, 5);
    const QString parity = mid(settings, 14, 1);
    fields.parityIndex = parity == u"n" ? 2 : parity == u"o" ? 1 : 0;
    fields.dataBits = mid(settings, 16, 1);
    fields.stopBits = mid(settings, 18, 1);
    fields.handshake = mid(settings, 20, 100);
    return fields;
}

QString ComposeCOMSettings(int port, const QString& baudText, int parityIndex,
                           const QString& dataBits, const QString& stopBits,
                           const QString& handshakeName)
{
    const QString parity = parityIndex == 1   ? QStringLiteral("o")
                           : parityIndex == 2 ? QStringLiteral("n")
                                              : QStringLiteral("e");
    return QLatin1String("COM ") + padLeft(QString::number(port), 2) + u',' + baudText + u',' +
           parity + u',' + dataBits + u',' + stopBits + u',' + handshakeName;
}

QString ComposeIPSettings(const QString& addressText, const QString& portText)
{
    bool error = false;
    QString address;
    QString group;
    for (qsizetype i = 0; i < addressText.size() && !error; ++i) {
        const QChar c = addressText[i];
        if (isAsciiDigit(c)) {
            group += c;
        } else if (c == u'.') {
            address += groupValue(group) + u'.';
            group.clear();
        } else {
            error = true;
        }
        if (group.size() > 3)
            error = true;
    }
    if (!group.isEmpty())
        address += groupValue(group);

    QString port;
    group.clear();
    for (qsizetype i = 0; i < portText.size() && !error; ++i) {
        if (isAsciiDigit(portText[i]))
            group += portText[i];
        else
            error = true;
        if (group.size() > 5)
            error = true;
    }
    if (!group.isEmpty())
        port = groupValue(group);

    if (error)
        return DefaultIPSettings;
    return QLatin1String("IP ") + address + u':' + port;
}

QString RebuildCOMSettings(int port, const QString& portSettingsText, int handshaking)
{
    // Pads exactly as the dialog composes, so an unchanged channel compares equal.
    const QString block = QString::number(port) + u',' + padLeft(portSettingsText, 11);
    const QString handshake = handshaking >= 0 && handshaking < int(Handshakes.size())
                                  ? Handshakes[std::size_t(handshaking)]
                                  : QString();
    return QLatin1String("COM ") + padLeft(block, 14) + u',' + handshake;
}

QString RebuildIPSettings(const QString& remoteHost, qint32 remotePort)
{
    return QLatin1String("IP ") + remoteHost + u':' + QString::number(remotePort);
}

bool SameSettings(const QString& a, const QString& b)
{
    if (a == b)
        return true;
    const std::optional<QString> openedA = openedForm(a);
    return openedA && openedA == openedForm(b);
}

QString GetChannelSettings(int ch)
{
    if (ch < 1 || ch > Globals::MaxChannels)
        return {};
    return Channel_Window::ChannelSettings[std::size_t(ch)];
}

} // namespace Communication_HW
