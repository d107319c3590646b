#pragma once
// A journal on disk of every channel window's text, so that a crash, a power cut or
// logging out never takes unsaved readings with it.
//
// Each channel has an append-only file "Channel-<n>.journal" in Folder(): the exact bytes
// its window received since it was last cleared. The window's text store keeps its text in
// it (Backing), so every received byte is written once and read back from there. The
// files are synced at most once a second by a timer, never per piece, so the receive path
// stays fast; a piece reaches the disk within about a second of its arrival. A journal
// whose write failed (a full disk) takes nothing more and never holds a gap: the window
// keeps the rest itself, and every sync tries to catch the journal up from the window's
// text until the disk takes it again.
//
// A save settles the journal: "Channel-<n>.saved" then holds how many of its bytes are in
// the log file. A clear, a close or the program's own quit removes it. At the next start
// Recover() names every journal that holds more than was saved, for its window to take.

#include <QString>
#include <memory>
#include <vector>

class TextBacking;

namespace Channel_Journal {

// "<state folder>/Veltrano Quorvane for IP and COM/journal", the state folder being
// $XDG_STATE_HOME (~/.local/state) on Linux and the local application data on Windows.
QString Folder();

// The channel's journal as the backing of its window's text: with heldText the window's
// text starts with what the journal holds (recovered text), else right after it. Nullptr
// where the journal cannot be used (frozen, held by another copy of the program, not
// writable, or in use by another backing): the window then keeps its text itself.
std::unique_ptr<TextBacking> Backing(int ch, bool heldText);
// Everything journalled so far for the channel is now in its log file.
void Settle(int ch);
// The channel's text is gone on purpose (cleared, closed, quit): forget it. Its window
// lets go of the backing first.
void Remove(int ch);
// Writes what is pending to the disk now, and catches up journals that fell behind.
void SyncAll();
// Which channels' windows have no working journal now and why, one line per reason, for a
// user; "" when every window has one.
QString Trouble();
// The program is ending on a signal: sync, then let nothing change the files any more, so
// that whatever runs on the way out (a question that returns unanswered) cannot remove them.
void Freeze();

// The channels whose journal holds what the last run left unsaved; settled journals are
// removed on the way. The files stay and go on growing with the channel's new text. Also
// ends a freeze, unless another copy of the program holds the journals: this one then
// keeps none.
std::vector<int> Recover();

} // namespace Channel_Journal
