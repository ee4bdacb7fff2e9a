#include "markingstyle.h"

#include <QPainter>
#include <QStyleFactory>
#include <QStyleOption>

const QColor MarkingStyle::FocusMark(255, 128, 0);

MarkingStyle::MarkingStyle()
    : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion")))
{ }

void MarkingStyle::drawPrimitive(PrimitiveElement element, const QStyleOption *option,
    QPainter *painter, const QWidget *widget) const
{
    if (element == PE_FrameFocusRect)
        painter->fillRect(option->rect, FocusMark);
    else
        QProxyStyle::drawPrimitive(element, option, painter, widget);
}
