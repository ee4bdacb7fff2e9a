#pragma once

#include <QProxyStyle>

namespace Karvo {

// The style "velmora": Fusion's geometry with the toolkit's light palette, flat rounded
// buttons and fields, accent-coloured indicators and focus rings.
class Style : public QProxyStyle
{
    Q_OBJECT
public:
    // Metrics QStyle has no name for; pass them cast to QStyle::PixelMetric. The underlying
    // type is int, so that they compare with and switch on static_cast<int>(metric) the way
    // QStyle's own custom values are handled.
    enum PixelMetric : int {
        PM_FrameRadius = static_cast<int>(QStyle::PM_CustomBase) + 3,
        PM_ContentsMargins = static_cast<int>(QStyle::PM_CustomBase) + 17
    };

    Style();

    // The metric from |widget|'s style, or the toolkit's value when that style (another one
    // than velmora) does not know it; a null widget asks the application style.
    static int metric(const QWidget *widget, PixelMetric which);

    int pixelMetric(QStyle::PixelMetric metric, const QStyleOption *option = nullptr,
        const QWidget *widget = nullptr) const override;
    QSize sizeFromContents(ContentsType type, const QStyleOption *option, const QSize &size,
        const QWidget *widget) const override;
    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
        const QWidget *widget = nullptr) const override;
    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
        const QWidget *widget = nullptr) const override;
    QPalette standardPalette() const override;

    using QProxyStyle::polish;
    using QProxyStyle::unpolish;
    void polish(QPalette &palette) override;
    void polish(QWidget *widget) override;
    void polish(QApplication *application) override;
    void unpolish(QApplication *application) override;
    QRect subElementRect(
        SubElement element, const QStyleOption *option, const QWidget *widget) const override;

    // The toolkit's focus mark inside |rect|; for controls that paint themselves.
    static void drawFocusRing(const QRect &rect, const QPalette &palette, QPainter *painter);

private:
    void drawButtonPanel(const QStyleOption *option, QPainter *painter) const;
    void drawCheckIndicator(const QStyleOption *option, QPainter *painter, bool round) const;
    void drawArrow(PrimitiveElement element, const QStyleOption *option, QPainter *painter) const;
    void drawLineEditPanel(const QStyleOption *option, QPainter *painter) const;
};

} // namespace Karvo
