#include "publish/publisher.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTimer>
#include <algorithm>

#include "channel_window/channel_journal.h"
#include "platform/desktop.h"
#include "platform/durable_file.h"
#include "platform/message_log.h"
#include "publish/mqtt_link.h"
#include "publish/password_store.h"
#include "publish/records.h"

namespace Publish {
namespace {

Publisher* g_publisher = nullptr;

// Arrivals are gathered this long before the journals are read.
constexpr int PollDelayMs = 20;
constexpr int TickMs = 1000;
constexpr qint64 ScanChunk = 256 * 1024;
// Records found ahead of what the broker has, per channel: beyond it the rest waits in
// the journal, unread, so that a long outage does not fill the memory.
constexpr std::size_t MaxFound = 200000;
// Messages handed to the client and not yet acknowledged, for all channels together.
constexpr int SendWindow = 1000;

const QLoggingCategory& Log()
{
    return Platform::SubsystemCategory(__FILE__);
}

QString JournalPath(int ch)
{
    return Channel_Journal::Folder() + QStringLiteral("/Channel-%1.journal").arg(ch);
}

QString MarkPath(int ch)
{
    return Channel_Journal::Folder() + QStringLiteral("/Channel-%1.published").arg(ch);
}

QString RetiredPath(int ch, qint64 base)
{
    return Channel_Journal::Folder() +
           QStringLiteral("/Channel-%1-%2.unpublished").arg(ch).arg(base);
}

qint64 NowMs()
{
    return Platform::TheDesktop().Now().toMSecsSinceEpoch();
}

bool ReadFile(const QString& path, qint64 offset, qint64 length, QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(offset))
        return false;
    bytes = file.read(length);
    return true;
}

} // namespace

Publisher* ThePublisher()
{
    return g_publisher;
}

Publisher::Publisher(QObject* parent) : QObject(parent)
{
    g_publisher = this;
    m_pollTimer = new QTimer(this);
    m_pollTimer->setSingleShot(true);
    connect(m_pollTimer, &QTimer::timeout, this, &Publisher::pollTimer_Timer);
    m_tickTimer = new QTimer(this);
    m_tickTimer->setInterval(TickMs);
    connect(m_tickTimer, &QTimer::timeout, this, &Publisher::tickTimer_Timer);
    Channel_Journal::SetRemoveHook(
        [this](int ch, const QString& path) { return journalRemoved(ch, path); });
}

Publisher::~Publisher()
{
    Channel_Journal::SetRemoveHook(nullptr);
    m_link.reset();
    SaveMarks();
    if (g_publisher == this)
        g_publisher = nullptr;
}

void Publisher::Apply(const PublishSettings& settings)
{
    ++m_applied;
    m_link.reset();
    m_inflight.clear();
    for (Channel& state : m_channels) {
        for (Record& record : state.records)
            record.mid = 0;
        state.sent = 0;
    }
    m_settings = settings;
    m_reason.clear();
    if (!settings.enabled) {
        m_tickTimer->stop();
        setState();
        return;
    }
    // Records are found and counted from now on; they go out once there is a connection.
    m_reason = QStringLiteral("connecting");
    m_tickTimer->start();
    tickTimer_Timer();
    const int applied = m_applied;
    ReadPassword(settings.user, this, [this, applied](const QString& password) {
        if (applied == m_applied && m_settings.enabled)
            connectLink(password);
    });
}

void Publisher::connectLink(const QString& password)
{
    MqttLink::Options options;
    options.host = m_settings.host();
    options.port = m_settings.port();
    options.clientId = m_settings.clientId;
    options.user = m_settings.user;
    options.password = password;
    options.tls = m_settings.tls;
    options.caFile = m_settings.caFile;
    m_link = std::make_unique<MqttLink>(options);
    connect(m_link.get(), &MqttLink::Connected, this, &Publisher::link_Connected);
    connect(m_link.get(), &MqttLink::Disconnected, this, &Publisher::link_Disconnected);
    connect(m_link.get(), &MqttLink::Acknowledged, this, &Publisher::link_Acknowledged);
}

