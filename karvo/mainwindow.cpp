#include "mainwindow.h"

#include "palettehelper.h"
#include "style.h"
#include "titlebar.h"

#include <QEvent>
#include <QPainter>
#include <QPainterPath>

namespace Karvo {

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , m_titlebar(new TitleBar)
{
    setWindowFlag(Qt::FramelessWindowHint);
    setMenuWidget(m_titlebar);
    // Room for the border line, which children would otherwise cover.
    setContentsMargins(1, 1, 1, 1);
}

void MainWindow::setVisible(bool visible)
{
    // Callers replace the window flags wholesale (to choose the buttons); the frame must not
    // come back with them, or the window would carry two title bars.
    if (visible && !(windowFlags() & Qt::FramelessWindowHint))
        setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    QMainWindow::setVisible(visible);
}

void MainWindow::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::WindowStateChange)
        updateShape();
    QMainWindow::changeEvent(event);
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    updateShape();
    QMainWindow::resizeEvent(event);
}

bool MainWindow::hasRoundedCorners() const
{
    return !(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen));
}

void MainWindow::updateShape()
{
    // A mask rather than a translucent background: without a compositing manager translucent
    // corners turn black, while a shaped window works on every X server.
    if (!hasRoundedCorners()) {
        clearMask();
        return;
    }
    const qreal radius = Style::metric(this, Style::PM_FrameRadius);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), radius, radius);
    setMask(QRegion(path.toFillPolygon().toPolygon()));
}

void MainWindow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().brush(QPalette::Window));
    if (!hasRoundedCorners())
        return;
    const qreal radius = Style::metric(this, Style::PM_FrameRadius);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(PaletteHelper::instance()->color(PaletteHelper::FrameBorder));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
}

} // namespace Karvo
