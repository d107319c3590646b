#include "publish/records.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace Publish {

qsizetype RecordLength(const QByteArray& bytes, qsizetype from, bool complete)
{
    const qsizetype end = std::min(bytes.size(), from + MaxRecordLength);
    for (qsizetype at = from; at < end; ++at) {
        const char c = bytes[at];
        if (c == '\n')
            return at + 1 - from;
        if (c == '\r')
            return (at + 1 < bytes.size() && bytes[at + 1] == '\n' ? at + 2 : at + 1) - from;
    }
    if (end - from == MaxRecordLength || (complete && end > from))
        return end - from;
    return 0;
}

QByteArray RecordText(const QByteArray& record)
{
    qsizetype length = record.size();
    while (length > 0 && (record[length - 1] == '\n' || record[length - 1] == '\r'))
        --length;
    return record.left(length);
}

QByteArray Payload(const Reading& reading)
{
    const QString text = QString::fromLatin1(reading.text);
    QJsonObject object{
        {QStringLiteral("host"), reading.host},
        {QStringLiteral("channel"), reading.channel},
        {QStringLiteral("id"), reading.id},
        {QStringLiteral("time"), reading.time.toUTC().toString(Qt::ISODateWithMs)},
        {QStringLiteral("text"), text},
        {QStringLiteral("seq"), reading.seq},
    };
    // The weight as Weight Only finds it: the digits with their sign and decimal point or
    // comma; the unit is the word that follows the number.
    static const QRegularExpression weight(
        QStringLiteral("([+-])?\\s*(\\d+(?:[.,]\\d*)?|[.,]\\d+)\\s*([^\\s\\d.,+\\-()]+)?"));
    const QRegularExpressionMatch match = weight.match(text);
    if (match.hasMatch()) {
        bool ok = false;
        const double value = match.captured(2).replace(u',', u'.').toDouble(&ok);
        if (ok) {
            object.insert(QStringLiteral("weight"), match.captured(1) == u"-" ? -value : value);
            if (match.hasCaptured(3))
                object.insert(QStringLiteral("unit"), match.captured(3));
        }
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace Publish
