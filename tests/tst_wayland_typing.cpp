// Typing through the virtual keyboard on a headless sway, into another application's
// window (a terminal that writes down every byte it gets).

#include <QTest>
#include <memory>

#include "platform/session_backends.h"
#include "support/sway_session.h"

namespace {

// One key text per character, as the receive path sends a reading to the cursor.
void typeReading(Platform::Desktop& desktop, const QString& reading)
{
    for (const QChar c : reading) {
        if (c == u'\r')
            desktop.SendKeys(QStringLiteral("{ENTER}"));
        else if (c == u'(' || c == u')')
            desktop.SendKeys(u'{' + c + u'}');
        else if (c != u'\n')
            desktop.SendKeys(c);
    }
}

// What the terminal gets for a reading: its characters in UTF-8, the line end as CR.
QByteArray received(QString reading)
{
    return reading.remove(u'\n').toUtf8();
}

} // namespace

class TestWaylandTyping : public QObject
{
    Q_OBJECT

    std::unique_ptr<SwaySession> m_sway;
    std::unique_ptr<Platform::Desktop> m_desktop;
    QStringList m_failures;

private slots:
    void initTestCase()
    {
        m_sway = std::make_unique<SwaySession>();
        if (!m_sway->isRunning() && m_sway->errorText().contains(u"not installed"))
            QSKIP(qPrintable(m_sway->errorText()));
        QVERIFY2(m_sway->isRunning(), qPrintable(m_sway->errorText()));
        qputenv("WAYLAND_DISPLAY", m_sway->waylandDisplay());
        Platform::SetBackendFailureHandler(
            [this](Platform::BackendFeature, const QString& reason) { m_failures << reason; });
    }
    // A keyboard of its own for each case, made once the application has the focus: the
    // seat has no other keyboard, and the very first key must still arrive.
    void init()
    {
        QVERIFY(m_sway->startClient());
        m_desktop = Platform::Wayland::OpenVirtualKeyboard();
        QVERIFY(m_desktop);
    }
    void cleanup()
    {
        m_desktop.reset();
        QVERIFY2(m_failures.isEmpty(), qPrintable(m_failures.join(u'\n')));
    }
    void cleanupTestCase() { Platform::SetBackendFailureHandler(nullptr); }

    void readingArrivesByteForByte_data()
    {
        QTest::addColumn<QString>("reading");
        // The user's layout, switched between two readings: sway then puts it on every
        // keyboard, ours too.
        QTest::addColumn<QString>("layout");
        QTest::newRow("TAB, micro, degree and the line end")
            << QStringLiteral("N\t+12.345 µg  21.5 °C\r\n") << QString();
        QTest::newRow("the same on a German layout")
            << QStringLiteral("N\t+12.345 µg  21.5 °C\r\n") << QStringLiteral("de");
        QTest::newRow("signs, brackets and what other key notations treat specially")
            << QStringLiteral("(12.3) -0.5 +^%~{}[]\\|\"'<>\r\n") << QStringLiteral("fr");
        QTest::newRow("Latin-1 beyond ASCII and the Euro sign")
            << QStringLiteral("Å 12,5 € ½ ÿ ß é\r\n") << QStringLiteral("us");
        // More new characters than there are free keys: keys typed a moment ago are bound
        // anew only once the application has surely read them.
        QString many;
        for (char16_t c = 0xA1; c <= 0xFF; ++c)
            many += QChar(c);
        for (char16_t c = 0x391; c < 0x450; ++c)
            many += QChar(c);
        QTest::newRow("more new characters than free keys")
            << many + QStringLiteral("N 1 g\r\n") << QString();
    }
    void readingArrivesByteForByte()
    {
        QFETCH(QString, reading);
        QFETCH(QString, layout);
        typeReading(*m_desktop, reading);
        QTRY_COMPARE_WITH_TIMEOUT(m_sway->typed(), received(reading), 20000);
        if (!layout.isEmpty())
            QVERIFY(m_sway->swaymsg({"input", "type:keyboard", "xkb_layout", layout}));
        typeReading(*m_desktop, reading);
        QTRY_COMPARE_WITH_TIMEOUT(m_sway->typed(), received(reading + reading), 20000);
    }

    // The user closes the form while the balance goes on sending: a reading typed while no
    // application has the focus goes nowhere, and the next application gets the next one.
    void readingWithoutFocusedApplication()
    {
        typeReading(*m_desktop, QStringLiteral("N +0.000 g\r\n"));
        QTRY_COMPARE_WITH_TIMEOUT(m_sway->typed(), QByteArray("N +0.000 g\r"), 20000);
        m_sway->stopClient();
        typeReading(*m_desktop, QStringLiteral("N +1.000 g\r\n"));
        QVERIFY(m_sway->startClient());
        typeReading(*m_desktop, QStringLiteral("N +2.000 g\r\n"));
        QTRY_COMPARE_WITH_TIMEOUT(m_sway->typed(), QByteArray("N +2.000 g\r"), 20000);
    }

    void offeredOnlyByAReachableCompositor_data()
    {
        QTest::addColumn<QByteArray>("waylandDisplay");
        QTest::newRow("no Wayland session") << QByteArray();
        QTest::newRow("no compositor behind the socket") << QByteArray("/nonexistent/wayland-9");
    }
    void offeredOnlyByAReachableCompositor()
    {
        QFETCH(QByteArray, waylandDisplay);
        qputenv("WAYLAND_DISPLAY", waylandDisplay);
        QVERIFY(!Platform::Wayland::OpenVirtualKeyboard());
        qputenv("WAYLAND_DISPLAY", m_sway->waylandDisplay());
    }

    // Last: the session ends under the keyboard. The user is told once; typing is a no-op.
    void compositorGoesAway()
    {
        m_sway->stop();
        QTRY_COMPARE(m_failures.size(), 1);
        typeReading(*m_desktop, QStringLiteral("N +1.000 g\r\n"));
        QCOMPARE(m_failures.size(), 1);
        m_failures.clear();
    }
};

QTEST_MAIN(TestWaylandTyping)
#include "tst_wayland_typing.moc"
