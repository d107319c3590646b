// Shaping received text into window text and key texts under the format options, with
// the forwarding state shared by all channels carried from one piece to the next.

#include <QTest>

#include "comm/channel_connections.h"
#include "shell/module_data.h"
#include "shell/receive_shaper.h"

using Receive::FormatOptions;
using namespace Communication_HW;

Q_DECLARE_METATYPE(FormatOptions)

namespace {
const QDateTime Stamped(QDate(2026, 12, 4), QTime(9, 41, 3));
const QString Stamp = QStringLiteral("12:04:2026 09:41:03");
const QString Record = QStringLiteral("N     +    12.345 g\r\n");

// One key text per character, each the character itself.
QStringList each(const QString& text)
{
    QStringList keys;
    for (QChar c : text)
        keys.append(QString(c));
    return keys;
}

QStringList repeat(const QString& key, int times)
{
    QStringList keys;
    for (int i = 0; i < times; ++i)
        keys.append(key);
    return keys;
}

FormatOptions opts(bool weightOnly, bool decimalPoint, bool dateTime, bool tabs, bool backLeft)
{
    return {weightOnly, decimalPoint, dateTime, tabs, backLeft};
}

const FormatOptions Plain = opts(false, true, false, false, false);

Receive::Shaped shape(const QString& text, const FormatOptions& options)
{
    return Receive::ShapeText(text, options, [] { return Stamped; });
}
} // namespace

class tst_ReceiveShaper : public QObject
{
    Q_OBJECT

private slots:
    // The state channel 1's opening leaves behind.
    void init() { ResetForwardingState(); }

    void shapeText_freshState_givesDisplayAndKeys_data()
    {
        QTest::addColumn<FormatOptions>("options");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("display");
        QTest::addColumn<QStringList>("keys");

        const QStringList digits = each("12.345");
        QTest::newRow("plain record passes unchanged, LF types nothing")
            << Plain << Record << Record
            << each("N     +    12.345 g") + QStringList{"{ENTER}", ""};
        QTest::newRow("TABs: one per blank run, none after the sign")
            << opts(false, true, false, true, false) << Record
            << QStringLiteral("N\t+    12.345\tg\r\n")
            << QStringList{"N", "{TAB}", "", "", "", "", "+"} + repeat(" ", 4) + digits +
                   QStringList{"{TAB}", "g", "{ENTER}", ""};
        QTest::newRow("TABs and back-left: ENTER moves back over both fields")
            << opts(false, true, false, true, true) << Record
            << QStringLiteral("N\t+    12.345\tg\r\n")
            << QStringList{"N", "{TAB}", "", "", "", "", "+"} + repeat(" ", 4) + digits +
                   QStringList{"{TAB}", "g", "{ENTER}{LEFT}{LEFT}", ""};
        QTest::newRow("weight only keeps sign, digits, point and line end")
            << opts(true, true, false, false, false) << Record << QStringLiteral("+12.345\r\n")
            << QStringList{""} + repeat("", 5) + QStringList{"+"} + repeat("", 4) + digits +
                   QStringList{"", "", "{ENTER}", ""};
        QTest::newRow("weight only never makes TABs")
            << opts(true, true, false, true, true) << QStringLiteral("+ 1 2\r")
            << QStringLiteral("+12\r") << QStringList{"+", "", "1", "", "2", "{ENTER}"};
        QTest::newRow("decimal comma in window and keys")
            << opts(false, false, false, false, false) << QStringLiteral("12.345")
            << QStringLiteral("12,345") << each("12,345");
        QTest::newRow("parentheses typed between braces")
            << Plain << QStringLiteral("(12.3)") << QStringLiteral("(12.3)")
            << QStringList{"{(}", "1", "2", ".", "3", "{)}"};
        QTest::newRow("date stamp opens every line, CR and LF get none")
            << opts(false, true, true, false, false) << QStringLiteral("N 1\r\nM\r\n")
            << Stamp + "\tN 1\r\n" + Stamp + "\tM\r\n"
            << QStringList{Stamp + "{TAB}N", " ",       "1", "{ENTER}", "",
                           Stamp + "{TAB}M", "{ENTER}", ""};
        QTest::newRow("date stamp counts as a field for back-left")
            << opts(false, true, true, true, true) << QStringLiteral("A B\r") << Stamp + "\tA\tB\r"
            << QStringList{Stamp + "{TAB}A", "{TAB}", "B", "{ENTER}{LEFT}{LEFT}"};
        QTest::newRow("a dropped character still opens the line with a stamp")
            << opts(true, true, true, false, false) << QStringLiteral("N5\r") << Stamp + "\t5\r"
            << QStringList{Stamp + "{TAB}", "5", "{ENTER}"};
        QTest::newRow("blank at line start gives no TAB")
            << opts(false, true, false, true, true) << QStringLiteral(" 5\r")
            << QStringLiteral("5\r") << QStringList{"", "5", "{ENTER}"};
        QTest::newRow("LF alone keeps counting fields until ENTER")
            << opts(false, true, false, true, true) << QStringLiteral("A B\nC D\r")
            << QStringLiteral("A\tB\nC\tD\r")
            << QStringList{"A", "{TAB}", "B", "", "C", "{TAB}", "D", "{ENTER}{LEFT}{LEFT}"};
        QTest::newRow("back-left without fields adds nothing")
            << opts(false, true, false, false, true) << QStringLiteral("7\r")
            << QStringLiteral("7\r") << QStringList{"7", "{ENTER}"};
        QTest::newRow("NUL and bytes 0x80-0xFF pass unchanged")
            << Plain << QString::fromLatin1("\x00\x80\xB5\xFF", 4)
            << QString::fromLatin1("\x00\x80\xB5\xFF", 4)
            << each(QString::fromLatin1("\x00\x80\xB5\xFF", 4));
        QTest::newRow("weight only drops NUL and high bytes, superscripts too")
            << opts(true, true, false, false, false) << QString::fromLatin1("\x00\xB2\xFF\x37", 4)
            << QStringLiteral("7") << QStringList{"", "", "", "7"};
    }

