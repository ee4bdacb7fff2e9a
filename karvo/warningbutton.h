#pragma once

#include <QPushButton>

namespace Karvo {

// The push button for a dangerous action: warning-red text on the usual button background,
// turning red-tinted under the pointer.
class WarningButton : public QPushButton
{
    Q_OBJECT
public:
    explicit WarningButton(QWidget *parent = nullptr);
    explicit WarningButton(const QString &text, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace Karvo
