#pragma once
// The text of one channel window: every received byte, in order, one byte per character
// (Latin-1), plus an index of the lines as the window shows them.
//
// A collector runs for days, so the text must not live in memory. Only the newest bytes
// stay in RAM; older ones are read back from disk for the lines in view and for saving.
// Where the text is kept on disk anyway (a TextBacking, such as the channel's journal),
// the store reads its older bytes from there and writes nothing of its own. Otherwise, or
// from the moment the backing takes no more, they go to a private file in the user's
// cache folder, removed from the folder as soon as it is open (where the system allows
// it), so it never outlives the program. If that file cannot be made or written either
// (full disk), the text simply stays in RAM.
//
// The index costs about two bytes per line: a line's length is at most MaxLineLength
// characters plus its line end, so it fits in 16 bits, and every 64th line start is kept
// in full. A line ends at CR, LF or CR LF (also when CR and LF arrive in different
// pieces), or after MaxLineLength characters without a line end, so that a balance that
// never sends one still gives lines that are cheap to draw.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <algorithm>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

class QFile;

// Somewhere else that keeps a store's text on disk from its first byte on.
class TextBacking
{
public:
    virtual ~TextBacking() = default;
    // Takes the next bytes of the text; false when it cannot, and from then on it takes
    // nothing more until the store has caught it up (CatchUpBacking).
    virtual bool Append(QByteArrayView bytes) = 0;
    // Writes out what it took (no sync needed) and returns how many of the text's first
    // bytes Read gives back exactly, also after it stopped taking more.
    virtual qint64 Flush() = 0;
    // length bytes from position from on, which lie below what Flush returned.
    virtual bool Read(qint64 from, qint64 length, QByteArray& bytes) = 0;
    // How the backing asks its store to hand it the text it missed; the store sets it
    // while it owns the backing. Called on the user-interface thread, between events.
    virtual void SetCatchUp(std::function<bool()> catchUp) { Q_UNUSED(catchUp); }
};

class TextStore
{
public:
    static constexpr int MaxLineLength = 4096;

    TextStore();
    ~TextStore();
    TextStore(const TextStore&) = delete;
    TextStore& operator=(const TextStore&) = delete;

    void Append(QByteArrayView bytes);
    // Forgets all text and gives its memory and disk space back; also lets go of the backing.
    void Clear();
    // Clears, then keeps the text in backing from now on, starting with the bytes it holds
    // already. False, leaving the store empty and without backing, when those could not
    // be read. Those bytes count at once, but their lines appear as IndexSome reaches them.
    bool SetBacking(std::unique_ptr<TextBacking> backing);
    // Indexes up to budget more bytes of a backing's text (and what came after it); true
    // once every line is known.
    bool IndexSome(qint64 budget = 8 << 20);
    // A backing that stopped taking text gets what it lacks from the store, and then holds
    // the whole text again. False while it still cannot take it.
    bool CatchUpBacking();
    // A store that has no backing takes an empty one for the text it holds already; the
    // backing gets that text as it catches up. False when there is nothing to take.
    bool AttachBacking(std::unique_ptr<TextBacking> backing);
    bool HasBacking() const { return m_backing != nullptr; }

    qint64 Size() const { return m_spilled + m_tail.size(); }
    // The lines as shown, as far as they are indexed; the last one is the line still being
    // received (maybe empty).
    qint64 LineCount() const { return qint64(m_lengths.size()) + 1; }
    // count lines from first on, without their line ends.
    QList<QByteArray> Lines(qint64 first, qint64 count) const;
    // The column after character c at column: a TAB goes on to the next multiple of 8.
    static int NextColumn(int column, char c)
    {
        return c == '\t' ? (column / 8 + 1) * 8 : column + 1;
    }
    // The longest line so far in columns.
    int LongestLine() const { return std::max(m_longest, m_openColumns); }

    // length bytes from position from on (fewer at the end of the text).
    QByteArray Bytes(qint64 from, qint64 length) const;
    // Hands the whole text to put in pieces of a megabyte; false when put refused one or
    // the backing file could not be read back.
    bool WriteTo(const std::function<bool(const QByteArray&)>& put) const;

private:
    // Like Bytes; false when part of it could not be read back (zeros stand in).
    bool read(qint64 from, qint64 length, QByteArray& bytes) const;
    qint64 lineStart(qint64 line) const;
    void index(QByteArrayView bytes);
    void endLine(qint64 end, int lineEndLength);
    void spill();
    bool spillToBacking();
    void spillToFile();

    // Per finished line: its length with the line end, and the line end's length on top.
    std::deque<quint16> m_lengths;
    // The start of every 64th line.
    std::vector<qint64> m_chunkStarts;
    qint64 m_openStart = 0;
    int m_openColumns = 0;
    int m_longest = 0;
    bool m_endsInCR = false;
    // The text before this position is indexed.
    qint64 m_indexed = 0;

    // The text from position 0 to m_backed is in the backing, from there to m_spilled in
    // the private file (at position - m_backed), and the rest in m_tail.
    std::unique_ptr<TextBacking> m_backing;
    bool m_backingTakes = false;
    qint64 m_backed = 0;
    qint64 m_spilled = 0;
    QByteArray m_tail;
    bool m_fileFailed = false;
    std::unique_ptr<QFile> m_file;
};
