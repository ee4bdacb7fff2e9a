#pragma once

#include <QPushButton>

namespace Karvo {

// The push button for the recommended action of a page: accent background, light text.
class SuggestButton : public QPushButton
{
    Q_OBJECT
public:
    explicit SuggestButton(QWidget *parent = nullptr);
    explicit SuggestButton(const QString &text, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace Karvo
