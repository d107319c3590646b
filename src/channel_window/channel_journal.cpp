#include "channel_window/channel_journal.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStringList>
#include <QTimer>
#include <array>
#include <memory>

#include "channel_window/text_store.h"
#include "platform/durable_file.h"
#include "platform/message_log.h"
#include "platform/program_lock.h"
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

    int ch = 0;
    QFile file;
    QByteArray pending; // taken, not yet written
    qint64 written = 0; // the file's size: every byte before it is the channel's text
    bool takes = true;  // false once closed
    // A write failed (a full disk): the file holds only what came before it, and the
    // window holds the rest until a sync catches the journal up from it.
    bool behind = false;
    bool dirty = false; // written since the last sync
    bool backed = false;
    std::function<bool()> catchUp; // the backing's store, writing what the file lacks
};

std::array<std::shared_ptr<Journal>, Globals::MaxChannels + 1> g_journals;
// Why a channel's window has no journal now; "" where it has one.
std::array<QString, Globals::MaxChannels + 1> g_trouble;
// Why no journal may be written at all now (the journals belong to another copy of the
// program, or the folder cannot be written); "" when this copy holds them.
QString g_lockTrouble;
// The lock failed only because its folder could not be written: worth another try.
bool g_lockRetry = false;
QPointer<QTimer> g_syncTimer;

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

QString FolderTrouble(const QString& error)
{
    return QStringLiteral("the journal folder %1 cannot be written (%2)")
        .arg(QDir::toNativeSeparators(Folder()), error);
}

std::shared_ptr<Journal> OpenJournal(int ch)
{
    std::shared_ptr<Journal>& journal = g_journals[std::size_t(ch)];
    if (!journal) {
        QDir().mkpath(Folder());
        auto opened = std::make_shared<Journal>();
        opened->ch = ch;
        opened->file.setFileName(JournalPath(ch));
        const bool created = !opened->file.exists();
        // Unbuffered, so that written always tells what the file holds.
        if (!opened->file.open(QIODevice::ReadWrite | QIODevice::Append | QIODevice::Unbuffered)) {
            g_trouble[std::size_t(ch)] = FolderTrouble(opened->file.errorString());
            return nullptr;
        }
        opened->written = opened->file.size();
        if (created)
            Platform::SyncFolder(Folder());
        journal = std::move(opened);
    }
    return journal;
}

