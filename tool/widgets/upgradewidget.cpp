#include "upgradewidget.h"

#include <QPainter>

UpgradeWidget::UpgradeWidget(QColor color, QWidget *parent)
    : QWidget(parent)
    , m_color(color)
{
    setWindowFlag(Qt::FramelessWindowHint);
    // Without it a top-level layer would paint an opaque window background under its colour.
    setAttribute(Qt::WA_TranslucentBackground);
}

void UpgradeWidget::paintEvent(QPaintEvent *event)
{
    {
        QPainter painter(this);
        painter.fillRect(QRect(0, 0, width(), height()), m_color);
    }
    QWidget::paintEvent(event);
}
