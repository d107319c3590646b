#pragma once
// What tests/wayland/key_recorder saw: the lines typed into its window, each with the time
// its Enter arrived (ms since the epoch), and whether F12 itself got through.

#include <QByteArray>
#include <QList>
#include <QString>

struct RecordedKeys
{
    QStringList lines;       // complete lines, empty ones left out
    QList<qint64> enteredAt; // per line
    bool sawF12 = false;

    explicit RecordedKeys(const QByteArray& log)
    {
        constexpr int QtKeyF12 = 0x0100003b, QtKeyReturn = 0x01000004;
        QString text;
        for (const QByteArray& line : log.split('\n')) {
            const qsizetype space = line.indexOf(' ');
            const QByteArray event = line.mid(space + 1);
            if (event.startsWith("text ")) {
                text += QString::fromUtf8(event.mid(5));
            } else if (event == "key " + QByteArray::number(QtKeyReturn)) {
                // A stray Enter (answering a dialog) leaves an empty line.
                if (!text.isEmpty()) {
                    lines << text;
                    enteredAt << line.left(space).toLongLong();
                }
                text.clear();
            } else if (event == "key " + QByteArray::number(QtKeyF12)) {
                sawF12 = true;
            }
        }
    }
};
