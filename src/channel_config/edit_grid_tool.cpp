#include "channel_config/edit_grid_tool.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>

#include "channel_config/flex_grid.h"

namespace EditGridTool {
namespace {

// Gives the grid the focus, lets the editor's focus loss commit, then moves the row.
void commitAndMove(FlexGrid* grid, int step)
{
    QPointer<FlexGrid> alive(grid);
    grid->SetFocus();
    QCoreApplication::processEvents();
    if (!alive || step == 0)
        return;
    const int row = grid->Row() + step;
    if (step > 0 ? grid->Row() < grid->Rows() - 1 : grid->Row() > grid->FixedRows())
        grid->setRow(row);
}

void cancel(FlexGrid* grid, QWidget* editor)
{
    editor->hide();
    grid->SetFocus();
}

// The editor's KeyDown, KeyPress and LostFocus of the host pattern.
class EditorEvents : public QObject
{
public:
    using KeyDown = bool (*)(FlexGrid*, QWidget*, int, Qt::KeyboardModifiers);
    EditorEvents(FlexGrid* grid, QWidget* editor, KeyDown keyDown, std::function<void()> commit)
        : QObject(editor), m_grid(grid), m_editor(editor), m_keyDown(keyDown),
          m_commit(std::move(commit))
    {
        editor->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != m_editor || !m_grid)
            return false;
        if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
            return m_keyDown(m_grid, m_editor, key->key(), key->modifiers()) || enter;
        }
        if (event->type() == QEvent::FocusOut) {
            // Another window or a drop-down list taking the focus does not end the edit.
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
                m_commit();
        }
        return false;
    }

private:
    QPointer<FlexGrid> m_grid;
    QWidget* m_editor;
    KeyDown m_keyDown;
    std::function<void()> m_commit;
};

} // namespace

void Show_CellEditor(FlexGrid* grid, QLineEdit* editor, int keyAscii)
{
    // One pixel smaller, so the cell's grid lines stay visible around the editor.
    editor->setGeometry(grid->Left() + grid->CellLeft(), grid->Top() + grid->CellTop(),
                        grid->CellWidth() - 1, grid->CellHeight() - 1);
    editor->raise();
    editor->show();
    editor->setFocus(Qt::OtherFocusReason);
    if (keyAscii >= 0 && keyAscii <= 32) {
        editor->setText(grid->Text());
        editor->setCursorPosition(int(editor->text().size()));
    } else {
        editor->setText(QString(QChar(keyAscii)));
        editor->setCursorPosition(1);
    }
}

bool KeyDown_TextEditor(FlexGrid* grid, QWidget* editor, int keyCode, Qt::KeyboardModifiers)
{
    switch (keyCode) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Down:
        commitAndMove(grid, +1);
        return true;
    case Qt::Key_Up:
        commitAndMove(grid, -1);
        return true;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        // The edit ends on the grid: the focus must not carry on into another control,
        // where the next keys meant for the grid would be typed.
        commitAndMove(grid, 0);
        return true;
    case Qt::Key_Escape:
        cancel(grid, editor);
        return true;
    default:
        return false;
    }
}

bool KeyDown_ComboEditor(FlexGrid* grid, QWidget* editor, int keyCode, Qt::KeyboardModifiers shift)
{
    // The arrows stay with the combo box for choosing an item.
    if (keyCode == Qt::Key_Up || keyCode == Qt::Key_Down)
        return false;
    return KeyDown_TextEditor(grid, editor, keyCode, shift);
}

void WireGrid(FlexGrid* grid, const std::function<void()>& commit,
              const std::function<void(int keyAscii)>& onKey)
{
    QObject::connect(grid, &FlexGrid::GotFocus, grid, commit);
    QObject::connect(grid, &FlexGrid::LeaveCell, grid, commit);
    QObject::connect(grid, &FlexGrid::EnterCell, grid, commit);
    QObject::connect(grid, &FlexGrid::KeyPress, grid, onKey);
    QObject::connect(grid, &FlexGrid::clicked, grid, [onKey] { onKey(32); });
    QObject::connect(grid, &FlexGrid::doubleClicked, grid, [onKey] { onKey(32); });
}

void WireTextEditor(FlexGrid* grid, QLineEdit* editor, const std::function<void()>& commit)
{
    new EditorEvents(grid, editor, &KeyDown_TextEditor, commit);
}

void WireComboEditor(FlexGrid* grid, QComboBox* editor, const std::function<void()>& commit)
{
    new EditorEvents(grid, editor, &KeyDown_ComboEditor, commit);
}

} // namespace EditGridTool
