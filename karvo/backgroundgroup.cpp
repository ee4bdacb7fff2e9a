#include "backgroundgroup.h"

#include "style.h"

#include <QEvent>
#include <QLayout>
#include <QPainter>

namespace Karvo {

BackgroundGroup::BackgroundGroup(QLayout *layout, QWidget *parent)
    : QWidget(parent)
{
    setLayout(layout);
}

int BackgroundGroup::itemSpacing() const
{
    return layout() ? layout()->spacing() : 0;
}

void BackgroundGroup::setItemSpacing(int spacing)
{
    if (layout())
        layout()->setSpacing(spacing);
}

void BackgroundGroup::setItemMargins(const QMargins &margins)
{
    m_itemMargins = margins;
    update();
}

QVector<QRect> BackgroundGroup::panelRects() const
{
    QVector<QRect> rects;
    const QLayout *box = layout();
    if (!box)
        return rects;
    for (int i = 0; i < box->count(); ++i) {
        QLayoutItem *item = box->itemAt(i);
        if (item->spacerItem() || item->isEmpty())
            continue;
        const QRect geometry = item->widget() ? item->widget()->geometry() : item->geometry();
        if (geometry.isValid())
            rects.append(geometry.marginsAdded(m_itemMargins));
    }
    return rects;
}

bool BackgroundGroup::event(QEvent *event)
{
    // Items shown, hidden, added or removed change the panels without resizing the group.
    if (event->type() == QEvent::LayoutRequest || event->type() == QEvent::ChildRemoved)
        update();
    return QWidget::event(event);
}

void BackgroundGroup::paintEvent(QPaintEvent *)
{
    const qreal radius = Style::metric(this, Style::PM_FrameRadius);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(palette().brush(QPalette::Base));
    for (const QRect &r : panelRects())
        painter.drawRoundedRect(QRectF(r), radius, radius);
}

} // namespace Karvo
