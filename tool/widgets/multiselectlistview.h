#pragma once

#include "listview.h"

// The module list of the main window. Up and Down skip hidden rows and press the row they land
// on, so that the arrow keys switch modules exactly like a mouse press does; the owner answers
// the press with resetStatus(), which moves the starting point of the next key move.
class MultiSelectListView : public Karvo::ListView
{
    Q_OBJECT

public:
    explicit MultiSelectListView(QWidget *parent = nullptr);

    void resetStatus(const QModelIndex &index);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;

private:
    void pressNextVisibleRow(int step);

    int m_currentRow = 0;
};
