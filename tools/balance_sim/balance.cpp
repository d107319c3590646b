#include "balance.h"

#include <cmath>

Balance::Balance(double baseWeight, const QString& unit, quint32 seed, double rateHz,
                 const Misbehaviour& misbehaviour, QObject* parent)
    : QObject(parent), m_source(baseWeight, unit, seed), m_misbehaviour(misbehaviour)
{
    if (rateHz > 0) {
        m_rateTimer.setTimerType(Qt::PreciseTimer);
        m_rateTimer.setInterval(qMax(1, int(std::lround(1000.0 / rateHz))));
        connect(&m_rateTimer, &QTimer::timeout, this, &Balance::tick);
        m_rateTimer.start();
    }
}
