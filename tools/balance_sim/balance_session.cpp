#include "balance_session.h"

#include "balance.h"

namespace {

// A command longer than this without a line end is noise; it is thrown away so that a
// client sending endless bytes cannot grow the buffer.
constexpr qsizetype MaxCommandLength = 256;

// Pause between the single bytes of a split reading, so they reach the other side as
// separate reads rather than being merged again on the way.
constexpr int SplitByteIntervalMs = 1;

} // namespace

BalanceSession::BalanceSession(Balance* balance, QObject* parent)
    : QObject(parent), m_balance(balance)
{
    m_stall.setSingleShot(true);
    connect(&m_stall, &QTimer::timeout, this, &BalanceSession::stallEnded);
    m_splitTimer.setInterval(SplitByteIntervalMs);
    connect(&m_splitTimer, &QTimer::timeout, this, &BalanceSession::sendNextByte);
    connect(balance, &Balance::tick, this, &BalanceSession::continuousReading);
}

void BalanceSession::receive(const QByteArray& bytes)
{
    for (const char byte : bytes) {
        if (byte == '\r' || byte == '\n') {
            // CR LF gives an empty second line, which is simply skipped.
            if (!m_line.isEmpty())
                command(m_line.trimmed());
            m_line.clear();
        } else if (m_line.size() < MaxCommandLength) {
            m_line += byte;
        } else {
            m_line.clear();
        }
    }
}

void BalanceSession::command(const QByteArray& text)
{
    if (m_hangingUp)
        return;
    if (text == "ON") {
        m_balance->setOn(true);
    } else if (text == "OFF") {
        m_balance->setOn(false);
    } else if (text == "PRT") {
        if (!m_balance->isOn())
            return;
        // A busy balance keeps the request in its input buffer and answers it later.
        if (m_stall.isActive())
            ++m_waitingRequests;
        else
            answerRequest();
    }
    // Anything else is a command this balance does not know: it says nothing.
}

void BalanceSession::answerRequest()
{
    sendReadings(qMax(1, m_balance->misbehaviour().burst));
}

void BalanceSession::continuousReading()
{
    if (m_hangingUp || m_stall.isActive() || !m_balance->isOn())
        return;
    sendReadings(1);
}

void BalanceSession::sendReadings(int count)
{
    const Misbehaviour& mis = m_balance->misbehaviour();
    QByteArray bytes;
    for (int i = 0; i < count; ++i) {
        const QByteArray line = m_balance->nextLine();
        ++m_readings;
        if (mis.garbageEvery > 0 && m_readings % mis.garbageEvery == 0)
            bytes += m_balance->garbage(line.size());
        else
            bytes += line;
        if (mis.dropAfter > 0 && m_readings >= mis.dropAfter) {
            m_hangingUp = true;
            break;
        }
    }
    output(bytes);
    if (mis.stallMs > 0 && !m_hangingUp)
        m_stall.start(mis.stallMs);
    finishIfDone();
}

void BalanceSession::stallEnded()
{
    if (m_waitingRequests <= 0 || m_hangingUp)
        return;
    --m_waitingRequests;
    if (m_balance->isOn())
        answerRequest();
}

void BalanceSession::output(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return;
    if (!m_balance->misbehaviour().split) {
        emit send(bytes);
        return;
    }
    m_splitQueue += bytes;
    if (!m_splitTimer.isActive()) {
        sendNextByte();
        if (!m_splitQueue.isEmpty())
            m_splitTimer.start();
    }
}

void BalanceSession::sendNextByte()
{
    if (m_splitQueue.isEmpty()) {
        m_splitTimer.stop();
        finishIfDone();
        return;
    }
    const QByteArray byte = m_splitQueue.left(1);
    m_splitQueue.remove(0, 1);
    emit send(byte);
    if (m_splitQueue.isEmpty()) {
        m_splitTimer.stop();
        finishIfDone();
    }
}

void BalanceSession::finishIfDone()
{
    if (m_hangingUp && !m_hungUp && m_splitQueue.isEmpty()) {
        m_hungUp = true;
        emit hangUp();
    }
}
