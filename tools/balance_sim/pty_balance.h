#pragma once
// A balance on a serial line, played through a pseudo-terminal pair: the program opens the
// slave side as its serial port. The slave is set raw, as a serial line carries bytes
// unchanged. Hanging up closes the master; a new pair is made at once and the link, if
// any, moves to it, so a program that reopens the link finds the balance again.

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

class Balance;
class BalanceSession;
class QSocketNotifier;

class PtyBalance : public QObject
{
    Q_OBJECT
public:
    // linkPath may be empty: no symlink then.
    PtyBalance(Balance* balance, const QString& linkPath, QObject* parent = nullptr);
    ~PtyBalance() override;

    // Makes the pair (and the link). False, with errorString(), when that fails.
    bool open();
    QString slavePath() const { return m_slavePath; }
    QString errorString() const { return m_error; }

signals:
    // A new pair replaced the one that was hung up.
    void reopened(const QString& slavePath);

private:
    void closePair();
    bool makeLink();
    void removeLink();
    bool clientAttached() const;
    void watchForClient();
    void readFromClient();
    void write(const QByteArray& bytes);
    void writePending();
    void hangUp();
    void finishHangUp();

    Balance* m_balance;
    QString m_linkPath;
    QString m_slavePath;
    QString m_error;
    int m_master = -1;
    QSocketNotifier* m_readNotifier = nullptr;
    QSocketNotifier* m_writeNotifier = nullptr;
    QPointer<BalanceSession> m_session;
    QByteArray m_pending;
    QTimer m_clientProbe;
    QTimer m_drainCheck;
    QElapsedTimer m_hangUpDeadline;
    int m_drainFd = -1;
    int m_emptyChecks = 0;
};
