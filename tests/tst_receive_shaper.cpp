// Shaping received text into window and key texts; the forwarding state is shared by channels.

#include <QTest>

#include "comm/channel_connections.h"
#include "shell/module_data.h"
#include "shell/receive_shaper.h"

using namespace Communication_HW;

namespace {
const QDateTime Stamped(QDate(2026, 12, 4), QTime(21, 41, 3));
const QString Record = QStringLiteral("N     +    12.345 g\r\n");

// Options as letters: W weight only, C decimal comma, D date stamp, T TABs, B back-left.
Receive::Shaped shape(const QString& text, const QString& o)
{
    const Receive::FormatOptions options = {o.contains(u'W'), !o.contains(u'C'), o.contains(u'D'),
                                            o.contains(u'T'), o.contains(u'B')};
    return Receive::ShapeText(text, options, [] { return Stamped; });
}

// Escapes for readable rows: "~" is the date stamp (month first, 24 hours), "|" splits keys.
QString expand(QString text)
{
    return text.replace(u'~', QStringLiteral("12:04:2026 21:41:03"));
}
} // namespace

class tst_ReceiveShaper : public QObject
{
    Q_OBJECT

private slots:
    void init() { ResetForwardingState(); }

    void shapeText_wholeOrInPieces_givesDisplayAndKeys_data()
    {
        QTest::addColumn<QString>("options");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("display");
        QTest::addColumn<QString>("keys");
        const auto row = [](const char* n, auto... v) { (QTest::newRow(n) << ... << QString(v)); };
        row("TABs: one per blank run, none after sign", "T", Record, "N\t+    12.345\tg\r\n",
            "N|{TAB}|||||+| | | | |1|2|.|3|4|5|{TAB}|g|{ENTER}|");
        row("weight only keeps sign, digits, point, CR", "W", Record, "+12.345\r\n",
            "||||||+|||||1|2|.|3|4|5|||{ENTER}|");
        row("weight only never makes TABs", "WTB", "+ 1 2\r", "+12\r", "+||1||2|{ENTER}");
        row("decimal comma in window and keys, weight only too", "WC", "-12.345", "-12,345",
            "-|1|2|,|3|4|5");
        row("parentheses typed between braces", "", "(12.3)", "(12.3)", "{(}|1|2|.|3|{)}");
        row("date stamp opens every line", "D", "N 1\r\nM\r\n", "~\tN 1\r\n~\tM\r\n",
            "~{TAB}N| |1|{ENTER}||~{TAB}M|{ENTER}|");
        row("date stamp counts as a field", "DTB", "A B\r", "~\tA\tB\r",
            "~{TAB}A|{TAB}|B|{ENTER}{LEFT}{LEFT}");
        row("a dropped character still opens the line", "WD", "N5\r", "~\t5\r", "~{TAB}|5|{ENTER}");
        row("blank at line start gives no TAB", "TB", "1\r 5\r", "1\r5\r", "1|{ENTER}||5|{ENTER}");
        row("LF alone keeps counting fields", "TB", "A B\nC D\r", "A\tB\nC\tD\r",
            "A|{TAB}|B||C|{TAB}|D|{ENTER}{LEFT}{LEFT}");
        const QString bytes = QString::fromLatin1("\x00\t\x80\xB2\xFF", 5);
        row("NUL, TAB and bytes 0x80-0xFF pass unchanged", "", bytes, bytes,
            QStringList(bytes.begin(), bytes.end()).join(u'|'));
        row("weight only drops them, superscripts too", "W", bytes + "7", "7", "|||||7");
    }
    void shapeText_wholeOrInPieces_givesDisplayAndKeys()
    {
        QFETCH(QString, options);
        QFETCH(QString, text);
        QFETCH(QString, display);
        QFETCH(QString, keys);
        // Cut anywhere, the second piece goes on from the state the first left behind.
        for (int at = 0; at <= text.size(); ++at) {
            ResetForwardingState();
            const Receive::Shaped first = shape(text.left(at), options);
            const Receive::Shaped second = shape(text.mid(at), options);
            QCOMPARE(first.display + second.display, expand(display));
            QCOMPARE(first.keys + second.keys, expand(keys).split(u'|'));
        }
    }
    // Endless fields without ENTER stop at the largest count instead of wrapping.
    void shapeText_endlessFields_countStops()
    {
        FieldCount = 32766;
        shape(QStringLiteral("A B C D"), "T");
        QCOMPARE(FieldCount, qint16(32767));
    }
};

QTEST_GUILESS_MAIN(tst_ReceiveShaper)
#include "tst_receive_shaper.moc"
