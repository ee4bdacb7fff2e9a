#include "mainwindow.h"

#include "titlebar.h"
#include "windowframe.h"

#include <QEvent>
#include <QPainter>

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
    if (hasRoundedCorners())
        applyRoundedMask(this);
    else
        clearMask();
}

void MainWindow::paintEvent(QPaintEvent *)
{
    if (hasRoundedCorners()) {
        paintWindowFrame(this);
        return;
    }
    QPainter painter(this);
    painter.fillRect(rect(), palette().brush(QPalette::Window));
}

} // namespace Karvo
