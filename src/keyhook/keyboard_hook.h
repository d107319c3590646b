#pragma once
// The client of the function-key hook: one operation, called on every press of the key.

#include <QVariant>

class KeyboardHook
{
public:
    virtual ~KeyboardHook() = default;
    virtual QVariant HookAction() = 0;
};
