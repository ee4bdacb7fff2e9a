#pragma once

#include <QStyledItemDelegate>

// Paints the check table: every second row on a rounded band, the item names, and the results
// in green when passed and red when failed. The verdict comes from the hidden third column.
// There is no selection or hover highlight: the table is read, not used.
class OfflineUpdateDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
        const QModelIndex &index) const override;
};
