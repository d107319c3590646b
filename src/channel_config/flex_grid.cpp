#include "channel_config/flex_grid.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>

// Every change of the current cell, by mouse, keys or code, passes here, so the grid can
// announce LeaveCell while the old cell is still current: a host commits its open editor
// into the cell that was being edited, never into the one the user moves to.
class FlexGridCurrentCell : public QItemSelectionModel
{
public:
    explicit FlexGridCurrentCell(FlexGrid* grid)
        : QItemSelectionModel(grid->model(), grid), m_grid(grid)
    {}

    void setCurrentIndex(const QModelIndex& index, SelectionFlags command) override
    {
        if (index == currentIndex()) {
            QItemSelectionModel::setCurrentIndex(index, command);
            return;
        }
        emit m_grid->LeaveCell();
        QItemSelectionModel::setCurrentIndex(index, command);
        if (index.isValid())
            m_grid->m_col = index.column();
        emit m_grid->EnterCell();
    }

private:
    FlexGrid* m_grid;
};

FlexGrid::FlexGrid(QWidget* parent) : QTableWidget(parent)
{
    QItemSelectionModel* designed = selectionModel();
    setSelectionModel(new FlexGridCurrentCell(this));
    delete designed;

    // The cells are only ever edited through the host's own editor.
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setTabKeyNavigation(false);
    verticalHeader()->hide();
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setHighlightSections(false);
}

void FlexGrid::setRows(int rows)
{
    setRowCount(std::max(rows - FixedRows(), 0));
}

int FlexGrid::Row() const
{
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.row() + FixedRows() : 0;
}

void FlexGrid::setRow(int row)
{
    if (row >= Rows() || row < 0)
        return;
    if (row == 0)
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::Clear);
    else
        setCurrentCell(row - FixedRows(), m_col);
}

int FlexGrid::Col() const
{
    return m_col;
}

void FlexGrid::setCol(int col)
{
    if (col < 0 || col >= columnCount())
        return;
    if (Row() == 0)
        m_col = col;
    else
        setCurrentCell(Row() - FixedRows(), col);
}

QString FlexGrid::TextMatrix(int row, int col) const
{
    const QTableWidgetItem* cell =
        row == 0 ? horizontalHeaderItem(col) : item(row - FixedRows(), col);
    return cell ? cell->text() : QString();
}

void FlexGrid::setTextMatrix(int row, int col, const QString& text)
{
    if (row < 0 || row >= Rows() || col < 0 || col >= columnCount())
        return;
    QTableWidgetItem* cell = row == 0 ? horizontalHeaderItem(col) : item(row - FixedRows(), col);
    if (cell) {
        cell->setText(text);
        return;
    }
    cell = new QTableWidgetItem(text);
    cell->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    if (row == 0) {
        setHorizontalHeaderItem(col, cell);
        return;
    }
    if (m_colAlignment.contains(col))
        cell->setTextAlignment(m_colAlignment[col]);
    setItem(row - FixedRows(), col, cell);
}

void FlexGrid::setColAlignment(int col, Qt::Alignment alignment)
{
    m_colAlignment[col] = alignment;
    for (int row = 0; row < rowCount(); ++row)
        if (QTableWidgetItem* cell = item(row, col))
            cell->setTextAlignment(alignment);
}

QRect FlexGrid::cellRect() const
{
    const QPoint origin = viewport()->pos();
    if (Row() > 0)
        return visualRect(currentIndex()).translated(origin);
    const QHeaderView* header = horizontalHeader();
    return QRect(origin.x() + header->sectionViewportPosition(m_col), header->y(),
                 header->sectionSize(m_col), header->height());
}

void FlexGrid::focusInEvent(QFocusEvent* event)
{
    QTableWidget::focusInEvent(event);
    emit GotFocus();
}

void FlexGrid::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
        event->ignore();
        return;
    }
    // Character keys belong to the host; Tab moves the focus on and Delete types nothing.
    const QString text = event->text();
    if (text.size() == 1 && text[0] != u'\t' && text[0] != QChar(0x7f)) {
        emit KeyPress(text[0].unicode());
        event->accept();
        return;
    }
    QTableWidget::keyPressEvent(event);
}
