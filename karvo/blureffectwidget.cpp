#include "blureffectwidget.h"

#include "style.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>

namespace Karvo {

namespace {

// Opaque enough that text on the widget stays readable over any backdrop.
const int DefaultMaskAlpha = 230;

// Shrinking the picture averages each block of pixels, enlarging it again smoothly spreads
// them out: a blur whose reach grows with |radius|, at a fraction of a real kernel's cost.
QImage blurred(const QImage &image, int radius)
{
    const qreal factor = qMax(1.0, radius / 2.0);
    if (factor <= 1.0 || image.isNull())
        return image;
    const QSize small(
        qMax(1, qRound(image.width() / factor)), qMax(1, qRound(image.height() / factor)));
    return image.scaled(small, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
        .scaled(image.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

} // namespace

BlurEffectWidget::BlurEffectWidget(QWidget *parent)
    : QWidget(parent)
{ }

void BlurEffectWidget::setRadius(int radius)
{
    m_radius = qMax(0, radius);
    update();
}

void BlurEffectWidget::setBlendMode(BlendMode mode)
{
    m_blendMode = mode;
    m_backdrop = QPixmap();
    if (mode == BlendWithScreen && isVisible())
        grabScreen();
    update();
}

QColor BlurEffectWidget::maskColor() const
{
    if (m_maskColor.isValid())
        return m_maskColor;
    QColor color = palette().color(QPalette::Window);
    color.setAlpha(DefaultMaskAlpha);
    return color;
}

void BlurEffectWidget::setMaskColor(const QColor &color)
{
    m_maskColor = color;
    update();
}

void BlurEffectWidget::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // The window is not mapped yet when it is shown, so the grab sees what lies behind it.
    if (m_blendMode == BlendWithScreen)
        grabScreen();
}

void BlurEffectWidget::grabScreen()
{
    m_backdrop = QPixmap();
    const QRect global(mapToGlobal(QPoint(0, 0)), size());
    QScreen *screen = QGuiApplication::screenAt(global.center());
    if (!screen)
        return;
    const QPoint onScreen = global.topLeft() - screen->geometry().topLeft();
    m_backdrop = screen->grabWindow(0, onScreen.x(), onScreen.y(), width(), height());
}

QPixmap BlurEffectWidget::parentBackdrop() const
{
    QWidget *parent = parentWidget();
    if (!parent || size().isEmpty())
        return QPixmap();
    const qreal ratio = devicePixelRatioF();
    QPixmap pixmap(size() * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    // Without DrawChildren: the parent's own painting only, which also keeps this widget's
    // paint event from being entered again.
    parent->render(&pixmap, QPoint(), QRegion(geometry()), QWidget::DrawWindowBackground);
    return pixmap;
}

void BlurEffectWidget::paintEvent(QPaintEvent *)
{
    const qreal radius = Style::metric(this, Style::PM_FrameRadius);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), radius, radius);

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setClipPath(shape);
    const QPixmap backdrop = m_blendMode == BlendWithScreen ? m_backdrop : parentBackdrop();
    if (!backdrop.isNull())
        painter.drawImage(QRectF(rect()), blurred(backdrop.toImage(), m_radius));
    painter.fillPath(shape, maskColor());
}

} // namespace Karvo
