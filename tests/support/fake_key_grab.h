#pragma once
// Test double for the desktop-wide key grab: installs or fails on request, and lets the
// test deliver key messages to the hook procedure as the desktop would.

#include "platform/key_grab.h"

class FakeKeyGrab : public Platform::KeyGrab
{
public:
    // Installs itself for the lifetime of the object.
    FakeKeyGrab();
    ~FakeKeyGrab() override;

    bool failNextInstall = false;
    int installs = 0;
    int removes = 0;
    bool installed() const { return m_handle != 0; }

    // Delivers one key message; returns the procedure's answer (1 = swallowed), or -1
    // when nothing is installed (the key then reaches the application).
    int press(int wParam, int vkCode);

    quintptr Install(int vkCode, Platform::HookProcedure procedure) override;
    void Remove(quintptr handle) override;

private:
    quintptr m_handle = 0;
    quintptr m_nextHandle = 0x1000;
    Platform::HookProcedure m_procedure;
};
