#pragma once
// The heart of the receive path without any window: turns received text into the
// display text for the channel window and the key texts typed for channel 1, under the
// format options, carrying the shared forwarding state of Communication_HW from one
// piece to the next (so a record split over many notifications shapes the same).

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>

namespace Receive {

struct FormatOptions
{
    bool weightOnly = false;
    bool decimalPoint = true;
    bool dateTime = false;
    bool tabs = false;
    bool backLeft = false;
    // Whether the key texts are wanted; without them only the display text and the
    // forwarding state are worked out, which is most of the receive path's traffic.
    bool keys = true;
};

struct Shaped
{
    QString display;
    // One key text per received character, in order; "" where a character types nothing.
    // Empty when the options asked for no keys.
    QStringList keys;
};

// Month first, then day, year, and the 24-hour time: "12:04:2026 09:41:03". Every field
// but the year has two digits.
QString DateStamp(const QDateTime& when);

// Walks text character by character, reading and updating the forwarding state of
// Communication_HW (LastKeyWasTab, FieldCount, AfterSign, AtLineStart). FieldCount stops
// at 32767 instead of wrapping. now() is asked for the time of each date stamp.
Shaped ShapeText(const QString& text, const FormatOptions& options,
                 const std::function<QDateTime()>& now);

} // namespace Receive
