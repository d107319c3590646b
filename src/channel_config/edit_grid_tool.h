#pragma once
// In-place editing of a FlexGrid's cells with a separate, normally hidden editor control of
// the host form. The editor is a sibling of the grid (same parent widget, outside any
// layout), laid exactly over the current cell while an edit runs. The module keeps no
// state: every call works on the grid and editor it is given, so one set of procedures
// serves every grid of the program.
//
// The commit (editor text into the cell) is the host's own procedure; it is driven by the
// focus. Enter, Down and Up give the grid the focus, the editor's focus loss commits into
// the cell that was edited and hides the editor, and only then does the current row move.
// Escape hides the editor first, so the focus loss that follows finds nothing to commit.
// A click elsewhere commits too, because the editor loses the focus before the grid's
// current cell changes.
//
// A host wires it like this (Wire* below do the event plumbing):
//   void Change_Cell() { if editor visible: cell = editor text (editable columns only); hide }
//   EditGridTool::WireGrid(grid, commit, [](int keyAscii) { ... Show_CellEditor(...) ... });
//   EditGridTool::WireTextEditor(grid, editor, commit);

#include <Qt>
#include <functional>

class FlexGrid;
class QComboBox;
class QLineEdit;
class QWidget;

namespace EditGridTool {

// Opens the editor over the current cell. keyAscii 0..32 (control keys, Space, and 32 for a
// mouse click) edits the cell's present text with the caret at its end; a printable
// character replaces the text by that character, caret after it.
void Show_CellEditor(FlexGrid* grid, QLineEdit* editor, int keyAscii);

// A key pressed in a text editor (Qt key code; the modifiers do not matter, Shift+Enter is
// Enter). Enter/Down commit and move one row down unless on the last row, Up commits and
// moves one row up unless on the first row below the header, Tab and Shift+Tab commit and
// stay on the cell with the focus on the grid, Escape cancels. Returns true
// for those keys, which the editor control and the form must then not see; every other key
// is the editor's own (caret movement, typing).
bool KeyDown_TextEditor(FlexGrid* grid, QWidget* editor, int keyCode,
                        Qt::KeyboardModifiers shift = {});
// The same for a combo box editor: Enter and Escape only; the arrows choose an item.
bool KeyDown_ComboEditor(FlexGrid* grid, QWidget* editor, int keyCode,
                         Qt::KeyboardModifiers shift = {});

// The grid's side of the host pattern: GotFocus, LeaveCell and EnterCell call commit; a
// character key calls onKey with its code, a click or double click with 32.
void WireGrid(FlexGrid* grid, const std::function<void()>& commit,
              const std::function<void(int keyAscii)>& onKey);
// The editor's side: its keys go through KeyDown_TextEditor / KeyDown_ComboEditor, Enter
// never reaches its text, and losing the focus within the window calls commit.
void WireTextEditor(FlexGrid* grid, QLineEdit* editor, const std::function<void()>& commit);
void WireComboEditor(FlexGrid* grid, QComboBox* editor, const std::function<void()>& commit);

} // namespace EditGridTool
