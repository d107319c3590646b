#include "shell/receive_shaper.h"

#include <QLocale>
#include <limits>

#include "shell/module_data.h"

namespace Receive {
namespace {

const QString KeyEnter = QStringLiteral("{ENTER}");
const QString KeyTab = QStringLiteral("{TAB}");
const QString KeyLeft = QStringLiteral("{LEFT}");
constexpr QChar CR = u'\r';
constexpr QChar LF = u'\n';
constexpr QChar TAB = u'\t';

// The count of fields since the last ENTER is 16-bit. A balance that streams blanks for
// hours without a line end would otherwise wrap it to a negative count and lose every
// back-left move, so it stops at the largest value instead.
void CountField()
{
    using Communication_HW::FieldCount;
    if (FieldCount < std::numeric_limits<qint16>::max())
        ++FieldCount;
}

// The character table: what one received character shows and types, before TAB
// collapsing and line handling.
void Classify(QChar c, const FormatOptions& options, QString& disp, QString& key)
{
    using Communication_HW::AfterSign;
    switch (c.unicode()) {
    case '\r':
        disp = c;
        key = KeyEnter;
        return;
    case '\n':
        disp = c;
        return;
    case ' ':
        if (options.weightOnly)
            return;
        if (options.tabs && !AfterSign) {
            disp = TAB;
            key = KeyTab;
        } else {
            disp = key = c;
        }
        return;
    case '.':
        disp = key = options.decimalPoint ? QStringLiteral(".") : QStringLiteral(",");
        AfterSign = false;
        return;
    case '+':
    case '-':
        disp = key = c;
        AfterSign = true;
        return;
    case '(':
    case ')':
        // Parentheses mean something to the keystroke notation; braces make them literal.
        disp = c;
        key = QLatin1Char('{') + c + QLatin1Char('}');
        AfterSign = false;
        return;
    default:
        if (!options.weightOnly || (c >= u'0' && c <= u'9'))
            disp = key = c;
        AfterSign = false;
        return;
    }
}

} // namespace

QString DateStamp(const QDateTime& when)
{
    // The C locale keeps the digits ASCII whatever the user's locale is.
    return QLocale::c().toString(when, QStringLiteral("MM:dd:yyyy hh:mm:ss"));
}

Shaped ShapeText(const QString& text, const FormatOptions& options,
                 const std::function<QDateTime()>& now)
{
    using namespace Communication_HW;
    Shaped result;
    result.display.reserve(text.size());
    result.keys.reserve(text.size());

    for (const QChar c : text) {
        QString disp;
        QString key;
        Classify(c, options, disp, key);

        // A run of blanks gives one TAB, and no TAB follows a line end directly.
        if (key == KeyTab) {
            if (LastKeyWasTab) {
                disp.clear();
                key.clear();
            } else {
                CountField();
            }
            LastKeyWasTab = true;
        } else {
            LastKeyWasTab = false;
        }

        const bool lineEnd = c == CR || c == LF;
        if (!lineEnd) {
            // Even a dropped character opens the line, so the stamp marks when it began.
            if (options.dateTime && AtLineStart) {
                const QString stamp = DateStamp(now ? now() : QDateTime::currentDateTime());
                disp = stamp + TAB + disp;
                key = stamp + KeyTab + key;
                CountField();
            }
            AtLineStart = false;
        } else {
            AfterSign = false;
            AtLineStart = true;
            LastKeyWasTab = true;
        }

        if (key == KeyEnter) {
            // Back over every field of the record, to the column where it began.
            if (options.backLeft) {
                for (; FieldCount > 0; --FieldCount)
                    key += KeyLeft;
            }
            FieldCount = 0;
        }

        result.display += disp;
        result.keys.append(key);
    }
    return result;
}

} // namespace Receive
