#include "channel_window/channel_journal.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QPointer>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTimer>
#include <array>
#include <memory>

#include "channel_window/text_store.h"
#include "platform/durable_file.h"
#include "shell/module_data.h"

namespace Channel_Journal {
namespace {

constexpr int SyncIntervalMs = 1000;
// Pieces are gathered up to this size before they are written.
constexpr qsizetype WriteSize = 16 * 1024;

bool g_frozen = false;

struct Journal;
bool WritePending(Journal& journal);

// One journal file from its opening until it is removed or closed. A backing that still
// reads it keeps it open.
struct Journal
{
    // What it took reaches the file also when the program ends without a sync.
    ~Journal()
    {
        if (!g_frozen)
            WritePending(*this);
    }

    QFile file;
    QByteArray pending; // taken, not yet written
    qint64 written = 0; // the file's size: every byte before it is the channel's text
    bool takes = true;  // false once closed or a write failed
    bool dirty = false; // written since the last sync
    bool backed = false;
};

std::array<std::shared_ptr<Journal>, Globals::MaxChannels + 1> g_journals;
// Held for the whole run: a second copy of the program must neither take over nor remove
// the journals of the one that runs.
std::unique_ptr<QLockFile> g_lock;
QPointer<QTimer> g_syncTimer;
std::function<bool(int, const QString&)> g_removeHook;

bool IsChannel(int ch)
{
    return ch >= 1 && ch <= Globals::MaxChannels;
}

QString JournalPath(int ch)
{
    return Folder() + QStringLiteral("/Channel-%1.journal").arg(ch);
}

QString SavedPath(int ch)
{
    return Folder() + QStringLiteral("/Channel-%1.saved").arg(ch);
}

std::shared_ptr<Journal> OpenJournal(int ch)
{
    std::shared_ptr<Journal>& journal = g_journals[std::size_t(ch)];
    if (!journal) {
        QDir().mkpath(Folder());
        auto opened = std::make_shared<Journal>();
        opened->file.setFileName(JournalPath(ch));
        const bool created = !opened->file.exists();
        // Unbuffered, so that written always tells what the file holds.
        if (!opened->file.open(QIODevice::ReadWrite | QIODevice::Append | QIODevice::Unbuffered))
            return nullptr;
        opened->written = opened->file.size();
        if (created)
            Platform::SyncFolder(Folder());
        journal = std::move(opened);
    }
    return journal;
}

// False when the journal takes no more: a failed write ends it, so that it never holds a
// gap.
bool Write(Journal& journal, QByteArrayView bytes)
{
    // Reading moves the file position, and only some systems append whatever it is.
    const bool placed = journal.takes && journal.file.seek(journal.written);
    const qint64 written = placed ? journal.file.write(bytes.data(), bytes.size()) : -1;
    if (written > 0) {
        journal.written += written;
        journal.dirty = true;
    }
    if (written != bytes.size())
        journal.takes = false;
    return journal.takes;
}

bool WritePending(Journal& journal)
{
    if (journal.pending.isEmpty())
        return journal.takes;
    const bool written = Write(journal, journal.pending);
    journal.pending.resize(0);
    return written;
}

// Stops the journal taking text; its backing may still read what it holds. What it took
// and did not write yet is kept unless the journal is forgotten.
void CloseJournal(std::shared_ptr<Journal>& journal, bool forget)
{
    if (!journal)
        return;
    if (!forget && !g_frozen)
        WritePending(*journal);
    journal->takes = false;
    journal->pending = QByteArray();
    if (!journal->backed)
        journal->file.close();
    journal.reset();
}

void ScheduleSync();

class JournalBacking final : public TextBacking
{
public:
    JournalBacking(std::shared_ptr<Journal> journal, qint64 start)
        : m_journal(std::move(journal)), m_start(start)
    {
        m_journal->backed = true;
    }
    ~JournalBacking() override { m_journal->backed = false; }

