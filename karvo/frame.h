#pragma once

#include <QFrame>

namespace Karvo {

// A rounded panel in the palette's base colour (radius: the style's frame radius). A frame
// shape other than NoFrame adds a thin border line.
class Frame : public QFrame
{
    Q_OBJECT
public:
    explicit Frame(QWidget *parent = nullptr, Qt::WindowFlags flags = {});

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace Karvo
