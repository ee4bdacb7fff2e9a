#pragma once

#include <QStyledItemDelegate>

namespace Karvo {

class ListView;

// The item delegate of ListView. An item's cell is the view's item size (or, without one, its
// content's size plus its MarginsRole margins), followed by the view's item spacing; inside
// the margins it paints the background the view's background type asks for, then the icon
// and the elided text.
class StyledItemDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit StyledItemDelegate(ListView *view);

    static QMargins itemMargins(const QModelIndex &index);

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void paint(QPainter *painter, const QStyleOptionViewItem &option,
        const QModelIndex &index) const override;

private:
    void paintBackground(
        QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const;

    ListView *m_view;
};

} // namespace Karvo
