#include "titlebarbutton.h"

#include "palettehelper.h"
#include "style.h"

#include <QPainter>
#include <QStyleOptionButton>

namespace Karvo {

namespace {

const int ButtonSide = 36;
const qreal GlyphSide = 10;

} // namespace

TitleBarButton::TitleBarButton(Glyph glyph, QWidget *parent)
    : QPushButton(parent)
    , m_glyph(glyph)
{
    setFlat(true);
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover);
    setFixedSize(sizeHint());
}

void TitleBarButton::setGlyph(Glyph glyph)
{
    m_glyph = glyph;
    update();
}

QSize TitleBarButton::sizeHint() const
{
    return QSize(ButtonSide, ButtonSide);
}

void TitleBarButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool enabled = isEnabled();
    const bool down = isDown();
    const bool hovered = enabled && underMouse();

    if (hovered || down) {
        // Closing is the one irreversible action up here, so its hover warns in red.
        QColor fill = m_glyph == CloseGlyph
            ? PaletteHelper::instance()->color(PaletteHelper::TextWarning)
            : palette().color(QPalette::WindowText);
        if (m_glyph != CloseGlyph)
            fill.setAlpha(down ? 40 : 20);
        else if (down)
            fill = fill.darker(115);
        const qreal radius = Style::metric(this, Style::PM_FrameRadius);
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.drawRoundedRect(QRectF(rect()), radius, radius);
    }

    QColor ink
        = palette().color(enabled ? QPalette::Active : QPalette::Disabled, QPalette::WindowText);
    if (m_glyph == CloseGlyph && (hovered || down))
        ink = Qt::white;
    painter.setPen(QPen(ink, 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    const QRectF g(
        QPointF(width() - GlyphSide, height() - GlyphSide) / 2.0, QSizeF(GlyphSide, GlyphSide));
    switch (m_glyph) {
    case MenuGlyph:
        for (const qreal y : { g.top() + 1, g.center().y(), g.bottom() - 1 })
            painter.drawLine(QPointF(g.left(), y), QPointF(g.right(), y));
        break;
    case MinimizeGlyph:
        painter.drawLine(QPointF(g.left(), g.center().y()), QPointF(g.right(), g.center().y()));
        break;
    case MaximizeGlyph:
        painter.drawRoundedRect(g, 1.5, 1.5);
        break;
    case RestoreGlyph:
        painter.drawRoundedRect(g.adjusted(0, 3, -3, 0), 1.5, 1.5);
        painter.drawPolyline(QPolygonF()
            << QPointF(g.left() + 3, g.top() + 1.5) << QPointF(g.left() + 3, g.top())
            << QPointF(g.right(), g.top()) << QPointF(g.right(), g.bottom() - 3)
            << QPointF(g.right() - 1.5, g.bottom() - 3));
        break;
    case CloseGlyph:
        painter.drawLine(g.topLeft(), g.bottomRight());
        painter.drawLine(g.topRight(), g.bottomLeft());
        break;
    }
}

} // namespace Karvo
