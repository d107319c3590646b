#pragma once
// Test double for the desktop-wide key grab: installs or fails on request, and lets the
// test deliver key messages to the hook procedure as the desktop would.

#include <utility>

#include "platform/key_grab.h"

class FakeKeyGrab : public Platform::KeyGrab
{
public:
    // Installs itself for the lifetime of the object.
    FakeKeyGrab() { Platform::SetKeyGrab(this); }
    ~FakeKeyGrab() override { Platform::SetKeyGrab(nullptr); }

    bool failNextInstall = false;
    int installs = 0;
    int removes = 0;
    bool installed() const { return m_handle != 0; }

    // Delivers one key message; returns the procedure's answer (1 = swallowed), or -1
    // when nothing is installed (the key then reaches the application).
    int press(int wParam, int vkCode) { return m_handle ? m_procedure(0, wParam, vkCode) : -1; }

    quintptr Install(int, Platform::HookProcedure procedure) override
    {
        ++installs;
        if (std::exchange(failNextInstall, false))
            return 0;
        m_procedure = std::move(procedure);
        return m_handle = 0x1000 + installs;
    }
    void Remove(quintptr handle) override
    {
        ++removes;
        if (handle == m_handle)
            m_handle = 0;
    }

private:
    quintptr m_handle = 0;
    Platform::HookProcedure m_procedure;
};
