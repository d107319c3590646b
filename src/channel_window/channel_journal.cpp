#include "channel_window/channel_journal.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QPointer>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTimer>
#include <array>
#include <memory>

#include "platform/durable_file.h"
#include "shell/module_data.h"

namespace Channel_Journal {
namespace {

constexpr int SyncIntervalMs = 1000;

struct Journal
{
    std::unique_ptr<QFile> file;
    bool dirty = false;
};

std::array<Journal, Globals::MaxChannels + 1> g_journals;
// Held for the whole run: a second copy of the program must neither take over nor remove
// the journals of the one that runs.
std::unique_ptr<QLockFile> g_lock;
QPointer<QTimer> g_syncTimer;
bool g_frozen = false;

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

QFile* OpenJournal(int ch)
{
    Journal& journal = g_journals[std::size_t(ch)];
    if (!journal.file) {
        QDir().mkpath(Folder());
        auto file = std::make_unique<QFile>(JournalPath(ch));
        const bool created = !file->exists();
        if (!file->open(QIODevice::WriteOnly | QIODevice::Append))
            return nullptr;
        if (created)
            Platform::SyncFolder(Folder());
        journal.file = std::move(file);
    }
    return journal.file.get();
}

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
    for (Journal& journal : g_journals) {
        journal.file.reset();
        journal.dirty = false;
    }
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

void Append(int ch, const QString& text)
{
    if (g_frozen || !IsChannel(ch) || text.isEmpty())
        return;
    // A journal that cannot be written is no reason to stop receiving: the window still
    // holds the text, and the save questions still protect it.
    QFile* file = OpenJournal(ch);
    if (!file)
        return;
    file->write(text.toLatin1());
    g_journals[std::size_t(ch)].dirty = true;
    ScheduleSync();
}

void Settle(int ch)
{
    if (g_frozen || !IsChannel(ch))
        return;
    QFile* file = OpenJournal(ch);
    if (!file)
        return;
    SyncAll();
    QSaveFile saved(SavedPath(ch));
    if (saved.open(QIODevice::WriteOnly)) {
        saved.write(QByteArray::number(file->size()));
        saved.commit();
    }
}

void Remove(int ch)
{
    if (g_frozen || !IsChannel(ch))
        return;
    Journal& journal = g_journals[std::size_t(ch)];
    journal.file.reset();
    journal.dirty = false;
    QFile::remove(JournalPath(ch));
    QFile::remove(SavedPath(ch));
}

void SyncAll()
{
    for (Journal& journal : g_journals) {
        if (!journal.dirty || !journal.file)
            continue;
        journal.file->flush();
        Platform::SyncFile(journal.file->handle());
        journal.dirty = false;
    }
}

void Freeze()
{
    SyncAll();
    g_frozen = true;
}

std::map<int, QString> Recover()
{
    CloseAll();
    QDir().mkpath(Folder());
    const QString lockName = Folder() + QStringLiteral("/lock");
    if (!g_lock || g_lock->fileName() != lockName || !g_lock->isLocked()) {
        g_lock = std::make_unique<QLockFile>(lockName);
        g_lock->setStaleLockTime(0); // only a lock whose program is gone is stale
    }
    g_frozen = !g_lock->isLocked() && !g_lock->tryLock();
    std::map<int, QString> unsaved;
    if (g_frozen)
        return unsaved;
    static const QRegularExpression name(QStringLiteral("^Channel-(\\d+)\\.journal$"));
    const QStringList files = QDir(Folder()).entryList({QStringLiteral("Channel-*.journal")});
    for (const QString& fileName : files) {
        const QRegularExpressionMatch match = name.match(fileName);
        const int ch = match.hasMatch() ? match.captured(1).toInt() : 0;
        if (!IsChannel(ch))
            continue;
        QFile file(JournalPath(ch));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray bytes = file.readAll();
        if (bytes.size() > SavedLength(ch))
            unsaved[ch] = QString::fromLatin1(bytes);
        else
            Remove(ch); // everything in it is in the log file already
    }
    return unsaved;
}

} // namespace Channel_Journal
