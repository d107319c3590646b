#pragma once
// The text of one channel window: every received byte, in order, one byte per character
// (Latin-1), plus an index of the lines as the window shows them.
//
// A collector runs for days, so the text must not live in memory. Only the newest bytes
// stay in RAM; older ones go to a private backing file in the user's cache folder and
// are read back for the lines in view and for saving. The file is removed from the
// folder as soon as it is open (where the system allows it), so it never outlives the
// program; recovering text after a crash is the journal's job, not this file's. If the
// file cannot be made or written (full disk), the text simply stays in RAM.
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

class TextStore
{
public:
    static constexpr int MaxLineLength = 4096;

    TextStore();
    ~TextStore();
    TextStore(const TextStore&) = delete;
    TextStore& operator=(const TextStore&) = delete;

    void Append(QByteArrayView bytes);
    // Forgets all text and gives its memory and disk space back.
    void Clear();

    qint64 Size() const { return m_fileSize + m_tail.size(); }
    // The lines as shown; the last one is the line still being received (maybe empty).
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
    // Like Bytes; false when part of it could not be read from the file (zeros stand in).
    bool read(qint64 from, qint64 length, QByteArray& bytes) const;
    qint64 lineStart(qint64 line) const;
    void endLine(qint64 end, int lineEndLength);
    void spill();

    // Per finished line: its length with the line end, and the line end's length on top.
    std::deque<quint16> m_lengths;
    // The start of every 64th line.
    std::vector<qint64> m_chunkStarts;
    qint64 m_openStart = 0;
    int m_openColumns = 0;
    int m_longest = 0;
    bool m_endsInCR = false;

    QByteArray m_tail;
    qint64 m_fileSize = 0;
    bool m_fileFailed = false;
    std::unique_ptr<QFile> m_file;
};