void Publisher::Arrived(int ch, const QString& text)
{
    if (!m_settings.enabled || ch < 1 || ch > Globals::MaxChannels)
        return;
    Channel& state = channel(ch);
    if (!Channel_Journal::Takes(ch)) {
        if (state.memory.isEmpty())
            state.memoryBase =
                std::max(state.counted, state.base + QFileInfo(JournalPath(ch)).size());
        state.memory += text.toLatin1();
    }
    if (state.arrival == 0)
        state.arrival = NowMs();
    m_dirty[std::size_t(ch)] = true;
    if (!m_pollTimer->isActive())
        m_pollTimer->start(PollDelayMs);
}

qint64 Publisher::Waiting() const
{
    qint64 waiting = 0;
    for (const Channel& state : m_channels)
        waiting += qint64(state.records.size());
    return waiting;
}

QString Publisher::StateText() const
{
    if (!m_settings.enabled)
        return {};
    if (m_reason.isEmpty())
        return QStringLiteral("Broker: connected");
    const qint64 waiting = Waiting();
    return QStringLiteral("Broker: not connected (%1), %2 reading%3 waiting")
        .arg(m_reason)
        .arg(waiting)
        .arg(waiting == 1 ? "" : "s");
}

Publisher::Channel& Publisher::channel(int ch)
{
    Channel& state = m_channels[std::size_t(ch)];
    if (state.loaded)
        return state;
    state.loaded = true;
    QFile markFile(MarkPath(ch));
    qint64 mark = 0;
    if (markFile.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> numbers = markFile.readAll().simplified().split(' ');
        state.base = numbers.value(0).toLongLong();
        mark = numbers.value(1).toLongLong();
        state.savedBase = state.base;
        state.savedMark = mark;
    }
    const QRegularExpression name(QStringLiteral("^Channel-%1-(\\d+)\\.unpublished$").arg(ch));
    for (const QFileInfo& file :
         QDir(Channel_Journal::Folder())
             .entryInfoList({QStringLiteral("Channel-%1-*.unpublished").arg(ch)}, QDir::Files)) {
        const QRegularExpressionMatch match = name.match(file.fileName());
        if (match.hasMatch())
            state.retired.push_back({file.filePath(), match.captured(1).toLongLong(), file.size()});
    }
    std::sort(state.retired.begin(), state.retired.end(),
              [](const Retired& a, const Retired& b) { return a.base < b.base; });
    // The journal numbers on after whatever came before it, also where the program ended
    // between keeping a cleared journal and writing its mark.
    for (const Retired& retired : state.retired)
        state.base = std::max(state.base, retired.base + retired.size);
    // A journal shorter than what was published of it lost its end with the power: what
    // comes next must not take the numbers of what the consumers have.
    const qint64 size = QFileInfo(JournalPath(ch)).size();
    if (mark - state.base > size)
        state.base = mark - size;
    state.counted = mark;
    dropPublishedRetired(state);
    return state;
}

QByteArray Publisher::read(int ch, qint64 seq, qint64 length, bool& complete)
{
    Channel& state = channel(ch);
    QByteArray bytes;
    complete = false;
    for (const Retired& retired : state.retired) {
        if (seq >= retired.base + retired.size)
            continue;
        const qint64 from = std::max<qint64>(0, seq - retired.base);
        ReadFile(retired.path, from, std::min(length, retired.size - from), bytes);
        complete = from + bytes.size() >= retired.size;
        return bytes;
    }
    const qint64 memoryEnd = state.memoryBase + state.memory.size();
    if (seq >= state.memoryBase && seq < memoryEnd)
        return state.memory.mid(seq - state.memoryBase, std::min(length, memoryEnd - seq));
    Channel_Journal::WriteOut(ch);
    // Kept open: the journal is read many times a second at lab load.
    if (!state.journal) {
        auto file = std::make_shared<QFile>(JournalPath(ch));
        if (!file->open(QIODevice::ReadOnly | QIODevice::Unbuffered))
            return bytes;
        state.journal = std::move(file);
    }
    if (state.journal->seek(std::max<qint64>(0, seq - state.base)))
        bytes = state.journal->read(length);
    return bytes;
}

