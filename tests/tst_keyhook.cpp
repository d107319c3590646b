// The F12 hook's states and its two messages, with a scripted desktop grab.

#include <QTest>
#include <optional>

#include "keyhook/keyboard_hook.h"
#include "keyhook/keyhook.h"
#include "platform/user_prompts.h"
#include "shell/module_data.h"
#include "support/fake_key_grab.h"
#include "support/scripted_prompts.h"

namespace {
class CountingClient : public KeyboardHook
{
public:
    int actions = 0;
    QVariant HookAction() override { return ++actions, QVariant(); }
};
} // namespace

class TestKeyhook : public QObject
{
    Q_OBJECT

    std::optional<FakeKeyGrab> m_grab;
    std::optional<ScriptedPrompts> m_prompts;
    CountingClient m_client;

    // The prompts of the boxes shown; any but a plain OK box with the title is marked.
    QStringList prompts()
    {
        QStringList shown;
        for (const RecordedBox& b : m_prompts->boxes)
            shown << (b.style == Platform::vbOKOnly && b.title == Globals::AppTitle ? "" : "BAD ") +
                         b.prompt;
        return shown;
    }

private slots:
    void init()
    {
        m_grab.emplace();
        m_prompts.emplace();
        m_client.actions = 0;
        Keyhook::HookClient = &m_client;
        Keyhook::HookVKey = 65;
        Keyhook::HookSet = true;
        Keyhook::InitKeyHook(); // forgets any earlier state
        QCOMPARE(Keyhook::HookVKey, 123);
        QCOMPARE(Keyhook::HookSet, false);
    }

    // Steps: "set", "refused" (a set the desktop refuses) or "remove"; then F12 is pressed.
    void hookStepsLeaveTheGrabAsExpected_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<int>("installs");
        QTest::addColumn<int>("removes");
        QTest::addColumn<bool>("hookSet");
        QTest::addColumn<bool>("warned");
        QTest::newRow("set: F12 acts") << "set" << 1 << 0 << true << false;
        QTest::newRow("refused: not set, no message") << "refused" << 1 << 0 << false << false;
        QTest::newRow("set twice: warns, first grab kept") << "set set" << 1 << 0 << true << true;
        QTest::newRow("set twice, removed: first grab given back")
            << "set set remove" << 1 << 1 << false << true;
        QTest::newRow("removed: F12 reaches the application")
            << "set remove" << 1 << 1 << false << false;
        QTest::newRow("remove without hook: nothing removed")
            << "remove" << 0 << 0 << false << false;
        QTest::newRow("removed, set again") << "set remove set" << 2 << 1 << true << false;
    }
    void hookStepsLeaveTheGrabAsExpected()
    {
        QFETCH(QString, steps);
        QFETCH(int, installs);
        QFETCH(int, removes);
        QFETCH(bool, hookSet);
        QFETCH(bool, warned);
        for (const QString& step : steps.split(u' ')) {
            m_grab->failNextInstall = step == u"refused";
            Keyhook::HookVKey = step == u"remove" ? 123 : 65; // a set watches F12 again
            step == u"remove" ? Keyhook::RemoveKeyHook() : Keyhook::SetKeyHook();
            QCOMPARE(Keyhook::HookVKey, 123);
        }
        QCOMPARE(m_grab->installs, installs);
        QCOMPARE(m_grab->removes, removes);
        QCOMPARE(Keyhook::HookSet, hookSet);
        if (!steps.endsWith(u"remove")) // a removal leaves the stale handle behind
            QCOMPARE(Keyhook::HookHandle != 0, hookSet);
        QCOMPARE(m_grab->installed(), hookSet);
        QCOMPARE(prompts(), warned ? QStringList{"Don't hook WH_KEYBOARD_LL twice or you will be "
                                                 "unable to unhook it."}
                                   : QStringList());
        // A set hook swallows F12 and acts; otherwise F12 reaches the application.
        QCOMPARE(m_grab->press(Keyhook::WM_KEYDOWN, 123), hookSet ? 1 : -1);
        QCOMPARE(m_client.actions, hookSet ? 1 : 0);
    }

    void keyMessagesAreSwallowedAndOnlyKeyDownActs_data()
    {
        QTest::addColumn<bool>("hooked");
        QTest::addColumn<QList<int>>("message"); // nCode, wParam, vkCode
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("actions");
        const auto row = [](const char* name, bool hooked, QList<int> message, int result,
                            int actions) {
            QTest::newRow(name) << hooked << message << result << actions;
        };
        row("F12 down: acts, swallowed", true, {0, 0x100, 123}, 1, 1);
        row("F12 up: swallowed", true, {0, 0x101, 123}, 1, 0);
        row("Alt+F12 down: swallowed, no action", true, {0, 0x104, 123}, 1, 0);
        row("Alt+F12 up: swallowed", true, {0, 0x105, 123}, 1, 0);
        row("F11 down: passed on", true, {0, 0x100, 122}, 0, 0);
        row("F12 with a non-action code: passed on", true, {3, 0x100, 123}, 0, 0);
        row("F12 down without a hook: passed on, says so", false, {0, 0x100, 123}, 0, 0);
    }
    void keyMessagesAreSwallowedAndOnlyKeyDownActs()
    {
        QFETCH(bool, hooked);
        QFETCH(QList<int>, message);
        QFETCH(int, result);
        QFETCH(int, actions);
        if (hooked)
            Keyhook::SetKeyHook();
        for (int round = 1; round <= 2; ++round) { // auto-repeat: every key-down acts again
            QCOMPARE(Keyhook::KeyHookProc(message[0], message[1], message[2]), result);
            QCOMPARE(m_client.actions, round * actions);
            QCOMPARE(prompts(), hooked ? QStringList() : QStringList(round, "Hook not set"));
        }
    }
};

QTEST_GUILESS_MAIN(TestKeyhook)
#include "tst_keyhook.moc"
