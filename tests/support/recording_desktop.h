#pragma once
// Test double for the desktop: records the key texts typed and the beeps, and answers
// Now() with a fixed moment.

#include <QDateTime>
#include <QStringList>

#include "platform/desktop.h"

class RecordingDesktop : public Platform::Desktop
{
public:
    // Installs itself for the lifetime of the object.
    RecordingDesktop() { Platform::SetDesktop(this); }
    ~RecordingDesktop() override { Platform::SetDesktop(nullptr); }

    QStringList keys;
    int beeps = 0;

    void SendKeys(const QString& keyText) override { keys.append(keyText); }
    void Beep() override { ++beeps; }
    QDateTime Now() override { return QDateTime(QDate(2026, 12, 4), QTime(9, 41, 3)); }
};
