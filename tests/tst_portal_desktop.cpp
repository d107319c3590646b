// Typing and F12 through the desktop portal, against a stand-in portal that answers the
// consent dialog as the user would, revokes sessions and takes each restore token once.

#include <QDBusArgument>
#include <QTest>

#include "platform/session_backends.h"
#include "platform/settings_store.h"
#include "support/stand_in_portal.h"

using Platform::BackendFeature;

namespace {
const QString Section = QStringLiteral("Wayland");
const QString TokenKey = QStringLiteral("RestoreToken");

// A reading as the receive path types it: one key text per character.
const QStringList Reading{"1", "2", ".", "5", " ", "g", "{TAB}", "µ", "°", "€", "{ENTER}"};

// Keysym and state (1 down, 0 up) of every key event, in the order they arrived.
QList<int> pressesOf(const QList<int>& keysyms)
{
    QList<int> events;
    for (const int keysym : keysyms)
        events << keysym << 1 << keysym << 0;
    return events;
}
} // namespace

class TestPortalDesktop : public QObject
{
    Q_OBJECT

    std::unique_ptr<StandInPortal> m_portal;
    QList<BackendFeature> m_failures;

    QList<int> keyEvents()
    {
        return qdbus_cast<QList<int>>(m_portal->get("keys").value<QDBusArgument>());
    }

private slots:
    void initTestCase()
    {
        m_portal = std::make_unique<StandInPortal>();
        QVERIFY2(m_portal->isRunning(), qPrintable(m_portal->errorText()));
        Platform::SetBackendFailureHandler(
            [this](BackendFeature feature, const QString&) { m_failures << feature; });
    }

    void init()
    {
        m_failures.clear();
        m_portal->set("consent", "grant");
        m_portal->set("keys", QVariantList());
        m_portal->set("bound_shortcuts", QStringList());
        m_portal->set("created_shortcuts", QStringList());
        for (const char* counter : {"dialogs", "stale_tokens", "max_in_flight"})
            m_portal->set(counter, 0);
    }

    // storedToken: "" none, "valid" the one the portal handed out last, "used" an old one.
    void readingTyped_data()
    {
        QTest::addColumn<QString>("consent");
        QTest::addColumn<QString>("storedToken");
        QTest::addColumn<bool>("closedLater");
        QTest::addColumn<int>("dialogs");
        QTest::newRow("consent granted: typed in order, one key event at a time")
            << "grant"
            << "" << false << 1;
        QTest::newRow("consent refused: reported once, keys dropped") << "refuse"
                                                                      << "" << false << 1;
        QTest::newRow("stored permission: no dialog") << "grant"
                                                      << "valid" << false << 0;
        QTest::newRow("used-up token: asked again, newest stored") << "grant"
                                                                   << "used" << false << 1;
        QTest::newRow("session revoked later: reported; the next reading restores it")
            << "grant"
            << "" << true << 1;
    }
    void readingTyped()
    {
        QFETCH(QString, consent);
        QFETCH(QString, storedToken);
        QFETCH(bool, closedLater);
        QFETCH(int, dialogs);
        m_portal->set("consent", consent);
        // Slow answers: a key event sent before the previous one's reply would show here.
        m_portal->set("key_delay_ms", 15);
        if (storedToken == "valid")
            m_portal->set("valid_token", "token-kept");
        SettingsStore::SaveSetting(Section, TokenKey,
                                   storedToken == "valid"  ? "token-kept"
                                   : storedToken == "used" ? "token-used"
                                                           : "");

        std::unique_ptr<Platform::Desktop> desktop = Platform::Portal::OpenRemoteDesktop();
        QVERIFY(desktop);
        for (const QString& key : Reading)
            desktop->SendKeys(key);

        if (consent == "refuse") {
            QTRY_COMPARE(m_failures, QList{BackendFeature::Typing});
            QCOMPARE(keyEvents(), QList<int>());
            QCOMPARE(m_portal->get("dialogs").toInt(), dialogs);
            return;
        }
        const QList<int> typed =
            pressesOf({'1', '2', '.', '5', ' ', 'g', 0xff09, 0xb5, 0xb0, 0x20ac, 0xff0d});
        QTRY_COMPARE_WITH_TIMEOUT(keyEvents(), typed, 15000);
        QCOMPARE(m_portal->get("max_in_flight").toInt(), 1);
        QCOMPARE(m_portal->get("dialogs").toInt(), dialogs);
        QCOMPARE(m_portal->get("persist_mode").toInt(), 2);
        QCOMPARE(m_portal->get("stale_tokens").toInt(), storedToken == "used" ? 1 : 0);
        QCOMPARE(SettingsStore::GetSetting(Section, TokenKey),
                 m_portal->get("valid_token").toString());
        QCOMPARE(m_failures, QList<BackendFeature>());
        if (!closedLater)
            return;

        m_portal->call("CloseSessions", {"remote"});
        QTRY_COMPARE(m_failures, QList{BackendFeature::Typing});
        m_portal->set("keys", QVariantList());
        desktop->SendKeys("7");
        QTRY_COMPARE(keyEvents(), pressesOf({'7'}));
        QCOMPARE(m_portal->get("dialogs").toInt(), dialogs);
    }

    void functionKey_data()
    {
        QTest::addColumn<QString>("consent");
        QTest::addColumn<bool>("closedLater");
        QTest::newRow("pressed and released: key down, then key up") << "grant" << false;
        QTest::newRow("refused: reported") << "refuse" << false;
        QTest::newRow("session revoked later: reported") << "grant" << true;
    }
    void functionKey()
    {
        QFETCH(QString, consent);
        QFETCH(bool, closedLater);
        m_portal->set("consent", consent);
        std::unique_ptr<Platform::KeyGrab> grab = Platform::Portal::OpenGlobalShortcuts();
        QVERIFY(grab);
        QList<int> messages;
        const quintptr handle = grab->Install(123, [&](int nCode, int wParam, int vkCode) {
            messages << nCode << wParam << vkCode;
            return 1;
        });
        QVERIFY(handle != 0);
        if (consent == "refuse") {
            QTRY_COMPARE(m_failures, QList{BackendFeature::FunctionKey});
            return;
        }
        const QStringList ours{"start-stop-transfer"};
        QTRY_COMPARE(m_portal->get("bound_shortcuts").toStringList(), ours);
        QCOMPARE(m_portal->get("created_shortcuts").toStringList(), ours);
        if (closedLater) {
            m_portal->call("CloseSessions", {"shortcuts"});
            QTRY_COMPARE(m_failures, QList{BackendFeature::FunctionKey});
            return;
        }
        m_portal->call("Press");
        QTRY_COMPARE(messages, QList<int>({0, 0x100, 123}));
        m_portal->call("Release");
        QTRY_COMPARE(messages, QList<int>({0, 0x100, 123, 0, 0x101, 123}));
        grab->Remove(handle);
        QCOMPARE(m_failures, QList<BackendFeature>());
    }
};

QTEST_MAIN(TestPortalDesktop)
#include "tst_portal_desktop.moc"
