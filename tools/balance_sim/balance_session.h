#pragma once
// The conversation on one line to a balance: commands in, readings out, with the
// balance's misbehaviour applied. The transport (socket, pty) moves the bytes.

#include <QByteArray>
#include <QObject>
#include <QTimer>

class Balance;

class BalanceSession : public QObject
{
    Q_OBJECT
public:
    explicit BalanceSession(Balance* balance, QObject* parent = nullptr);

    // Bytes that arrived from the line, in any pieces.
    void receive(const QByteArray& bytes);

signals:
    // Bytes for the line, in the order they are to go out.
    void send(const QByteArray& bytes);
    // The line is to be closed; emitted once, after the last reading went out.
    void hangUp();

private:
    void command(const QByteArray& text);
    void answerRequest();
    void sendReadings(int count);
    void continuousReading();
    void stallEnded();
    void output(const QByteArray& bytes);
    void sendNextByte();
    void finishIfDone();

    Balance* m_balance;
    QByteArray m_line;
    int m_readings = 0;
    int m_waitingRequests = 0;
    bool m_hangingUp = false;
    bool m_hungUp = false;
    QTimer m_stall;
    QByteArray m_splitQueue;
    QTimer m_splitTimer;
};
