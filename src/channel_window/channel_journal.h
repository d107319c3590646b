#pragma once
// A journal on disk of every channel window's text, so that a crash, a power cut or
// logging out never takes unsaved readings with it.
//
// Each channel has an append-only file "Channel-<n>.journal" in Folder(): the exact bytes
// its window received since it was last cleared. The files are flushed and synced at most
// once a second by a timer, never per piece, so the receive path stays fast; a piece
// reaches the disk within about a second of its arrival.
//
// A save settles the journal: "Channel-<n>.saved" then holds how many of its bytes are in
// the log file. A clear, a close or the program's own quit removes it. At the next start
// Recover() hands back the text of every journal that holds more than was saved.

#include <QString>
#include <map>

namespace Channel_Journal {

// "<state folder>/Veltrano Quorvane for IP and COM/journal", the state folder being
// $XDG_STATE_HOME (~/.local/state) on Linux and the local application data on Windows.
QString Folder();

// Appends one piece of a channel's received text (one byte per character).
void Append(int ch, const QString& text);
// Everything journalled so far for the channel is now in its log file.
void Settle(int ch);
// The channel's text is gone on purpose (cleared, closed, quit): forget it.
void Remove(int ch);
// Writes what is pending to the disk now.
void SyncAll();
// The program is ending on a signal: sync, then let nothing change the files any more, so
// that whatever runs on the way out (a question that returns unanswered) cannot remove them.
void Freeze();

// What the last run left unsaved, by channel; settled journals are removed on the way.
// The files stay and go on growing with the channel's new text. Also ends a freeze, unless
// another copy of the program holds the journals: this one then keeps none.
std::map<int, QString> Recover();

} // namespace Channel_Journal
