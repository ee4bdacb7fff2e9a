#pragma once

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAccessible>
#include <QLabel>
#include <QProgressBar>
#include <QStringList>
#include <QWidget>

// What a screen reader has to name in |window|: the window itself and everything shown in it
// that a user can reach or that stands for something without words of its own (controls,
// views, progress, pictures, busy indicators). Returns those it reads an empty name for, as
// "class objectName", so that a failure says where to look.
inline QStringList unnamedWidgets(QWidget *window)
{
    const auto needsName = [window](QWidget *widget) {
        if (widget == window)
            return true;
        if (!widget->isVisibleTo(window))
            return false;
        if (widget->focusPolicy() != Qt::NoFocus || qobject_cast<QAbstractButton *>(widget)
            || qobject_cast<QAbstractSlider *>(widget) || qobject_cast<QProgressBar *>(widget)
            || qobject_cast<QAbstractItemView *>(widget))
            return true;
        if (auto *label = qobject_cast<QLabel *>(widget))
            return !label->pixmap(Qt::ReturnByValue).isNull() || label->movie();
        return widget->inherits("Karvo::Spinner");
    };
    QStringList unnamed;
    QList<QWidget *> widgets = window->findChildren<QWidget *>();
    widgets.prepend(window);
    for (QWidget *widget : qAsConst(widgets)) {
        if (!needsName(widget))
            continue;
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(widget);
        if (!accessible || accessible->text(QAccessible::Name).trimmed().isEmpty())
            unnamed << QStringLiteral("%1 %2").arg(
                QLatin1String(widget->metaObject()->className()), widget->objectName());
    }
    return unnamed;
}
