#include "listview.h"

#include "styleditemdelegate.h"

namespace Karvo {

ListView::ListView(QWidget *parent)
    : QListView(parent)
{
    setItemDelegate(new StyledItemDelegate(this));
    setFrameShape(QFrame::NoFrame);
    setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_Hover);
}

void ListView::setItemSize(const QSize &size)
{
    m_itemSize = size;
    scheduleDelayedItemsLayout();
}

void ListView::setItemSpacing(int spacing)
{
    m_itemSpacing = qMax(0, spacing);
    scheduleDelayedItemsLayout();
}

void ListView::setBackgroundType(BackgroundType type)
{
    m_backgroundType = type;
    viewport()->update();
}

QRect ListView::visualRect(const QModelIndex &index) const
{
    QRect rect = QListView::visualRect(index);
    if (!rect.isValid())
        return rect;
    if (flow() == TopToBottom)
        rect.setBottom(rect.bottom() - m_itemSpacing);
    else
        rect.setRight(rect.right() - m_itemSpacing);
    return rect.marginsRemoved(StyledItemDelegate::itemMargins(index));
}

} // namespace Karvo