bool Publisher::scan(int ch)
{
    Channel& state = channel(ch);
    if (state.records.size() >= MaxFound)
        return false;
    const bool inMemory =
        state.counted >= state.memoryBase && state.counted < state.memoryBase + state.memory.size();
    if (state.counted < state.base && state.retired.empty() && !inMemory)
        state.counted = state.base; // nothing holds the numbers in between
    bool complete = false;
    const QByteArray bytes = read(ch, state.counted, ScanChunk, complete);
    const qint64 arrival = state.arrival != 0 ? state.arrival : NowMs();
    qsizetype at = 0;
    while (at < bytes.size()) {
        const qsizetype length = RecordLength(bytes, at, complete);
        if (length == 0)
            break;
        // An empty line carries no reading.
        if (bytes[at] != '\r' && bytes[at] != '\n')
            state.records.push_back({state.counted + at, qint32(length), 0, false, arrival});
        at += length;
    }
    state.counted += at;
    // Bytes of a record not complete yet arrived with the ones before them.
    if (at == bytes.size())
        state.arrival = 0;
    return complete ? at > 0 : bytes.size() == ScanChunk && at > 0;
}

void Publisher::send(int ch)
{
    Channel& state = channel(ch);
    while (m_link && m_link->IsConnected() && state.sent < state.records.size() &&
           m_inflight.size() < SendWindow) {
        const qint64 first = state.records[state.sent].seq;
        std::size_t last = state.sent;
        while (last + 1 < state.records.size() &&
               state.records[last + 1].seq + state.records[last + 1].length - first <= ScanChunk)
            ++last;
        bool complete = false;
        const QByteArray bytes =
            read(ch, first, state.records[last].seq + state.records[last].length - first, complete);
        const QByteArray topic =
            (m_settings.topic + u'/' + m_settings.clientId + u'/' + QString::number(ch)).toUtf8();
        for (std::size_t i = state.sent; i <= last; ++i) {
            Record& record = state.records[i];
            if (record.done) { // the broker had it before the connection broke
                ++state.sent;
                continue;
            }
            const qint64 offset = record.seq - first;
            if (offset + record.length > bytes.size() || m_inflight.size() >= SendWindow)
                return; // not readable now, or enough on the way: the next poll goes on
            Reading reading;
            reading.host = m_settings.clientId;
            reading.channel = ch;
            reading.id = Channel_Window::ChannelId[std::size_t(ch)];
            reading.time = QDateTime::fromMSecsSinceEpoch(record.arrival, Qt::UTC);
            reading.text = RecordText(bytes.mid(offset, record.length));
            reading.seq = record.seq;
            const int mid = m_link->Publish(topic, Payload(reading));
            if (mid < 0)
                return;
            record.mid = mid;
            m_inflight.insert(mid, ch);
            ++state.sent;
        }
    }
}

void Publisher::pollTimer_Timer()
{
    if (!m_settings.enabled)
        return;
    bool more = false;
    for (int ch = 1; ch <= Globals::MaxChannels; ++ch) {
        if (!m_dirty[std::size_t(ch)])
            continue;
        m_dirty[std::size_t(ch)] = false;
        // A few chunks at a time, so that a long backlog leaves the user interface alone.
        bool found = false;
        for (int chunk = 0; chunk < 4 && (found = scan(ch)); ++chunk) {
        }
        send(ch);
        const Channel& state = m_channels[std::size_t(ch)];
        const bool sendable = m_link && m_link->IsConnected() &&
                              state.sent < state.records.size() && m_inflight.size() < SendWindow;
        if (found || sendable) {
            m_dirty[std::size_t(ch)] = true;
            more = true;
        }
    }
    if (more)
        m_pollTimer->start(0);
}

void Publisher::tickTimer_Timer()
{
    m_dirty.fill(true);
    pollTimer_Timer();
    SaveMarks();
    setState();
}

void Publisher::link_Connected()
{
    qCInfo(Log()).noquote() << "Broker" << m_settings.broker << "connected";
    m_reason.clear();
    setState();
    m_dirty.fill(true);
    m_pollTimer->start(0);
}

void Publisher::link_Disconnected(const QString& reason)
{
    // What was sent and not acknowledged goes again on the next connection.
    m_inflight.clear();
    for (Channel& state : m_channels) {
        for (Record& record : state.records)
            record.mid = 0;
        state.sent = 0;
    }
    if (reason != m_reason)
        qCWarning(Log()).noquote() << "Broker" << m_settings.broker << "not connected:" << reason;
    m_reason = reason;
    setState();
}

