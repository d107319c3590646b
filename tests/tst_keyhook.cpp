// The F12 hook's states and its two messages, with a scripted desktop grab.

#include <QTest>

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

private slots:
    // Steps: "set", "refused" (a set the desktop refuses) or "remove"; then the key message
    // arrives twice, as auto-repeat sends it.
    void hookStepsThenKeyMessage_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QList<int>>("grabCalls"); // installs, removes
        QTest::addColumn<QList<int>>("message");   // nCode, wParam, vkCode
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("actions");
        QTest::addColumn<QStringList>("boxes");
        const auto row = [](const char* name, const char* steps, QList<int> grabCalls,
                            QList<int> message, int result, int actions, QStringList boxes = {}) {
            QTest::newRow(name) << QString(steps) << grabCalls << message << result << actions
                                << boxes;
        };
        const QList<int> down{0, 0x100, 123};
        const QString twice = "Don't hook WH_KEYBOARD_LL twice or you will be unable to unhook it.";
        const QStringList notSet(2, "Hook not set");
        row("F12 up swallowed", "set", {1, 0}, {0, 0x101, 123}, 1, 0);
        row("Alt+F12 down swallowed, no action", "set", {1, 0}, {0, 0x104, 123}, 1, 0);
        row("Alt+F12 up swallowed", "set", {1, 0}, {0, 0x105, 123}, 1, 0);
        row("F11 down passed on", "set", {1, 0}, {0, 0x100, 122}, 0, 0);
        row("F12 with a non-action code passed on", "set", {1, 0}, {3, 0x100, 123}, 0, 0);
        row("refused: not set", "refused", {1, 0}, down, 0, 0, notSet);
        row("set twice: warns, first grab kept; F12 down acts each time", "set set", {1, 0}, down,
            1, 2, {twice});
        row("set twice, removed: first grab given back", "set set remove", {1, 1}, down, 0, 0,
            QStringList{twice} + notSet);
        row("remove without hook: nothing removed", "remove", {0, 0}, down, 0, 0, notSet);
        row("removed, set again", "set remove set", {2, 1}, down, 1, 2);
    }
    void hookStepsThenKeyMessage()
    {
        QFETCH(QString, steps);
        QFETCH(QList<int>, grabCalls);
        QFETCH(QList<int>, message);
        QFETCH(int, result);
        QFETCH(int, actions);
        QFETCH(QStringList, boxes);
        FakeKeyGrab grab;
        ScriptedPrompts prompts;
        CountingClient client;
        Keyhook::HookClient = &client;
        Keyhook::HookSet = true;
        Keyhook::InitKeyHook(); // forgets any earlier state
        for (const QString& step : steps.split(u' ')) {
            grab.failNextInstall = step == u"refused";
            step == u"remove" ? Keyhook::RemoveKeyHook() : Keyhook::SetKeyHook();
        }
        QCOMPARE((QList<int>{grab.installs, grab.removes}), grabCalls);
        QCOMPARE(grab.installed(), Keyhook::HookSet);
        for (int round = 0; round < 2; ++round)
            QCOMPARE(Keyhook::KeyHookProc(message[0], message[1], message[2]), result);
        QCOMPARE(client.actions, actions);
        QStringList shown;
        for (const RecordedBox& b : prompts.boxes) // plain OK boxes with the title, or marked
            shown << (b.style == Platform::vbOKOnly && b.title == Globals::AppTitle ? "" : "BAD ") +
                         b.prompt;
        QCOMPARE(shown, boxes);
    }
};

QTEST_GUILESS_MAIN(TestKeyhook)
#include "tst_keyhook.moc"
