// The F12 hook's states and its two messages, with a scripted desktop grab.

#include <QTest>

#include "keyhook/keyboard_hook.h"
#include "keyhook/keyhook.h"
#include "platform/user_prompts.h"
#include "shell/module_data.h"
#include "support/fake_key_grab.h"
#include "support/scripted_prompts.h"

namespace {

const QString TwiceText =
    QStringLiteral("Don't hook WH_KEYBOARD_LL twice or you will be unable to unhook it.");

class CountingClient : public KeyboardHook
{
public:
    int actions = 0;
    QVariant HookAction() override
    {
        ++actions;
        return {};
    }
};

} // namespace

class TestKeyhook : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void initKeyHookForgetsAnyEarlierState();
    void setKeyHookInstallsOnceAndReportsThroughHookSet_data();
    void setKeyHookInstallsOnceAndReportsThroughHookSet();
    void secondSetKeyHookWarnsAndKeepsTheFirstGrab();
    void removeKeyHookGivesTheKeyBackOnlyWhenSet_data();
    void removeKeyHookGivesTheKeyBackOnlyWhenSet();
    void keyMessagesAreSwallowedAndOnlyKeyDownActs_data();
    void keyMessagesAreSwallowedAndOnlyKeyDownActs();
    void procedureCalledWithoutHookSaysSoAndPassesTheKeyOn();

private:
    std::unique_ptr<FakeKeyGrab> m_grab;
    std::unique_ptr<ScriptedPrompts> m_prompts;
    CountingClient m_client;
};

void TestKeyhook::init()
{
    m_grab = std::make_unique<FakeKeyGrab>();
    m_prompts = std::make_unique<ScriptedPrompts>();
    m_client.actions = 0;
    Keyhook::HookClient = &m_client;
    Keyhook::InitKeyHook();
}

void TestKeyhook::cleanup()
{
    Keyhook::HookClient = nullptr;
    m_prompts.reset();
    m_grab.reset();
}

void TestKeyhook::initKeyHookForgetsAnyEarlierState()
{
    Keyhook::HookVKey = 65;
    Keyhook::HookSet = true;
    Keyhook::InitKeyHook();
    QCOMPARE(Keyhook::HookVKey, 123);
    QCOMPARE(Keyhook::HookSet, false);
    QCOMPARE(m_grab->installs, 0);
}

void TestKeyhook::setKeyHookInstallsOnceAndReportsThroughHookSet_data()
{
    QTest::addColumn<bool>("grabFails");
    QTest::newRow("grab taken: hook set") << false;
    QTest::newRow("grab refused: hook not set, no message") << true;
}

void TestKeyhook::setKeyHookInstallsOnceAndReportsThroughHookSet()
{
    QFETCH(bool, grabFails);
    m_grab->failNextInstall = grabFails;
    Keyhook::HookVKey = 65; // every SetKeyHook watches F12 again

    Keyhook::SetKeyHook();

    QCOMPARE(Keyhook::HookVKey, 123);
    QCOMPARE(m_grab->installs, 1);
    QCOMPARE(Keyhook::HookSet, !grabFails);
    QCOMPARE(Keyhook::HookHandle != 0, !grabFails);
    QCOMPARE(m_grab->installed(), !grabFails);
    QVERIFY(m_prompts->boxes.isEmpty());
}

void TestKeyhook::secondSetKeyHookWarnsAndKeepsTheFirstGrab()
{
    Keyhook::SetKeyHook();
    const quintptr first = Keyhook::HookHandle;

    Keyhook::SetKeyHook();

    QCOMPARE(m_prompts->boxes.size(), 1);
    QCOMPARE(m_prompts->boxes[0].prompt, TwiceText);
    QCOMPARE(m_prompts->boxes[0].style, int(Platform::vbOKOnly));
    QCOMPARE(m_prompts->boxes[0].title, Globals::AppTitle);
    QCOMPARE(m_grab->installs, 1);
    QCOMPARE(Keyhook::HookHandle, first);
    QVERIFY(Keyhook::HookSet);
    // The first grab still works and can still be given back.
    QCOMPARE(m_grab->press(Keyhook::WM_KEYDOWN, 123), 1);
    QCOMPARE(m_client.actions, 1);
    Keyhook::RemoveKeyHook();
    QVERIFY(!m_grab->installed());
}

