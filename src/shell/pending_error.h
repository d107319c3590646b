#pragma once
// The pending error of the current operation. Routines that must not stop at a failing
// step record the failure here and carry on; the connection error box reports it, and the
// caller clears it afterwards. Nothing is ever thrown.

#include <QString>

namespace Globals {
struct ErrObject
{
    int Number = 0;
    QString Description;

    void Raise(int number, const QString& description)
    {
        Number = number;
        Description = description;
    }
    void Clear()
    {
        Number = 0;
        Description.clear();
    }
};

inline ErrObject Err;
} // namespace Globals
