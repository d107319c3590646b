#pragma once
// Turns SIGINT and SIGTERM into an orderly quit of the event loop, so links are removed
// and ptys closed on the way out.

#include <QObject>

class QSocketNotifier;

class StopSignals : public QObject
{
    Q_OBJECT
public:
    explicit StopSignals(QObject* parent = nullptr);
    ~StopSignals() override;

signals:
    void stopRequested();

private:
    QSocketNotifier* m_notifier = nullptr;
};