    bool Append(QByteArrayView bytes) override
    {
        Journal& journal = *m_journal;
        if (g_frozen || !journal.takes)
            return false;
        ScheduleSync();
        // Gathered as a file buffer would: written when full, a large piece at once.
        if (journal.pending.size() + bytes.size() > WriteSize && !WritePending(journal))
            return false;
        if (bytes.size() > WriteSize)
            return Write(journal, bytes);
        if (journal.pending.capacity() < WriteSize)
            journal.pending.reserve(WriteSize);
        journal.pending.append(bytes.data(), bytes.size());
        return true;
    }
    qint64 Flush() override
    {
        if (!g_frozen)
            WritePending(*m_journal);
        return m_journal->written - m_start;
    }
    bool Read(qint64 from, qint64 length, QByteArray& bytes) override
    {
        QFile& file = m_journal->file;
        if (!file.isOpen() || !file.seek(m_start + from))
            return false;
        bytes = file.read(length);
        return bytes.size() == length;
    }

private:
    std::shared_ptr<Journal> m_journal;
    qint64 m_start;
};

void ScheduleSync()
{
    if (!g_syncTimer) {
        g_syncTimer = new QTimer(QCoreApplication::instance());
        g_syncTimer->setSingleShot(true);
        g_syncTimer->setInterval(SyncIntervalMs);
        QObject::connect(g_syncTimer, &QTimer::timeout, [] { SyncAll(); });
    }
    if (!g_syncTimer->isActive())
        g_syncTimer->start();
}

void CloseAll()
{
    for (std::shared_ptr<Journal>& journal : g_journals)
        CloseJournal(journal, false);
}

qint64 SavedLength(int ch)
{
    QFile saved(SavedPath(ch));
    if (!saved.open(QIODevice::ReadOnly))
        return 0;
    return saved.readAll().trimmed().toLongLong();
}

} // namespace

QString Folder()
{
    return Platform::UserStateFolder() + QLatin1Char('/') + Globals::AppTitle +
           QStringLiteral("/journal");
}

std::unique_ptr<TextBacking> Backing(int ch, bool heldText)
{
    if (g_frozen || !IsChannel(ch))
        return nullptr;
    const std::shared_ptr<Journal> journal = OpenJournal(ch);
    if (!journal || !journal->takes || journal->backed)
        return nullptr;
    const qint64 start = heldText ? 0 : journal->written + journal->pending.size();
    return std::make_unique<JournalBacking>(journal, start);
}

void Settle(int ch)
{
    if (g_frozen || !IsChannel(ch))
        return;
    const std::shared_ptr<Journal> journal = OpenJournal(ch);
    if (!journal)
        return;
    SyncAll();
    QSaveFile saved(SavedPath(ch));
    if (saved.open(QIODevice::WriteOnly)) {
        saved.write(QByteArray::number(journal->written));
        saved.commit();
    }
}

void Remove(int ch)
{
    if (g_frozen || !IsChannel(ch))
        return;
    // Text the window lets go of may still be wanted by the hook, so it is written first.
    CloseJournal(g_journals[std::size_t(ch)], !g_removeHook);
    if (!g_removeHook || !g_removeHook(ch, JournalPath(ch)))
        QFile::remove(JournalPath(ch));
    QFile::remove(SavedPath(ch));
}

void SyncAll()
{
    for (const std::shared_ptr<Journal>& journal : g_journals) {
        if (!journal)
            continue;
        WritePending(*journal);
        if (journal->dirty)
            Platform::SyncFile(journal->file.handle());
        journal->dirty = false;
    }
}

void WriteOut(int ch)
{
    if (!g_frozen && IsChannel(ch) && g_journals[std::size_t(ch)])
        WritePending(*g_journals[std::size_t(ch)]);
}

bool Takes(int ch)
{
    const Journal* journal = IsChannel(ch) ? g_journals[std::size_t(ch)].get() : nullptr;
    return !g_frozen && journal && journal->takes && journal->backed;
}

void SetRemoveHook(std::function<bool(int ch, const QString& path)> hook)
{
    g_removeHook = std::move(hook);
}

void Freeze()
{
    SyncAll();
    g_frozen = true;
}

std::vector<int> Recover()
{
    CloseAll();
    QDir().mkpath(Folder());
    const QString lockName = Folder() + QStringLiteral("/lock");
    if (!g_lock || g_lock->fileName() != lockName || !g_lock->isLocked()) {
        g_lock = std::make_unique<QLockFile>(lockName);
        g_lock->setStaleLockTime(0); // only a lock whose program is gone is stale
    }
    g_frozen = !g_lock->isLocked() && !g_lock->tryLock();
    std::vector<int> unsaved;
    if (g_frozen)
        return unsaved;
    static const QRegularExpression name(QStringLiteral("^Channel-(\\d+)\\.journal$"));
    const QStringList files = QDir(Folder()).entryList({QStringLiteral("Channel-*.journal")});
    for (const QString& fileName : files) {
        const QRegularExpressionMatch match = name.match(fileName);
        const int ch = match.hasMatch() ? match.captured(1).toInt() : 0;
        if (!IsChannel(ch))
            continue;
        if (QFileInfo(JournalPath(ch)).size() > SavedLength(ch))
            unsaved.push_back(ch);
        else
            Remove(ch); // everything in it is in the log file already
    }
    return unsaved;
}

} // namespace Channel_Journal
