#pragma once

#include <QMargins>
#include <QWidget>

class QLayout;

namespace Karvo {

// Lays a rounded panel (palette base colour, the style's frame radius) behind every widget
// and nested layout of its layout; spacers get none. A panel covers its item's geometry grown
// by the item margins, so the layout's spacing and contents margins must leave room for them.
class BackgroundGroup : public QWidget
{
    Q_OBJECT
public:
    // Takes |layout| as the group's own layout.
    explicit BackgroundGroup(QLayout *layout, QWidget *parent = nullptr);

    int itemSpacing() const;
    void setItemSpacing(int spacing);
    QMargins itemMargins() const { return m_itemMargins; }
    void setItemMargins(const QMargins &margins);

    // Where the panels are painted, in the group's coordinates.
    QVector<QRect> panelRects() const;

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QMargins m_itemMargins;
};

} // namespace Karvo
