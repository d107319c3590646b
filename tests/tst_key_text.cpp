// Reading key texts into the strokes every keystroke backend types.

#include <QTest>

#include "platform/key_text.h"

using KeyText::Key;
using KeyText::Stroke;
using Strokes = std::vector<Stroke>;
Q_DECLARE_METATYPE(Strokes)

namespace {

Stroke ch(char32_t c)
{
    return {Key::Character, c};
}

const Stroke Enter{Key::Enter, 0};
const Stroke Tab{Key::Tab, 0};
const Stroke Left{Key::Left, 0};

} // namespace

namespace QTest {
template <> char* toString(const Strokes& strokes)
{
    QString text;
    for (const Stroke& stroke : strokes) {
        switch (stroke.key) {
        case Key::Enter:
            text += QStringLiteral("<ENTER>");
            break;
        case Key::Tab:
            text += QStringLiteral("<TAB>");
            break;
        case Key::Left:
            text += QStringLiteral("<LEFT>");
            break;
        case Key::Character:
            text += QStringLiteral("'%1'").arg(QString::fromUcs4(&stroke.character, 1));
            break;
        }
    }
    return qstrdup(text.toUtf8().constData());
}
} // namespace QTest

class TestKeyText : public QObject
{
    Q_OBJECT

private slots:
    void keyTextBecomesStrokes_data();
    void keyTextBecomesStrokes();
};

void TestKeyText::keyTextBecomesStrokes_data()
{
    QTest::addColumn<QString>("keyText");
    QTest::addColumn<Strokes>("strokes");

    QTest::newRow("empty text: nothing") << QString() << Strokes{};
    QTest::newRow("plain character") << "N" << Strokes{ch('N')};
    QTest::newRow("named keys") << "{ENTER}{TAB}{LEFT}" << Strokes{Enter, Tab, Left};
    QTest::newRow("braced parentheses are the characters") << "{(}{)}" << Strokes{ch('('), ch(')')};
    QTest::newRow("bare specials are characters, not modifiers")
        << "+^%~" << Strokes{ch('+'), ch('^'), ch('%'), ch('~')};
    QTest::newRow("lone braces and brackets are characters")
        << "{}[]" << Strokes{ch('{'), ch('}'), ch('['), ch(']')};
    QTest::newRow("unknown or unfinished names are characters")
        << "{F12}{ENTER" << Strokes{ch('{'), ch('F'), ch('1'), ch('2'), ch('}'), ch('{'),
                                    ch('E'), ch('N'), ch('T'), ch('E'), ch('R')};
    QTest::newRow("names are upper case only")
        << "{tab}" << Strokes{ch('{'), ch('t'), ch('a'), ch('b'), ch('}')};
    QTest::newRow("brace before a named key") << "{{TAB}" << Strokes{ch('{'), Tab};
    QTest::newRow("date stamp, TAB and first character")
        << "12:04:2026 09:41:03{TAB}N"
        << Strokes{ch('1'), ch('2'), ch(':'), ch('0'), ch('4'), ch(':'), ch('2'),
                   ch('0'), ch('2'), ch('6'), ch(' '), ch('0'), ch('9'), ch(':'),
                   ch('4'), ch('1'), ch(':'), ch('0'), ch('3'), Tab,     ch('N')};
    QTest::newRow("ENTER followed by back-left")
        << "{ENTER}{LEFT}{LEFT}" << Strokes{Enter, Left, Left};
    QTest::newRow("Latin-1 characters a balance sends")
        << "µ°±" << Strokes{ch(0xB5), ch(0xB0), ch(0xB1)};
    QTest::newRow("character outside the basic plane")
        << QString::fromUcs4(U"\U0001F600") << Strokes{ch(0x1F600)};
    QTest::newRow("control characters are dropped")
        << QStringLiteral("\u0001a\u001b\u007fb\r\n\t") << Strokes{ch('a'), ch('b')};
    QTest::newRow("C1 controls are dropped, NBSP is not")
        << QString::fromLatin1("\x85\x9f\xa0") << Strokes{ch(0xA0)};
}

void TestKeyText::keyTextBecomesStrokes()
{
    QFETCH(QString, keyText);
    QFETCH(Strokes, strokes);

    const QList<uint> ucs4 = keyText.toUcs4();
    const std::u32string text(ucs4.cbegin(), ucs4.cend());
    QCOMPARE(KeyText::Parse(text), strokes);
}

QTEST_GUILESS_MAIN(TestKeyText)
#include "tst_key_text.moc"
