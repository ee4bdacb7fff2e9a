#pragma once

#include <QPixmap>
#include <QWidget>

namespace Karvo {

// Paints a blurred, translucent backdrop behind its children, clipped to the toolkit's rounded
// frame shape. The blend mode says what is blurred:
// - BlendWithParent: what the parent widget paints under this widget;
// - BlendWithScreen: the screen behind the window, grabbed when the widget is shown (where the
//   platform cannot grab the screen, the backdrop is the plain translucent mask colour).
class BlurEffectWidget : public QWidget
{
    Q_OBJECT
public:
    enum BlendMode { BlendWithParent = 0, BlendWithScreen = 1 };

    explicit BlurEffectWidget(QWidget *parent = nullptr);

    int radius() const { return m_radius; }
    void setRadius(int radius);
    BlendMode blendMode() const { return m_blendMode; }
    void setBlendMode(BlendMode mode);
    // Laid over the blurred picture; the palette's window colour, mostly opaque, by default.
    QColor maskColor() const;
    void setMaskColor(const QColor &color);

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void grabScreen();
    QPixmap parentBackdrop() const;

    int m_radius = 0;
    BlendMode m_blendMode = BlendWithParent;
    QColor m_maskColor;
    QPixmap m_backdrop;
};

} // namespace Karvo
