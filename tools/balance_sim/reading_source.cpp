#include "reading_source.h"

#include <cmath>

namespace {

// How far one reading may move from the one before, and from the base value, so the
// readings stay recognisable as the same sample.
constexpr double StepLimit = 0.004;
constexpr double WanderLimit = 0.050;

// "N" + five blanks + sign, then the weight right-aligned in ten places.
constexpr int WeightWidth = 10;

} // namespace

ReadingSource::ReadingSource(double baseWeight, const QString& unit, quint32 seed)
    : m_base(baseWeight), m_weight(baseWeight), m_unit(unit), m_random(seed)
{}

QByteArray ReadingSource::nextLine(bool withLineEnd)
{
    const QByteArray line = formatLine(m_weight, m_unit, withLineEnd);
    const double step = (m_random.generateDouble() * 2.0 - 1.0) * StepLimit;
    m_weight += step;
    // Pull back towards the base instead of wandering away for good.
    if (std::abs(m_weight - m_base) > WanderLimit)
        m_weight -= 2.0 * step;
    return line;
}

QByteArray ReadingSource::garbage(qsizetype size)
{
    QByteArray bytes(qMax<qsizetype>(size, 1), '\0');
    for (char& byte : bytes)
        byte = char(m_random.bounded(256));
    bytes[m_random.bounded(int(bytes.size()))] = '\0';
    return bytes;
}

QByteArray ReadingSource::formatLine(double weight, const QString& unit, bool withLineEnd)
{
    // Round first so that -0.0004 prints as "+ 0.000" rather than "- 0.000".
    const double rounded = std::round(weight * 1000.0) / 1000.0;
    const char sign = rounded < 0 ? '-' : '+';
    QByteArray line = "N     ";
    line += sign;
    line += QByteArray::number(std::abs(rounded), 'f', 3).rightJustified(WeightWidth, ' ');
    line += ' ';
    line += unit.toLatin1();
    if (withLineEnd)
        line += "\r\n";
    return line;
}
