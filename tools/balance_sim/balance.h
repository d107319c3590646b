#pragma once
// One simulated balance: its weight, its on/off state and how it misbehaves. Every line to
// it (a TCP client, a pty) talks to it through a BalanceSession of its own.

#include <QObject>
#include <QString>
#include <QTimer>

#include "reading_source.h"

// Ways a balance or its line can go wrong, for tests and benchmarks of the receiving side.
struct Misbehaviour
{
    int dropAfter = 0;    // hang up after this many readings on one line (0: never)
    int stallMs = 0;      // answer nothing for this long after each reading
    int burst = 1;        // readings sent for one request
    int garbageEvery = 0; // every n-th reading is random bytes instead (0: never)
    bool noLineEnd = false;
    bool split = false; // one byte per write
};

class Balance : public QObject
{
    Q_OBJECT
public:
    Balance(double baseWeight, const QString& unit, quint32 seed, double rateHz,
            const Misbehaviour& misbehaviour, QObject* parent = nullptr);

    bool isOn() const { return m_on; }
    void setOn(bool on) { m_on = on; }

    const Misbehaviour& misbehaviour() const { return m_misbehaviour; }

    // The next reading line, shared by all lines to this balance so the drift is one.
    QByteArray nextLine() { return m_source.nextLine(!m_misbehaviour.noLineEnd); }
    QByteArray garbage(qsizetype size) { return m_source.garbage(size); }

signals:
    // Time for an unrequested reading (continuous mode).
    void tick();

private:
    ReadingSource m_source;
    Misbehaviour m_misbehaviour;
    QTimer m_rateTimer;
    bool m_on = true;
};
