#pragma once
// A read-only grid addressed the way the configuration dialogs think about it: rows and
// columns of text, one current cell, and an in-place editor that the host form lays over
// that cell (see edit_grid_tool.h).
//
// Row numbering: row 0 is the header row, the one fixed row (FixedRows() == 1). It is the
// table's horizontal header, so it stays in view while the channel rows scroll; rows
// 1..Rows()-1 are the table's rows 0..rowCount()-1. Row() is 0 while no channel row is
// current (nothing chosen yet, or the host set Row 0); Text() then reads and writes the
// header cell of the current column, and the cell geometry is that header section's.
//
// Events for the host, in the order a form expects them:
//   GotFocus            the grid took the keyboard focus
//   LeaveCell           the current cell is about to change (still the old cell)
//   EnterCell           the current cell has changed
//   KeyPress(keyAscii)  a character key typed on the grid (Space 32, Backspace 8, letters);
//                       Enter and Escape are left to the form's default and cancel buttons,
//                       the arrow and page keys move the current cell
//   clicked / doubleClicked (from QAbstractItemView) for mouse clicks on a cell

#include <QHash>
#include <QTableWidget>

class FlexGrid : public QTableWidget
{
    Q_OBJECT
public:
    explicit FlexGrid(QWidget* parent = nullptr);

    static constexpr int FixedRows() { return 1; }
    // Row count including the header row.
    int Rows() const { return rowCount() + FixedRows(); }
    void setRows(int rows);

    int Row() const;
    void setRow(int row);
    int Col() const;
    void setCol(int col);

    QString TextMatrix(int row, int col) const;
    void setTextMatrix(int row, int col, const QString& text);
    // The current cell's text.
    QString Text() const { return TextMatrix(Row(), Col()); }
    void setText(const QString& text) { setTextMatrix(Row(), Col(), text); }
    // Alignment of every channel-row cell of a column, also of cells filled later.
    void setColAlignment(int col, Qt::Alignment alignment);

    // Where the grid sits in its parent, and the current cell inside the grid, in pixels.
    int Left() const { return x(); }
    int Top() const { return y(); }
    int CellLeft() const { return cellRect().left(); }
    int CellTop() const { return cellRect().top(); }
    int CellWidth() const { return cellRect().width(); }
    int CellHeight() const { return cellRect().height(); }

    void SetFocus() { setFocus(Qt::OtherFocusReason); }

signals:
    void GotFocus();
    void LeaveCell();
    void EnterCell();
    void KeyPress(int keyAscii);

protected:
    void focusInEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    friend class FlexGridCurrentCell;
    QRect cellRect() const;

    // The current column also while no channel row is current.
    int m_col = 0;
    QHash<int, Qt::Alignment> m_colAlignment;
};
