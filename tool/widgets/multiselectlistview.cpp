#include "multiselectlistview.h"

#include <QKeyEvent>

MultiSelectListView::MultiSelectListView(QWidget *parent)
    : Karvo::ListView(parent)
{ }

void MultiSelectListView::resetStatus(const QModelIndex &index)
{
    m_currentRow = index.row();
    clearSelection();
    setSelectionMode(QAbstractItemView::SingleSelection);
    setCurrentIndex(index);
}

void MultiSelectListView::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Up:
        pressNextVisibleRow(-1);
        break;
    case Qt::Key_Down:
        pressNextVisibleRow(1);
        break;
    default:
        Karvo::ListView::keyPressEvent(event);
        break;
    }
}

void MultiSelectListView::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    Karvo::ListView::currentChanged(current, previous);
}

QModelIndex MultiSelectListView::moveCursor(
    CursorAction cursorAction, Qt::KeyboardModifiers modifiers)
{
    setSelectionMode(QAbstractItemView::MultiSelection);
    return Karvo::ListView::moveCursor(cursorAction, modifiers);
}

// Walks from the remembered row over hidden rows one at a time. The walk uses its own cursor
// rather than the remembered row: a walk that finds no visible row must leave the starting point
// where resetStatus() put it, or the next key would start from a hidden row and could never reach
// the rows beyond it.
void MultiSelectListView::pressNextVisibleRow(int step)
{
    const QAbstractItemModel *itemModel = model();
    if (!itemModel)
        return;

    int row = m_currentRow;
    for (;;) {
        const int target = row + step;
        const QModelIndex index = itemModel->index(target, 0, rootIndex());
        if (!index.isValid())
            return;
        if (!isRowHidden(target)) {
            setCurrentIndex(index);
            emit pressed(index);
            return;
        }
        const bool nothingBeyond
            = step < 0 ? row <= 1 : target >= itemModel->rowCount(rootIndex()) - 1;
        if (nothingBeyond)
            return;
        row = target;
    }
}
