#pragma once

#include <QColor>
#include <QWidget>

class QPaintEvent;

// A frameless layer that lays one colour, alpha included, over whatever lies behind it.
class UpgradeWidget : public QWidget
{
    Q_OBJECT

public:
    explicit UpgradeWidget(QColor color, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_color;
};