void TestKeyhook::removeKeyHookGivesTheKeyBackOnlyWhenSet_data()
{
    QTest::addColumn<bool>("installFirst");
    QTest::newRow("installed: removed") << true;
    QTest::newRow("not installed: nothing to remove") << false;
}

void TestKeyhook::removeKeyHookGivesTheKeyBackOnlyWhenSet()
{
    QFETCH(bool, installFirst);
    if (installFirst)
        Keyhook::SetKeyHook();

    Keyhook::RemoveKeyHook();

    QCOMPARE(m_grab->removes, installFirst ? 1 : 0);
    QVERIFY(!Keyhook::HookSet);
    QVERIFY(!m_grab->installed());
    QCOMPARE(m_grab->press(Keyhook::WM_KEYDOWN, 123), -1); // F12 reaches the application
    QCOMPARE(m_client.actions, 0);
    // And the hook can be set again.
    Keyhook::SetKeyHook();
    QVERIFY(Keyhook::HookSet);
}

void TestKeyhook::keyMessagesAreSwallowedAndOnlyKeyDownActs_data()
{
    QTest::addColumn<int>("nCode");
    QTest::addColumn<int>("wParam");
    QTest::addColumn<int>("vkCode");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("actions");

    QTest::newRow("F12 down: acts, swallowed") << 0 << 0x100 << 123 << 1 << 1;
    QTest::newRow("F12 up: swallowed") << 0 << 0x101 << 123 << 1 << 0;
    QTest::newRow("Alt+F12 down: swallowed, no action") << 0 << 0x104 << 123 << 1 << 0;
    QTest::newRow("Alt+F12 up: swallowed") << 0 << 0x105 << 123 << 1 << 0;
    QTest::newRow("F11 down: passed on") << 0 << 0x100 << 122 << 0 << 0;
    QTest::newRow("letter A down: passed on") << 0 << 0x100 << 65 << 0 << 0;
    QTest::newRow("F12 with a non-action code: passed on") << 3 << 0x100 << 123 << 0 << 0;
}

void TestKeyhook::keyMessagesAreSwallowedAndOnlyKeyDownActs()
{
    QFETCH(int, nCode);
    QFETCH(int, wParam);
    QFETCH(int, vkCode);
    QFETCH(int, result);
    QFETCH(int, actions);
    Keyhook::SetKeyHook();

    QCOMPARE(Keyhook::KeyHookProc(nCode, wParam, vkCode), result);
    QCOMPARE(m_client.actions, actions);
    // Auto-repeat: every further key-down acts again.
    QCOMPARE(Keyhook::KeyHookProc(nCode, wParam, vkCode), result);
    QCOMPARE(m_client.actions, 2 * actions);
    QVERIFY(m_prompts->boxes.isEmpty());
}

void TestKeyhook::procedureCalledWithoutHookSaysSoAndPassesTheKeyOn()
{
    QCOMPARE(Keyhook::KeyHookProc(0, Keyhook::WM_KEYDOWN, 123), 0);

    QCOMPARE(m_client.actions, 0);
    QCOMPARE(m_prompts->boxes.size(), 1);
    QCOMPARE(m_prompts->boxes[0].prompt, QStringLiteral("Hook not set"));
    QCOMPARE(m_prompts->boxes[0].style, int(Platform::vbOKOnly));
    QCOMPARE(m_prompts->boxes[0].title, Globals::AppTitle);
}

QTEST_GUILESS_MAIN(TestKeyhook)
#include "tst_keyhook.moc"
