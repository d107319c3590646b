// Reading key texts into the strokes every keystroke backend types.

#include <QTest>

#include "platform/key_text.h"

using KeyText::Key;

// Strokes spelled for QCOMPARE: \r ENTER, \t TAB, \b LEFT, a control character stroke U+FFFD.
static QString spelled(const std::vector<KeyText::Stroke>& strokes)
{
    std::u32string text;
    for (const KeyText::Stroke& s : strokes) {
        const char32_t c = s.character;
        text += s.key == Key::Enter                    ? U'\r'
                : s.key == Key::Tab                    ? U'\t'
                : s.key == Key::Left                   ? U'\b'
                : c < 0x20 || (c >= 0x7F && c <= 0x9F) ? U'\uFFFD'
                                                       : c;
    }
    return QString::fromStdU32String(text);
}

class TestKeyText : public QObject
{
    Q_OBJECT

private slots:
    void keyTextBecomesStrokes_data()
    {
        QTest::addColumn<QString>("keyText");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const QString& keyText, const char32_t* strokes) {
            QTest::newRow(name) << keyText << QString::fromUcs4(strokes);
        };
        row("bare specials, braces, brackets are characters", "+^%~{}[]", U"+^%~{}[]");
        row("unknown, lower-case or unfinished names are characters", "{F12}{tab}{ENTER",
            U"{F12}{tab}{ENTER");
        row("brace before a named key", "{{TAB}", U"{\t");
        row("character outside the basic plane", QString::fromUcs4(U"\U0001F600"), U"\U0001F600");
        row("TAB is the key, other control characters are dropped",
            QString("\u0001a\u001b\u007fb\b\r\n\t") + QChar(0), U"ab\t");
        row("C1 controls are dropped, NBSP is not", QString::fromLatin1("\x85\x9f\xa0"), U"\u00A0");
    }
    void keyTextBecomesStrokes()
    {
        QFETCH(QString, keyText);
        QFETCH(QString, expected);
        const QList<uint> ucs4 = keyText.toUcs4();
        QCOMPARE(spelled(KeyText::Parse(std::u32string(ucs4.cbegin(), ucs4.cend()))), expected);
    }
};

QTEST_GUILESS_MAIN(TestKeyText)
#include "tst_key_text.moc"