    void shapeText_freshState_givesDisplayAndKeys()
    {
        QFETCH(FormatOptions, options);
        QFETCH(QString, text);
        QFETCH(QString, display);
        QFETCH(QStringList, keys);

        const Receive::Shaped shaped = shape(text, options);
        QCOMPARE(shaped.display, display);
        QCOMPARE(shaped.keys, keys);
        QCOMPARE(shaped.keys.size(), text.size());
    }

    void shapeText_splitRecord_sameAsWhole_data()
    {
        QTest::addColumn<FormatOptions>("options");
        QTest::newRow("plain") << Plain;
        QTest::newRow("TABs and back-left") << opts(false, true, false, true, true);
        QTest::newRow("weight only, comma") << opts(true, false, false, false, true);
        QTest::newRow("stamp, TABs, back-left") << opts(false, true, true, true, true);
    }

    void shapeText_splitRecord_sameAsWhole()
    {
        QFETCH(FormatOptions, options);
        const QString text = Record + QStringLiteral("-  (0.5) kg\r\n");
        ResetForwardingState();
        const Receive::Shaped whole = shape(text, options);

        // Split in two at every position, and one character per piece.
        for (int at = 0; at <= text.size(); ++at) {
            ResetForwardingState();
            const Receive::Shaped first = shape(text.left(at), options);
            const Receive::Shaped second = shape(text.mid(at), options);
            QCOMPARE(first.display + second.display, whole.display);
            QCOMPARE(first.keys + second.keys, whole.keys);
        }
        ResetForwardingState();
        QString display;
        QStringList keys;
        for (QChar c : text) {
            const Receive::Shaped piece = shape(QString(c), options);
            display += piece.display;
            keys += piece.keys;
        }
        QCOMPARE(display, whole.display);
        QCOMPARE(keys, whole.keys);
    }

    void shapeText_lineBegunElsewhere_noStampAndFieldsCarryOver()
    {
        // One channel's text without a line end, then another's: the state is shared.
        const FormatOptions options = opts(false, true, true, true, true);
        shape(QStringLiteral("A B"), options);
        QVERIFY(!AtLineStart);
        QCOMPARE(FieldCount, qint16(2));
        const Receive::Shaped next = shape(QStringLiteral("C\r"), options);
        QCOMPARE(next.display, QStringLiteral("C\r"));
        QCOMPARE(next.keys, (QStringList{"C", "{ENTER}{LEFT}{LEFT}"}));
    }

    void shapeText_endlessFields_countStopsAtLargest()
    {
        FieldCount = 32766;
        const FormatOptions options = opts(false, true, false, true, false);
        shape(QStringLiteral("A B C D"), options);
        QCOMPARE(FieldCount, qint16(32767));
        shape(QStringLiteral("\r"), options);
        QCOMPARE(FieldCount, qint16(0));
    }

    void dateStamp_monthFirst24Hour_data()
    {
        QTest::addColumn<QDateTime>("when");
        QTest::addColumn<QString>("stamp");
        QTest::newRow("morning") << Stamped << Stamp;
        QTest::newRow("evening, single digits padded")
            << QDateTime(QDate(2027, 1, 2), QTime(23, 5, 9)) << "01:02:2027 23:05:09";
        QTest::newRow("midnight") << QDateTime(QDate(2026, 7, 31), QTime(0, 0, 0))
                                  << "07:31:2026 00:00:00";
    }

    void dateStamp_monthFirst24Hour()
    {
        QFETCH(QDateTime, when);
        QFETCH(QString, stamp);
        QCOMPARE(Receive::DateStamp(when), stamp);
    }
};

QTEST_GUILESS_MAIN(tst_ReceiveShaper)
#include "tst_receive_shaper.moc"
