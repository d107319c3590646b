#pragma once
// The weight one simulated balance shows and the text lines it prints for it.

#include <QByteArray>
#include <QRandomGenerator>
#include <QString>

class ReadingSource
{
public:
    ReadingSource(double baseWeight, const QString& unit, quint32 seed);

    // The next reading as the balance prints it: "N     +    12.345 g" and, unless
    // withLineEnd is false, CR LF. The weight wanders a little around its base value at
    // every call, as a real sample does while it takes up moisture or settles.
    QByteArray nextLine(bool withLineEnd);

    // A line-sized run of random bytes 0..255 with at least one NUL: line noise, a wrong
    // baud rate or a balance in its service menu.
    QByteArray garbage(qsizetype size);

    double weight() const { return m_weight; }

    // Formatting alone, so the layout is fixed in one place.
    static QByteArray formatLine(double weight, const QString& unit, bool withLineEnd);

private:
    double m_base;
    double m_weight;
    QString m_unit;
    QRandomGenerator m_random;
};
