#pragma once

#include <QHeaderView>

class QFocusEvent;
class QPainter;
class QPaintEvent;

// Horizontal header of the check result table: a panel with rounded top corners, a one-pixel
// line along its bottom, short separators between sections and a sort arrow of its own. A focus
// frame around all sections shows only when the header was reached with the keyboard.
class GarrolanTableHeaderView : public QHeaderView
{
    Q_OBJECT

public:
    explicit GarrolanTableHeaderView(Qt::Orientation orientation, QWidget *parent = nullptr);

    QSize sizeHint() const override;

protected:
    void focusInEvent(QFocusEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override;

private:
    int m_separatorWidth = 1;
    Qt::FocusReason m_focusReason = Qt::NoFocusReason;
};
