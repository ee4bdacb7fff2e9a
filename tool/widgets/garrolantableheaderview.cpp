#include "garrolantableheaderview.h"

#include "palettehelper.h"
#include "style.h"

#include <QFocusEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionFocusRect>
#include <QStyleOptionHeader>

namespace {

const int HeaderContentHeight = 36;
const int SeparatorInset = 4;
const int SortArrowWidth = 8;
const int SortArrowHeight = 5;

// The toolkit's metrics are ids past QStyle::PM_CustomBase that QStyle's enum has no name for.
int styleMetric(const QWidget *widget, Karvo::Style::PixelMetric metric, const QStyleOption *option)
{
    return widget->style()->pixelMetric(static_cast<QStyle::PixelMetric>(metric), option, widget);
}

// The frame-border colour may be translucent; laying it over the window colour first keeps the
// lines the same shade whatever the header is drawn on.
void fillLine(QPainter *painter, const QRect &rect, const QPalette &palette)
{
    painter->fillRect(rect, palette.color(QPalette::Active, QPalette::Window));
    painter->fillRect(rect,
        Karvo::PaletteHelper::instance()->brush(
            Karvo::PaletteHelper::FrameBorder, QPalette::Active));
}

} // namespace

GarrolanTableHeaderView::GarrolanTableHeaderView(Qt::Orientation orientation, QWidget *parent)
    : QHeaderView(orientation, parent)
{
    viewport()->setAutoFillBackground(false);
    setStretchLastSection(true);
    setSectionResizeMode(QHeaderView::Interactive);
    setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setFixedHeight(m_separatorWidth + HeaderContentHeight);
    setFocusPolicy(Qt::StrongFocus);
    setSortIndicatorShown(true);
}

QSize GarrolanTableHeaderView::sizeHint() const
{
    return QSize(width(), m_separatorWidth + HeaderContentHeight);
}

void GarrolanTableHeaderView::focusInEvent(QFocusEvent *event)
{
    m_focusReason = event->reason();
    QHeaderView::focusInEvent(event);
}

void GarrolanTableHeaderView::paintEvent(QPaintEvent *event)
{
    const QPalette palette = Karvo::PaletteHelper::instance()->applicationPalette();
    QStyleOptionHeader option;
    initStyleOption(&option);
    const qreal radius = styleMetric(this, Karvo::Style::PM_FrameRadius, &option);

    {
        const int w = viewport()->width();
        const int h = viewport()->height();
        QPainterPath panel;
        panel.addRoundedRect(QRectF(0, 0, w, 2 * h), radius, radius);
        QPainterPath lowerHalf;
        lowerHalf.addRect(QRectF(0, h, w, h));

        // Closed before the sections are painted: the viewport takes one painter at a time.
        QPainter painter(viewport());
        painter.setRenderHint(QPainter::Antialiasing);
        painter.fillPath(
            panel.subtracted(lowerHalf), palette.color(QPalette::Active, QPalette::Base));
    }

    QHeaderView::paintEvent(event);

    // Only a keyboard user needs to be shown where the focus went; a click shows it already.
    const bool keyboardFocus
        = m_focusReason == Qt::TabFocusReason || m_focusReason == Qt::BacktabFocusReason;
    if (!hasFocus() || !keyboardFocus)
        return;

    QStyleOptionFocusRect focusOption;
    focusOption.QStyleOption::operator=(option);
    const QRect logical(QPoint(-offset(), 0),
        QPoint(length() - sectionPosition(0) - offset() - 1, viewport()->height() - 1));
    focusOption.rect = QStyle::visualRect(layoutDirection(), viewport()->rect(), logical);

    QPainter painter(viewport());
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focusOption, &painter, this);
}

void GarrolanTableHeaderView::paintSection(
    QPainter *painter, const QRect &rect, int logicalIndex) const
{
    const QPalette palette = Karvo::PaletteHelper::instance()->applicationPalette();
    QStyleOptionHeader option;
    initStyleOption(&option);
    const int s = m_separatorWidth;
    const int m = styleMetric(this, Karvo::Style::PM_ContentsMargins, &option);

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setOpacity(1.0);

    fillLine(painter,
        QRect(QPoint(rect.left(), rect.height() - s), QPoint(rect.right(), rect.height() - 1)),
        palette);

    if (visualIndex(logicalIndex) > 0) {
        fillLine(painter,
            QRect(rect.left(), rect.top() + SeparatorInset, s, rect.height() - 2 * SeparatorInset),
            palette);
    }

    const bool sortSection = sortIndicatorSection() == logicalIndex;
    QRect textRect;
    textRect.setLeft(rect.left() + m);
    textRect.setTop(rect.top());
    textRect.setBottom(rect.top() + rect.height() - s - 1);
    textRect.setRight(sortSection ? rect.right() - 2 * m - SortArrowWidth : rect.right());
    if (logicalIndex == 0)
        textRect.setLeft(textRect.left() + m - 2);

    const QString title = model()
        ? model()->headerData(logicalIndex, orientation(), Qt::DisplayRole).toString()
        : QString();
    painter->setPen(palette.color(QPalette::Active, QPalette::Text));
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter, title);

    if (isSortIndicatorShown() && sortSection) {
        option.rect = QRect(textRect.right() + 1 + m,
            (textRect.height() - SortArrowHeight) / 2 + textRect.top(), SortArrowWidth,
            SortArrowHeight);
        const QStyle::PrimitiveElement arrow = sortIndicatorOrder() == Qt::DescendingOrder
            ? QStyle::PE_IndicatorArrowDown
            : QStyle::PE_IndicatorArrowUp;
        style()->drawPrimitive(arrow, &option, painter, this);
    }

    painter->restore();
}
