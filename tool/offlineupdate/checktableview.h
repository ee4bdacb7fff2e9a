#pragma once

#include <QTableView>

// The check table: one stop in the focus chain, whose rows the arrow keys walk through, with
// the toolkit's focus mark round the current row. Screen readers get the visible cells with
// their column names and nothing else: no hidden header, no actions on cells that do nothing.
class CheckTableView : public QTableView
{
    Q_OBJECT

public:
    explicit CheckTableView(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
};
