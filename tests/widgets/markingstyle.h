#pragma once

#include <QColor>
#include <QProxyStyle>

// A style that answers the toolkit's frame-radius and contents-margin metrics with values of the
// test's choosing and paints sort arrows and focus frames as marks of one plain colour each, so
// that a rendered image shows exactly where a widget asked for them.
class MarkingStyle : public QProxyStyle
{
    Q_OBJECT

public:
    static const QColor ArrowUpMark;
    static const QColor ArrowDownMark;
    static const QColor FocusMark;

    MarkingStyle(int frameRadius, int contentsMargin);

    int pixelMetric(PixelMetric metric, const QStyleOption *option = nullptr,
        const QWidget *widget = nullptr) const override;
    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
        const QWidget *widget = nullptr) const override;

private:
    int m_frameRadius;
    int m_contentsMargin;
};
