#include "commandlinkbutton.h"

#include "style.h"

#include <QPainter>
#include <QStyleOption>

namespace Karvo {

namespace {

// Room around the text, so that the underline and descenders are not cut at the edge.
// room for the focus ring as well.
const int Padding = 4;

} // namespace

CommandLinkButton::CommandLinkButton(QWidget *parent)
    : CommandLinkButton(QString(), parent)
{ }

CommandLinkButton::CommandLinkButton(const QString &text, QWidget *parent)
    : QAbstractButton(parent)
{
    setText(text);
    setAttribute(Qt::WA_Hover);
    // A click must not leave the link underlined as if the pointer were still on it; only
    // keyboard focus, which needs showing, underlines it.
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
}

QSize CommandLinkButton::sizeHint() const
{
    const QSize text = fontMetrics().size(Qt::TextShowMnemonic, this->text());
    return text + QSize(2 * Padding, 2 * Padding);
}

QSize CommandLinkButton::minimumSizeHint() const
{
    // Narrower than its text, the link shows the text elided in the middle.
    const QFontMetrics metrics = fontMetrics();
    return QSize(metrics.horizontalAdvance(QChar(0x2026)), metrics.height())
        + QSize(2 * Padding, 2 * Padding);
}

void CommandLinkButton::paintEvent(QPaintEvent *)
{
    const bool enabled = isEnabled();
    QColor ink
        = palette().color(enabled ? QPalette::Active : QPalette::Disabled, QPalette::Highlight);
    if (enabled && isDown())
        ink = ink.darker(130);
    QFont linkFont = font();
    linkFont.setUnderline(enabled && (underMouse() || hasFocus()));

    const QRect textRect = rect().adjusted(Padding, Padding, -Padding, -Padding);
    const QString shown = QFontMetrics(linkFont).elidedText(
        text(), Qt::ElideMiddle, textRect.width(), Qt::TextShowMnemonic);
    QPainter painter(this);
    painter.setFont(linkFont);
    painter.setPen(ink);
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic, shown);
    if (hasFocus()) {
        QStyleOptionFocusRect ring;
        ring.initFrom(this);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &ring, &painter, this);
    }
}

} // namespace Karvo
