#pragma once
// Every record a channel window receives, published to the lab's broker in order, from
// the channel's journal on disk rather than from memory, so that a broker or network
// outage, a wrong password or the program being killed loses nothing.
//
// The receive path only tells that text arrived (Arrived) and never waits: the publisher
// reads the journal on its own timer. Per channel, "Channel-<n>.published" beside the
// journal holds the mark: every record before it is with the broker. Records are numbered
// by "seq", their byte offset in the channel's journal; a journal that is cleared away
// hands its numbers on to the next one, so a consumer can drop repeats by host, channel
// and seq. A journal cleared or settled away while it still holds unpublished records is
// kept as "Channel-<n>-<seq>.unpublished" until the broker has them. Text that reaches a
// window without going into its journal (a full disk, the journals held by another copy
// of the program) is kept in memory until the broker has it, numbered on after the
// journal; it is lost if the program ends before that.

#include <QHash>
#include <QObject>
#include <QString>
#include <array>
#include <deque>
#include <memory>
#include <vector>

#include "publish/publish_settings.h"
#include "shell/module_data.h"

class QFile;
class QTimer;

namespace Publish {

class MqttLink;

class Publisher : public QObject
{
    Q_OBJECT
public:
    explicit Publisher(QObject* parent = nullptr);
    ~Publisher() override;

    // Publishes with these settings from now on (connecting again once the password is
    // read), or stops when they are off.
    void Apply(const PublishSettings& settings);
    // Apply with the section [Publish] of the settings store.
    void ApplyStoredSettings() { Apply(LoadPublishSettings()); }
    bool Enabled() const { return m_settings.enabled; }
    // Text for the channel reached its window (and so, mostly, its journal).
    void Arrived(int ch, const QString& text);
    // "" while publishing is off; else connected, or not with the reason and the readings
    // waiting.
    QString StateText() const;
    qint64 Waiting() const;
    // Writes the marks now.
    void SaveMarks();

signals:
    void StateChanged(const QString& text);

private:
    struct Record
    {
        qint64 seq;
        qint32 length;
        int mid = 0; // while sent and not acknowledged
        bool done = false;
        qint64 arrival; // ms since the epoch
    };
    struct Retired
    {
        QString path;
        qint64 base;
        qint64 size;
    };
    struct Channel
    {
        bool loaded = false;
        qint64 base = 0;       // the seq of the journal's first byte
        qint64 counted = 0;    // records before this seq are in `records` or acknowledged
        qint64 savedMark = -1; // what the mark file holds
        qint64 savedBase = 0;
        std::deque<Record> records; // found, not yet acknowledged
        std::size_t sent = 0;       // how many of them went out on this connection
        std::vector<Retired> retired;
        qint64 arrival = 0; // when the bytes not read yet began to arrive (0: unknown)
        // The journal, open for reading while it is the channel's.
        std::shared_ptr<QFile> journal;
        // Text the journal did not take, from seq memoryBase on.
        QByteArray memory;
        qint64 memoryBase = 0;
        qint64 mark() const { return records.empty() ? counted : records.front().seq; }
    };

    void connectLink(const QString& password);
    void link_Connected();
    void link_Disconnected(const QString& reason);
    void link_Acknowledged(int mid);
    void pollTimer_Timer();
    // Also looks at every channel, writes the marks and the state.
    void tickTimer_Timer();
    Channel& channel(int ch);
    // Finds the records that arrived; false when nothing more is to be read now.
    bool scan(int ch);
    void send(int ch);
    // Bytes from seq on from whichever file holds them; complete when they end a file
    // that does not grow any more.
    QByteArray read(int ch, qint64 seq, qint64 length, bool& complete);
    bool journalRemoved(int ch, const QString& path);
    void dropPublishedRetired(Channel& state);
    void saveMark(int ch);
    void setState();

    PublishSettings m_settings;
    std::unique_ptr<MqttLink> m_link;
    std::array<Channel, Globals::MaxChannels + 1> m_channels;
    std::array<bool, Globals::MaxChannels + 1> m_dirty{}; // to be read at the next poll
    QHash<int, int> m_inflight;                           // message id -> channel
    QString m_reason;                                     // why there is no connection
    QString m_stateText;
    QTimer* m_pollTimer;
    QTimer* m_tickTimer;
    int m_applied = 0; // counts Apply, so that a late password of older settings is ignored
};

// The program's one publisher (nullptr before the main window made it).
Publisher* ThePublisher();

} // namespace Publish
