#include "support/fake_key_grab.h"

FakeKeyGrab::FakeKeyGrab()
{
    Platform::SetKeyGrab(this);
}

FakeKeyGrab::~FakeKeyGrab()
{
    Platform::SetKeyGrab(nullptr);
}

int FakeKeyGrab::press(int wParam, int vkCode)
{
    if (!m_handle || !m_procedure)
        return -1;
    return m_procedure(0, wParam, vkCode);
}

quintptr FakeKeyGrab::Install(int, Platform::HookProcedure procedure)
{
    ++installs;
    if (failNextInstall) {
        failNextInstall = false;
        return 0;
    }
    m_procedure = std::move(procedure);
    m_handle = m_nextHandle++;
    return m_handle;
}

void FakeKeyGrab::Remove(quintptr handle)
{
    ++removes;
    if (handle == m_handle) {
        m_handle = 0;
        m_procedure = nullptr;
    }
}
