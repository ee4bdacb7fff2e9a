#include "warningbutton.h"

#include "palettehelper.h"

#include <QStyleOptionButton>
#include <QStylePainter>

namespace Karvo {

WarningButton::WarningButton(QWidget *parent)
    : WarningButton(QString(), parent)
{ }

WarningButton::WarningButton(const QString &text, QWidget *parent)
    : QPushButton(text, parent)
{ }

void WarningButton::paintEvent(QPaintEvent *)
{
    QStyleOptionButton option;
    initStyleOption(&option);
    const PaletteHelper *helper = PaletteHelper::instance();
    for (const auto group : { QPalette::Active, QPalette::Inactive, QPalette::Disabled }) {
        const QColor warning = helper->color(PaletteHelper::TextWarning, group);
        option.palette.setColor(group, QPalette::ButtonText, warning);
        if (group != QPalette::Disabled && (option.state & QStyle::State_MouseOver)) {
            QColor tint = warning;
            tint.setAlpha(38);
            const QColor base = option.palette.color(group, QPalette::Base);
            // Opaque mix of the tint over the base, so styles that ignore alpha stay right.
            const qreal a = tint.alphaF();
            option.palette.setColor(group, QPalette::Button,
                QColor::fromRgbF(base.redF() * (1 - a) + tint.redF() * a,
                    base.greenF() * (1 - a) + tint.greenF() * a,
                    base.blueF() * (1 - a) + tint.blueF() * a));
        }
    }
    QStylePainter painter(this);
    painter.drawControl(QStyle::CE_PushButton, option);
}

} // namespace Karvo
