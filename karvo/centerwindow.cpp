#include "centerwindow.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace Karvo {

void moveToCenter(QWidget *window)
{
    if (!window)
        return;
    window = window->window();
    QScreen *screen = window->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const QSize size = window->frameGeometry().size();
    const QPoint offset(
        qMax(0, (area.width() - size.width()) / 2), qMax(0, (area.height() - size.height()) / 2));
    window->move(area.topLeft() + offset);
}

} // namespace Karvo
