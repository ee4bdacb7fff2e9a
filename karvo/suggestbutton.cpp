#include "suggestbutton.h"

#include <QStyleOptionButton>
#include <QStylePainter>

namespace Karvo {

SuggestButton::SuggestButton(QWidget *parent)
    : SuggestButton(QString(), parent)
{ }

SuggestButton::SuggestButton(const QString &text, QWidget *parent)
    : QPushButton(text, parent)
{ }

void SuggestButton::paintEvent(QPaintEvent *)
{
    // The colours are swapped in the option only, so the button follows the current
    // accent colour and any style draws it with its usual shapes.
    QStyleOptionButton option;
    initStyleOption(&option);
    for (const auto group : { QPalette::Active, QPalette::Inactive, QPalette::Disabled }) {
        option.palette.setColor(
            group, QPalette::Button, option.palette.color(group, QPalette::Highlight));
        option.palette.setColor(
            group, QPalette::ButtonText, option.palette.color(group, QPalette::HighlightedText));
    }
    QStylePainter painter(this);
    painter.drawControl(QStyle::CE_PushButton, option);
}

} // namespace Karvo
