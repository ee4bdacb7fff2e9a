#include "frame.h"

#include "palettehelper.h"
#include "style.h"

#include <QPainter>

namespace Karvo {

Frame::Frame(QWidget *parent, Qt::WindowFlags flags)
    : QFrame(parent, flags)
{
    setBackgroundRole(QPalette::Base);
}

void Frame::paintEvent(QPaintEvent *)
{
    const qreal radius = Style::metric(this, Style::PM_FrameRadius);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setBrush(palette().brush(backgroundRole()));
    if (frameShape() == NoFrame) {
        painter.setPen(Qt::NoPen);
        painter.drawRoundedRect(QRectF(rect()), radius, radius);
    } else {
        painter.setPen(PaletteHelper::instance()->color(PaletteHelper::FrameBorder));
        painter.drawRoundedRect(box, radius, radius);
    }
}

} // namespace Karvo
