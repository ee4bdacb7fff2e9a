#include "markingstyle.h"

#include "style.h"

#include <QPainter>
#include <QStyleFactory>
#include <QStyleOption>

const QColor MarkingStyle::ArrowUpMark(0, 200, 0);
const QColor MarkingStyle::ArrowDownMark(200, 0, 200);
const QColor MarkingStyle::FocusMark(255, 128, 0);

MarkingStyle::MarkingStyle(int frameRadius, int contentsMargin)
    : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion")))
    , m_frameRadius(frameRadius)
    , m_contentsMargin(contentsMargin)
{ }

int MarkingStyle::pixelMetric(
    PixelMetric metric, const QStyleOption *option, const QWidget *widget) const
{
    if (metric == static_cast<PixelMetric>(Karvo::Style::PM_FrameRadius))
        return m_frameRadius;
    if (metric == static_cast<PixelMetric>(Karvo::Style::PM_ContentsMargins))
        return m_contentsMargin;
    return QProxyStyle::pixelMetric(metric, option, widget);
}

void MarkingStyle::drawPrimitive(PrimitiveElement element, const QStyleOption *option,
    QPainter *painter, const QWidget *widget) const
{
    const QRect &r = option->rect;
    switch (element) {
    case PE_IndicatorArrowUp:
        painter->fillRect(r, ArrowUpMark);
        break;
    case PE_IndicatorArrowDown:
        painter->fillRect(r, ArrowDownMark);
        break;
    case PE_FrameFocusRect:
        painter->fillRect(QRect(r.left(), r.top(), r.width(), 1), FocusMark);
        painter->fillRect(QRect(r.left(), r.bottom(), r.width(), 1), FocusMark);
        painter->fillRect(QRect(r.left(), r.top(), 1, r.height()), FocusMark);
        painter->fillRect(QRect(r.right(), r.top(), 1, r.height()), FocusMark);
        break;
    default:
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        break;
    }
}
