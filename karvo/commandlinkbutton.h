#pragma once

#include <QAbstractButton>

namespace Karvo {

// A flat, link-styled text button: the text in the accent colour, underlined while the pointer
// is over it, no button background.
class CommandLinkButton : public QAbstractButton
{
    Q_OBJECT
public:
    explicit CommandLinkButton(QWidget *parent = nullptr);
    explicit CommandLinkButton(const QString &text, QWidget *parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace Karvo
