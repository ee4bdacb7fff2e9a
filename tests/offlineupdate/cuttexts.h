#pragma once

#include <QAbstractButton>
#include <QLabel>
#include <QStringList>
#include <QWidget>

// The texts of |window| that a user cannot read whole: a shown label or button that lies partly
// outside the window, a label whose text needs more height (or, not wrapping, more width) than
// it has, a button narrower or lower than its text needs. Each as "text: what is wrong".
inline QStringList cutTexts(QWidget *window)
{
    QStringList cut;
    const auto outside = [window](const QWidget *widget) {
        return !window->rect().contains(
            QRect(widget->mapTo(window, QPoint(0, 0)), widget->size()));
    };
    const QString size = QStringLiteral("%1x%2");
    for (const QLabel *label : window->findChildren<QLabel *>()) {
        if (!label->isVisible() || label->text().isEmpty()
            || !label->pixmap(Qt::ReturnByValue).isNull())
            continue;
        const int needed = label->wordWrap() ? label->heightForWidth(label->width())
                                             : label->sizeHint().height();
        if (outside(label))
            cut << label->text() + QStringLiteral(": outside the window");
        if (needed > label->height())
            cut << QStringLiteral("%1: needs %2, has %3 in %4")
                       .arg(label->text())
                       .arg(needed)
                       .arg(label->height())
                       .arg(size.arg(window->width()).arg(window->height()));
        if (!label->wordWrap() && label->sizeHint().width() > label->width())
            cut << label->text() + QStringLiteral(": too narrow");
    }
    for (const QAbstractButton *button : window->findChildren<QAbstractButton *>()) {
        if (!button->isVisible())
            continue;
        if (outside(button))
            cut << button->text() + QStringLiteral(": outside the window");
        const QSize needed = button->minimumSizeHint();
        if (needed.width() > button->width() || needed.height() > button->height())
            cut << QStringLiteral("%1: needs %2, has %3")
                       .arg(button->text(), size.arg(needed.width()).arg(needed.height()),
                           size.arg(button->width()).arg(button->height()));
    }
    return cut;
}
