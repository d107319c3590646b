#include "channel_window/text_store.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <algorithm>

namespace {

// How much of the newest text stays in RAM before it goes to the file: small enough that
// fifty windows hold little, large enough that a busy window writes rarely.
constexpr qsizetype SpillSize = 64 * 1024;
constexpr qint64 SavePiece = 1 << 20;
constexpr int ChunkLines = 64;
constexpr int LineEndShift = 14;
constexpr quint16 LengthMask = (1u << LineEndShift) - 1;
static_assert(TextStore::MaxLineLength + 2 <= LengthMask);

} // namespace

TextStore::TextStore() = default;
TextStore::~TextStore() = default;

void TextStore::Append(QByteArrayView bytes)
{
    // Behind an index still being built, the new bytes wait their turn there.
    if (m_indexed == Size())
        index(bytes);
    m_tail.append(bytes.data(), bytes.size());
    // A backing that refuses keeps what it had already; the rest stays with the store.
    if (m_backingTakes && !m_backing->Append(bytes))
        m_backingTakes = false;
    if (m_tail.size() >= SpillSize)
        spill();
}

void TextStore::index(QByteArrayView bytes)
{
    const qint64 base = m_indexed;
    m_indexed += bytes.size();
    const char* data = bytes.data();
    for (qsizetype i = 0, n = bytes.size(); i < n; ++i) {
        const char c = data[i];
        const qint64 at = base + i;
        if (c == '\n' && m_endsInCR) {
            // The LF of a CR LF: the line already ended at the CR, now it ends here.
            m_endsInCR = false;
            quint16& last = m_lengths.back();
            last = quint16(((last & LengthMask) + 1) | (2u << LineEndShift));
            m_openStart = at + 1;
            continue;
        }
        m_endsInCR = c == '\r';
        if (c == '\r' || c == '\n') {
            endLine(at + 1, 1);
            continue;
        }
        if (at - m_openStart == MaxLineLength)
            endLine(at, 0);
        m_openColumns = NextColumn(m_openColumns, c);
    }
}

void TextStore::endLine(qint64 end, int lineEndLength)
{
    if (m_lengths.size() % ChunkLines == 0)
        m_chunkStarts.push_back(m_openStart);
    m_lengths.push_back(quint16((end - m_openStart) | (lineEndLength << LineEndShift)));
    m_longest = std::max(m_longest, m_openColumns);
    m_openStart = end;
    m_openColumns = 0;
}

void TextStore::Clear()
{
    std::deque<quint16>().swap(m_lengths);
    std::vector<qint64>().swap(m_chunkStarts);
    m_openStart = 0;
    m_openColumns = 0;
    m_longest = 0;
    m_endsInCR = false;
    m_indexed = 0;
    m_tail = QByteArray();
    m_backing.reset();
    m_backingTakes = false;
    m_backed = 0;
    m_spilled = 0;
    m_fileFailed = false;
    if (m_file)
        m_file->resize(0);
}

bool TextStore::SetBacking(std::unique_ptr<TextBacking> backing)
{
    Clear();
    if (!backing)
        return false;
    // Its text stays where it is, and IndexSome indexes it; a journal of gigabytes would
    // otherwise hold up the start for many seconds.
    const qint64 held = backing->Flush();
    QByteArray piece;
    if (held > 0 && (!backing->Read(held - 1, 1, piece) || piece.size() != 1)) {
        Clear();
        return false;
    }
    m_backed = m_spilled = held;
    m_backing = std::move(backing);
    m_backingTakes = true;
    m_backing->SetCatchUp([this] { return CatchUpBacking(); });
    return true;
}

bool TextStore::IndexSome(qint64 budget)
{
    QByteArray piece;
    while (m_indexed < Size() && budget > 0) {
        const qint64 length = std::min({SavePiece, Size() - m_indexed, budget});
        // Bytes that cannot be read back index as the zeros that stand in for them.
        read(m_indexed, length, piece);
        index(piece);
        budget -= length;
    }
    return m_indexed == Size();
}

bool TextStore::AttachBacking(std::unique_ptr<TextBacking> backing)
{
    if (m_backing || !backing || backing->Flush() != 0)
        return false;
    // Nothing of the text is in it yet: it catches up from the start.
    m_backing = std::move(backing);
    m_backingTakes = false;
    m_backed = 0;
    m_backing->SetCatchUp([this] { return CatchUpBacking(); });
    CatchUpBacking();
    return true;
}

