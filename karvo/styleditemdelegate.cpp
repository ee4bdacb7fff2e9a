#include "styleditemdelegate.h"

#include "listview.h"
#include "palettehelper.h"
#include "style.h"

#include <QPainter>
#include <QPainterPath>

Q_DECLARE_METATYPE(QMargins)

namespace Karvo {

namespace {

// Rounds only the outer corners of a run of items that share one background.
QPainterPath clipCornerPath(
    const QRectF &rect, qreal radius, bool first, bool last, Qt::Orientation flow)
{
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    path.addRoundedRect(rect, radius, radius);
    if (!first) {
        path.addRect(flow == Qt::Vertical ? QRectF(rect.left(), rect.top(), rect.width(), radius)
                                          : QRectF(rect.left(), rect.top(), radius, rect.height()));
    }
    if (!last) {
        path.addRect(flow == Qt::Vertical
                ? QRectF(rect.left(), rect.bottom() - radius, rect.width(), radius)
                : QRectF(rect.right() - radius, rect.top(), radius, rect.height()));
    }
    return path.simplified();
}

} // namespace

StyledItemDelegate::StyledItemDelegate(ListView *view)
    : QStyledItemDelegate(view)
    , m_view(view)
{ }

QMargins StyledItemDelegate::itemMargins(const QModelIndex &index)
{
    return index.data(MarginsRole).value<QMargins>();
}

QSize StyledItemDelegate::sizeHint(
    const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    // A set item size is the whole cell, margins inside; a content size gets them around.
    QSize size = m_view->itemSize();
    if (!size.isValid())
        size = QStyledItemDelegate::sizeHint(option, index).grownBy(itemMargins(index));
    if (m_view->flow() == QListView::TopToBottom)
        size.rheight() += m_view->itemSpacing();
    else
        size.rwidth() += m_view->itemSpacing();
    return size;
}

void StyledItemDelegate::paint(
    QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const bool selected = opt.state & QStyle::State_Selected;
    const QPalette::ColorGroup group
        = (opt.state & QStyle::State_Enabled) ? QPalette::Active : QPalette::Disabled;

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    paintBackground(painter, opt, index);

    const int padding = Style::metric(m_view, Style::PM_ContentsMargins);
    QRect content = opt.rect.adjusted(padding, 0, -padding, 0);
    if (!opt.icon.isNull()) {
        const QSize iconSize = opt.decorationSize;
        const QRect iconRect(
            QPoint(content.left(), content.center().y() - iconSize.height() / 2), iconSize);
        opt.icon.paint(painter, iconRect, Qt::AlignCenter,
            group == QPalette::Disabled ? QIcon::Disabled : QIcon::Normal);
        content.setLeft(iconRect.right() + 1 + padding * 4 / 5);
    }
    if (!opt.text.isEmpty() && content.width() > 0) {
        painter->setFont(opt.font);
        painter->setPen(
            opt.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
        const QString text = opt.fontMetrics.elidedText(opt.text, Qt::ElideRight, content.width());
        painter->drawText(content, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
    }
    painter->restore();
}

void StyledItemDelegate::paintBackground(
    QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const int type = m_view->backgroundType();
    const int shape = type & ~ListView::NoNormalState;
    const bool enabled = option.state & QStyle::State_Enabled;
    const bool selected = option.state & QStyle::State_Selected;
    const bool hovered = enabled && (option.state & QStyle::State_MouseOver);

    QColor fill;
    if (selected) {
        fill = option.palette.color(
            enabled ? QPalette::Active : QPalette::Disabled, QPalette::Highlight);
        if (hovered)
            fill = fill.lighter(108);
    } else if (hovered) {
        fill = option.palette.color(QPalette::Text);
        fill.setAlpha(22);
    } else if (shape != ListView::NoBackground && !(type & ListView::NoNormalState)) {
        fill = PaletteHelper::instance()->color(PaletteHelper::ItemBackground);
    } else {
        return;
    }

    const qreal radius = Style::metric(m_view, Style::PM_FrameRadius);
    const QRectF rect(option.rect);
    painter->setPen(Qt::NoPen);
    painter->setBrush(fill);
    if (shape == ListView::RoundedBackground) {
        painter->drawRoundedRect(rect, radius, radius);
    } else if (shape == ListView::ClipCornerBackground) {
        const int rows = index.model()->rowCount(index.parent());
        const Qt::Orientation flow
            = m_view->flow() == QListView::TopToBottom ? Qt::Vertical : Qt::Horizontal;
        painter->drawPath(
            clipCornerPath(rect, radius, index.row() == 0, index.row() == rows - 1, flow));
    } else {
        painter->drawRect(rect);
    }
}

} // namespace Karvo