// False when not all of it was written: the journal is then behind, and takes nothing
// more until a sync has caught it up, so that it never holds a gap.
bool Write(Journal& journal, QByteArrayView bytes)
{
    // Reading moves the file position, and only some systems append whatever it is.
    const bool placed = journal.takes && journal.file.seek(journal.written);
    const qint64 written = placed ? journal.file.write(bytes.data(), bytes.size()) : -1;
    if (written > 0) {
        journal.written += written;
        journal.dirty = true;
    }
    if (written == bytes.size())
        return true;
    if (journal.takes) {
        journal.behind = true;
        // A write cut short says nothing itself; the disk was full.
        const bool full = written >= 0 || journal.file.error() == QFileDevice::ResourceError;
        g_trouble[std::size_t(journal.ch)] =
            FolderTrouble(full ? QStringLiteral("the disk is full") : journal.file.errorString());
    }
    return false;
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
    ~JournalBacking() override
    {
        m_journal->backed = false;
        m_journal->catchUp = nullptr;
    }

    bool Append(QByteArrayView bytes) override
    {
        Journal& journal = *m_journal;
        if (g_frozen || !journal.takes || journal.behind)
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
    void SetCatchUp(std::function<bool()> catchUp) override
    {
        m_journal->catchUp = std::move(catchUp);
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

// How many of the journal's bytes are in the log file: 0 without a mark. A mark that is
// no plain number, or one beyond the journal's end, is damaged and counts as 0, so that it
// can never make unsaved text look saved.
// Takes the lock that makes this copy the one that writes the journals; freezes them when
// it cannot.
void TakeLock()
{
    QDir().mkpath(Folder());
    const std::optional<Platform::LockRefusal> refused =
        Platform::TakeProgramLock(Folder() + QStringLiteral("/lock"));
    g_lockTrouble = !refused ? QString()
                    : refused->heldElsewhere
                        ? QStringLiteral("the journal folder %1 is locked: %2")
                              .arg(QDir::toNativeSeparators(Folder()), refused->reason)
                        : FolderTrouble(refused->reason);
    g_lockRetry = refused && !refused->heldElsewhere;
    g_frozen = refused.has_value();
}

qint64 SavedLength(int ch, qint64 journalSize)
{
    QFile saved(SavedPath(ch));
    if (!saved.open(QIODevice::ReadOnly))
        return 0;
    static const QRegularExpression number(QStringLiteral("^\\d{1,18}$"));
    const QString text = QString::fromLatin1(saved.read(64)).trimmed();
    const qint64 length = number.match(text).hasMatch() ? text.toLongLong() : -1;
    if (length >= 0 && length <= journalSize)
        return length;
    qCWarning(Platform::SubsystemCategory(__FILE__)).noquote()
        << QStringLiteral("Journal: the saved mark of channel %1 (\"%2\") is damaged; all "
                          "of its %3 bytes count as unsaved")
               .arg(ch)
               .arg(text.left(20))
               .arg(journalSize);
    return 0;
}

} // namespace

QString Folder()
{
    return Platform::UserStateFolder() + QLatin1Char('/') + Globals::AppTitle +
           QStringLiteral("/journal");
}

std::unique_ptr<TextBacking> Backing(int ch, bool heldText)
{
    if (!IsChannel(ch))
        return nullptr;
    // A folder that could not be written at the start may be writable now. Only an empty
    // one is taken then: journals an earlier run left there wait for the next start, which
    // can bring them back, and nothing of this run may remove them.
    if (g_frozen && g_lockRetry &&
        QDir(Folder()).entryList({QStringLiteral("Channel-*.journal")}).isEmpty())
        TakeLock();
    if (g_frozen) {
        g_trouble[std::size_t(ch)] = g_lockTrouble;
        return nullptr;
    }
    const std::shared_ptr<Journal> journal = OpenJournal(ch);
    if (!journal || !journal->takes || journal->backed)
        return nullptr;
    if (!journal->behind)
        g_trouble[std::size_t(ch)].clear();
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
    if (!IsChannel(ch))
        return;
    g_trouble[std::size_t(ch)].clear(); // no window waits for this journal any more
    if (g_frozen)
        return;
    CloseJournal(g_journals[std::size_t(ch)], true);
    QFile::remove(JournalPath(ch));
    QFile::remove(SavedPath(ch));
}

void SyncAll()
{
    bool behind = false;
    for (const std::shared_ptr<Journal>& journal : g_journals) {
        if (!journal)
            continue;
        if (journal->behind && journal->catchUp && !g_frozen) {
            // Its window writes what the file lacks; a write that fails again puts it back.
            journal->behind = false;
            if (journal->catchUp() && !journal->behind)
                g_trouble[std::size_t(journal->ch)].clear();
            else
                journal->behind = true;
        }
        WritePending(*journal);
        if (journal->dirty)
            Platform::SyncFile(journal->file.handle());
        journal->dirty = false;
        behind = behind || journal->behind;
    }
    // Tried again at every sync until the disk takes it.
    if (behind && !g_frozen)
        ScheduleSync();
}

QString Trouble()
{
    // One line per reason, naming the channels it holds for.
    QStringList reasons;
    QList<QStringList> channels;
    for (int ch = 1; ch <= Globals::MaxChannels; ++ch) {
        const QString& reason = g_trouble[std::size_t(ch)];
        if (reason.isEmpty())
            continue;
        qsizetype at = reasons.indexOf(reason);
        if (at < 0) {
            at = reasons.size();
            reasons << reason;
            channels << QStringList();
        }
        channels[at] << QString::number(ch);
    }
    QStringList lines;
    for (qsizetype i = 0; i < reasons.size(); ++i) {
        const bool one = channels[i].size() == 1;
        lines << QStringLiteral("No crash protection for %1 %2: %3. %4")
                     .arg(one ? QStringLiteral("channel") : QStringLiteral("channels"),
                          channels[i].join(QStringLiteral(", ")), reasons[i],
                          one ? QStringLiteral("Its unsaved data are only in its window; save "
                                               "them to a log file.")
                              : QStringLiteral("Their unsaved data are only in their windows; "
                                               "save them to log files."));
    }
    return lines.join(u'\n');
}

void Freeze()
{
    SyncAll();
    g_frozen = true;
    g_lockRetry = false;
}

std::vector<int> Recover()
{
    CloseAll();
    g_trouble = {};
    // Held for the whole run: a second copy of the program must neither take over nor
    // remove the journals of the one that runs.
    TakeLock();
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
        const qint64 size = QFileInfo(JournalPath(ch)).size();
        if (size > SavedLength(ch, size))
            unsaved.push_back(ch);
        else
            Remove(ch); // everything in it is in the log file already
    }
    return unsaved;
}

} // namespace Channel_Journal