void Publisher::link_Acknowledged(int mid)
{
    const int ch = m_inflight.take(mid);
    if (ch == 0)
        return;
    Channel& state = m_channels[std::size_t(ch)];
    for (std::size_t i = 0; i < state.sent; ++i) {
        if (state.records[i].mid == mid) {
            state.records[i].done = true;
            break;
        }
    }
    while (!state.records.empty() && state.records.front().done) {
        state.records.pop_front();
        --state.sent;
    }
    dropPublishedRetired(state);
    const qint64 published = std::min(state.mark() - state.memoryBase, state.memory.size());
    if (published > 0) {
        state.memory.remove(0, published);
        state.memoryBase += published;
    }
    if (m_inflight.size() < SendWindow / 2 && !m_pollTimer->isActive()) {
        m_dirty.fill(true);
        m_pollTimer->start(0);
    }
}

void Publisher::dropPublishedRetired(Channel& state)
{
    while (!state.retired.empty() &&
           state.retired.front().base + state.retired.front().size <= state.mark()) {
        QFile::remove(state.retired.front().path);
        state.retired.erase(state.retired.begin());
    }
}

bool Publisher::journalRemoved(int ch, const QString& path)
{
    if (ch < 1 || ch > Globals::MaxChannels)
        return false;
    // A channel never published has no numbers to hand on.
    if (!m_settings.enabled && !QFile::exists(MarkPath(ch)))
        return false;
    Channel& state = channel(ch);
    state.journal.reset(); // a file still open cannot be renamed everywhere
    const qint64 end = state.base + QFileInfo(path).size();
    bool kept = false;
    if (m_settings.enabled && state.mark() < end) {
        const QString retired = RetiredPath(ch, state.base);
        kept = QFile::rename(path, retired);
        if (kept) {
            Platform::SyncFolder(Channel_Journal::Folder());
            state.retired.push_back({retired, state.base, end - state.base});
        }
    }
    if (!kept) {
        // What the file held is gone; while publishing is off, what is cleared away is not
        // published later either.
        while (!state.records.empty() && state.records.front().seq < end) {
            state.records.pop_front();
            state.sent -= state.sent > 0 ? 1 : 0;
        }
        state.counted = std::max(state.counted, end);
        if (!m_settings.enabled)
            state.memory.clear();
    }
    // Text kept in memory came after the journal's; the next journal numbers on after it.
    state.base = std::max(end, state.memoryBase + state.memory.size());
    state.arrival = 0;
    saveMark(ch);
    return kept;
}

void Publisher::saveMark(int ch)
{
    Channel& state = m_channels[std::size_t(ch)];
    const qint64 mark = state.mark();
    if (!state.loaded || (mark == state.savedMark && state.base == state.savedBase))
        return;
    // Written in place at a fixed width: a mark that moves every second dirties one page
    // instead of making a new file each time. A mark lost with the power only means
    // records sent again, which consumers drop by seq; a new file and a new base (the
    // numbers of the next journal) must survive, so those go to the disk at once.
    const bool durable = state.savedMark < 0 || state.base != state.savedBase;
    QDir().mkpath(Channel_Journal::Folder());
    QFile file(MarkPath(ch));
    if (!file.open(QIODevice::ReadWrite))
        return;
    const QByteArray text = QByteArray::number(state.base).rightJustified(19, ' ') + ' ' +
                            QByteArray::number(mark).rightJustified(19, ' ') + '\n';
    if (file.write(text) != text.size())
        return;
    if (durable) {
        Platform::SyncFile(file.handle());
        if (state.savedMark < 0)
            Platform::SyncFolder(Channel_Journal::Folder());
    }
    state.savedMark = mark;
    state.savedBase = state.base;
}

void Publisher::SaveMarks()
{
    for (int ch = 1; ch <= Globals::MaxChannels; ++ch)
        saveMark(ch);
}

void Publisher::setState()
{
    const QString text = StateText();
    if (text == m_stateText)
        return;
    m_stateText = text;
    emit StateChanged(text);
}

} // namespace Publish
