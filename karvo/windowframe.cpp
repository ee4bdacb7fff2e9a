#include "windowframe.h"

#include "palettehelper.h"
#include "style.h"

#include <QPainter>
#include <QPainterPath>
#include <QWidget>

namespace Karvo {

void applyRoundedMask(QWidget *window)
{
    const qreal radius = Style::metric(window, Style::PM_FrameRadius);
    QPainterPath path;
    path.addRoundedRect(QRectF(window->rect()), radius, radius);
    window->setMask(QRegion(path.toFillPolygon().toPolygon()));
}

void paintWindowFrame(QWidget *window)
{
    QPainter painter(window);
    painter.fillRect(window->rect(), window->palette().brush(QPalette::Window));
    const qreal radius = Style::metric(window, Style::PM_FrameRadius);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(PaletteHelper::instance()->color(PaletteHelper::FrameBorder));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(window->rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
}

} // namespace Karvo
