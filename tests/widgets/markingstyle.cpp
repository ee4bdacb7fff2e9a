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
    if (element == PE_IndicatorArrowUp || element == PE_IndicatorArrowDown) {
        painter->fillRect(
            option->rect, element == PE_IndicatorArrowUp ? ArrowUpMark : ArrowDownMark);
    } else if (element == PE_FrameFocusRect) {
        const QRect &r = option->rect;
        for (const QRect &edge :
            { QRect(r.left(), r.top(), r.width(), 1), QRect(r.left(), r.bottom(), r.width(), 1),
                QRect(r.left(), r.top(), 1, r.height()), QRect(r.right(), r.top(), 1, r.height()) })
            painter->fillRect(edge, FocusMark);
    } else {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
    }
}
