#include "shell/receive_shaper.h"

#include <QLocale>
#include <algorithm>
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

constexpr int NoDisplay = -1;

// What one received character types, before TAB collapsing and line handling.
enum class Key { None, Char, Enter, Tab, Braced };

// The character table: what one received character shows (NoDisplay for nothing) and types.
Key Classify(QChar c, const FormatOptions& options, int& disp)
{
    using Communication_HW::AfterSign;
    switch (c.unicode()) {
    case '\r':
        disp = c.unicode();
        return Key::Enter;
    case '\n':
        disp = c.unicode();
        return Key::None;
    case ' ':
        if (options.weightOnly)
            return Key::None;
        if (options.tabs && !AfterSign) {
            disp = '\t';
            return Key::Tab;
        }
        disp = c.unicode();
        return Key::Char;
    case '.':
        disp = options.decimalPoint ? '.' : ',';
        AfterSign = false;
        return Key::Char;
    case '+':
    case '-':
        disp = c.unicode();
        AfterSign = true;
        return Key::Char;
    case '(':
    case ')':
        // Parentheses mean something to the keystroke notation; braces make them literal.
        disp = c.unicode();
        AfterSign = false;
        return Key::Braced;
    default:
        AfterSign = false;
        if (options.weightOnly && !(c >= u'0' && c <= u'9'))
            return Key::None;
        disp = c.unicode();
        return Key::Char;
    }
}

QString KeyText(Key key, int disp)
{
    switch (key) {
    case Key::None:
        return QString();
    case Key::Char:
        return QString(QChar(disp));
    case Key::Enter:
        return KeyEnter;
    case Key::Tab:
        return KeyTab;
    case Key::Braced:
        return QLatin1Char('{') + QChar(disp) + QLatin1Char('}');
    }
    return QString();
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
    if (options.keys)
        result.keys.reserve(text.size());

    for (const QChar c : text) {
        int disp = NoDisplay;
        Key key = Classify(c, options, disp);

        // A run of blanks gives one TAB, and no TAB follows a line end directly.
        if (key == Key::Tab) {
            if (LastKeyWasTab) {
                disp = NoDisplay;
                key = Key::None;
            } else {
                CountField();
            }
            LastKeyWasTab = true;
        } else {
            LastKeyWasTab = false;
        }

        QString stamp;
        const bool lineEnd = c == CR || c == LF;
        if (!lineEnd) {
            // Even a dropped character opens the line, so the stamp marks when it began.
            if (options.dateTime && AtLineStart) {
                stamp = DateStamp(now ? now() : QDateTime::currentDateTime());
                result.display += stamp + TAB;
                CountField();
            }
            AtLineStart = false;
        } else {
            AfterSign = false;
            AtLineStart = true;
            LastKeyWasTab = true;
        }
        if (disp != NoDisplay)
            result.display += QChar(disp);

        int lefts = 0;
        if (key == Key::Enter) {
            // Back over every field of the record, to the column where it began.
            if (options.backLeft)
                lefts = std::max<int>(FieldCount, 0);
            FieldCount = 0;
        }
        if (options.keys) {
            QString keyText =
                stamp.isEmpty() ? KeyText(key, disp) : stamp + KeyTab + KeyText(key, disp);
            for (int i = 0; i < lefts; ++i)
                keyText += KeyLeft;
            result.keys.append(keyText);
        }
    }
    return result;
}

} // namespace Receive
