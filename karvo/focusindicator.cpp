#include "focusindicator.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QWidget>

namespace Karvo {

FocusIndicator::FocusIndicator(QObject *parent)
    : QObject(parent)
{ }

FocusIndicator *FocusIndicator::instance()
{
    static FocusIndicator *indicator = new FocusIndicator(qApp);
    return indicator;
}

void FocusIndicator::setKeyboardInUse(QWidget *window, bool keyboard)
{
    m_keyboard = keyboard;
    if (!window || window->testAttribute(Qt::WA_KeyboardFocusChange) == keyboard)
        return;
    window->setAttribute(Qt::WA_KeyboardFocusChange, keyboard);
    if (QWidget *focus = window->focusWidget())
        focus->update();
}

bool FocusIndicator::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress: {
        const int key = static_cast<QKeyEvent *>(event)->key();
        // A modifier alone is often the start of a mouse gesture (Ctrl+click).
        const bool modifier = key == Qt::Key_Shift || key == Qt::Key_Control
            || key == Qt::Key_Alt || key == Qt::Key_Meta;
        if (!modifier && watched->isWidgetType())
            setKeyboardInUse(static_cast<QWidget *>(watched)->window(), true);
        break;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        if (watched->isWidgetType())
            setKeyboardInUse(static_cast<QWidget *>(watched)->window(), false);
        break;
    case QEvent::FocusIn:
        if (watched->isWidgetType()
            && static_cast<QFocusEvent *>(event)->reason() != Qt::MouseFocusReason)
            setKeyboardInUse(static_cast<QWidget *>(watched)->window(), m_keyboard);
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace Karvo