bool TextStore::CatchUpBacking()
{
    if (!m_backing)
        return false;
    if (m_backingTakes)
        return true;
    // The backing holds an exact start of the text, at least what left RAM for it; the
    // store itself holds everything after that.
    const qint64 held = m_backing->Flush();
    if (held < m_backed || held > Size())
        return false;
    QByteArray piece;
    for (qint64 at = held; at < Size(); at += SavePiece) {
        if (!read(at, std::min(SavePiece, Size() - at), piece) || !m_backing->Append(piece))
            return false;
    }
    if (m_backing->Flush() != Size())
        return false;
    // From here on the backing gives back the whole text, and the store's own copy goes.
    m_backingTakes = true;
    m_backed = m_spilled = Size();
    m_tail.resize(0);
    if (m_file)
        m_file->resize(0);
    m_fileFailed = false;
    return true;
}

void TextStore::spill()
{
    if (m_backingTakes && spillToBacking())
        return;
    if (!m_fileFailed)
        spillToFile();
}

bool TextStore::spillToBacking()
{
    // Only bytes the backing gives back exactly may leave RAM; the journal flushes them
    // here rather than waiting for its next sync.
    if (m_backing->Flush() == Size()) {
        m_backed = m_spilled = Size();
        m_tail.resize(0);
        return true;
    }
    m_backingTakes = false;
    return false;
}

void TextStore::spillToFile()
{
    if (!m_file) {
        QString folder = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
        if (folder.isEmpty() || !QDir().mkpath(folder))
            folder = QDir::tempPath();
        auto file =
            std::make_unique<QTemporaryFile>(folder + QStringLiteral("/channel-text-XXXXXX"));
        if (!file->open()) {
            m_fileFailed = true;
            return;
        }
        // Where the system lets an open file lose its name (not Windows), the descriptor
        // keeps the data and a crash leaves nothing behind.
        if (QFile::remove(file->fileName()))
            file->setAutoRemove(false);
        m_file = std::move(file);
    }
    if (!m_file->seek(m_spilled - m_backed) || m_file->write(m_tail) != m_tail.size() ||
        !m_file->flush()) {
        m_fileFailed = true; // what did not reach the file stays here
        return;
    }
    m_spilled += m_tail.size();
    m_tail.resize(0); // keeps the buffer for the next bytes
}

QByteArray TextStore::Bytes(qint64 from, qint64 length) const
{
    QByteArray bytes;
    read(from, length, bytes);
    return bytes;
}

bool TextStore::read(qint64 from, qint64 length, QByteArray& bytes) const
{
    from = std::clamp<qint64>(from, 0, Size());
    const qint64 end = std::min(Size(), from + std::max<qint64>(length, 0));
    bool whole = true;
    bytes.clear();
    QByteArray part;
    // A read that failed still gives the right length, so later text keeps its place.
    const auto take = [&](qint64 upTo, const auto& readPart) {
        if (from >= upTo || from >= end)
            return;
        const qint64 count = std::min(end, upTo) - from;
        part.clear();
        whole = readPart(count) && part.size() == count && whole;
        part.resize(count, '\0');
        bytes += part;
        from += count;
    };
    take(m_backed, [&](qint64 count) { return m_backing->Read(from, count, part); });
    take(m_spilled, [&](qint64 count) {
        if (m_file->seek(from - m_backed))
            part = m_file->read(count);
        return true;
    });
    if (from < end)
        bytes += QByteArrayView(m_tail).sliced(from - m_spilled, end - from);
    return whole;
}

qint64 TextStore::lineStart(qint64 line) const
{
    if (line >= qint64(m_lengths.size()))
        return m_openStart;
    const qint64 chunk = line / ChunkLines;
    qint64 start = m_chunkStarts[size_t(chunk)];
    for (qint64 i = chunk * ChunkLines; i < line; ++i)
        start += m_lengths[size_t(i)] & LengthMask;
    return start;
}

QList<QByteArray> TextStore::Lines(qint64 first, qint64 count) const
{
    first = std::clamp<qint64>(first, 0, LineCount());
    count = std::clamp<qint64>(count, 0, LineCount() - first);
    QList<QByteArray> lines;
    if (count == 0)
        return lines;
    lines.reserve(count);
    const qint64 start = lineStart(first);
    const qint64 finished = qint64(m_lengths.size());
    const qint64 end = first + count > finished ? m_indexed : lineStart(first + count);
    // One read for all of them: they lie one after another.
    const QByteArray bytes = Bytes(start, end - start);
    qsizetype at = 0;
    for (qint64 line = first; line < first + count; ++line) {
        if (line == finished) {
            lines.append(bytes.mid(at));
            break;
        }
        const quint16 entry = m_lengths[size_t(line)];
        const qsizetype length = entry & LengthMask;
        lines.append(bytes.mid(at, length - (entry >> LineEndShift)));
        at += length;
    }
    return lines;
}

bool TextStore::WriteTo(const std::function<bool(const QByteArray&)>& put) const
{
    // Text that arrives while the pieces are written belongs to the next save.
    const qint64 total = Size();
    QByteArray piece;
    for (qint64 at = 0; at < total; at += SavePiece) {
        if (!read(at, std::min(SavePiece, total - at), piece) || !put(piece))
            return false;
    }
    return true;
}
