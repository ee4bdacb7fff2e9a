#pragma once

#include <QColor>
#include <QProxyStyle>

// A style that paints focus frames as filled marks of one plain colour, so that a rendered image
// shows exactly where, and whether, a widget asked for one.
class MarkingStyle : public QProxyStyle
{
    Q_OBJECT

public:
    static const QColor FocusMark;

    MarkingStyle();

    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
        const QWidget *widget = nullptr) const override;
};
