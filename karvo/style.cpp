#include "style.h"

#include "focusindicator.h"
#include "palettehelper.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPainter>
#include <QStyleOption>

namespace Karvo {

namespace {

const int FrameRadius = 8;
const int ContentsMargins = 10;
const int ButtonHeight = 36;
const int ButtonMinimumWidth = 80;
const int IndicatorSize = 16;
const int LineEditPadding = 7;

// Hover and press darken whatever colour the button carries, so an accent-coloured button
// keeps its hue instead of falling back to grey.
QColor buttonColor(const QStyleOption *option)
{
    const QColor base = option->palette.color(QPalette::Button);
    if (!(option->state & QStyle::State_Enabled))
        return option->palette.color(QPalette::Disabled, QPalette::Button);
    if (option->state & (QStyle::State_Sunken | QStyle::State_On))
        return base.darker(118);
    if (option->state & QStyle::State_MouseOver)
        return base.darker(107);
    return base;
}

} // namespace

Style::Style()
    : QProxyStyle(QStringLiteral("Fusion"))
{
    setObjectName(QStringLiteral("velmora"));
}

int Style::metric(const QWidget *widget, PixelMetric which)
{
    const QStyle *style = widget ? widget->style() : QApplication::style();
    const int value
        = style ? style->pixelMetric(static_cast<QStyle::PixelMetric>(which), nullptr, widget) : 0;
    if (value > 0)
        return value;
    return which == PM_FrameRadius ? FrameRadius : ContentsMargins;
}

int Style::pixelMetric(
    QStyle::PixelMetric which, const QStyleOption *option, const QWidget *widget) const
{
    switch (static_cast<int>(which)) {
    case PM_FrameRadius:
        return FrameRadius;
    case PM_ContentsMargins:
        return ContentsMargins;
    case QStyle::PM_ButtonMargin:
        return 2 * ContentsMargins;
    case QStyle::PM_IndicatorWidth:
    case QStyle::PM_IndicatorHeight:
    case QStyle::PM_ExclusiveIndicatorWidth:
    case QStyle::PM_ExclusiveIndicatorHeight:
        return IndicatorSize;
    case QStyle::PM_CheckBoxLabelSpacing:
    case QStyle::PM_RadioButtonLabelSpacing:
        return 8;
    case QStyle::PM_DefaultFrameWidth:
        // A line edit's frame width is also its text inset; give the text room to breathe.
        if (qobject_cast<const QLineEdit *>(widget))
            return LineEditPadding;
        return QProxyStyle::pixelMetric(which, option, widget);
    case QStyle::PM_LayoutHorizontalSpacing:
    case QStyle::PM_LayoutVerticalSpacing:
        return ContentsMargins;
    default:
        return QProxyStyle::pixelMetric(which, option, widget);
    }
}

QSize Style::sizeFromContents(
    ContentsType type, const QStyleOption *option, const QSize &size, const QWidget *widget) const
{
    QSize result = QProxyStyle::sizeFromContents(type, option, size, widget);
    if (type == CT_PushButton) {
        const auto *button = qstyleoption_cast<const QStyleOptionButton *>(option);
        if (button && !(button->features & QStyleOptionButton::Flat)) {
            result.setHeight(qMax(result.height(), ButtonHeight));
            result.setWidth(qMax(result.width(), ButtonMinimumWidth));
        }
    } else if (type == CT_LineEdit) {
        // Fields line up with the buttons next to them.
        const auto *frame = qstyleoption_cast<const QStyleOptionFrame *>(option);
        if (frame && frame->lineWidth > 0)
            result.setHeight(qMax(result.height(), ButtonHeight));
    }
    return result;
}

void Style::drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
    const QWidget *widget) const
{
    QProxyStyle::drawControl(element, option, painter, widget);
    // Fusion shows a button's focus through its own panel, which this style replaces.
    if (element == CE_PushButton && (option->state & State_HasFocus)) {
        QStyleOptionFocusRect ring;
        ring.QStyleOption::operator=(*option);
        ring.rect = subElementRect(SE_PushButtonFocusRect, option, widget);
        drawPrimitive(PE_FrameFocusRect, &ring, painter, widget);
    }
}

void Style::drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
    const QWidget *widget) const
{
    switch (element) {
    case PE_PanelButtonCommand:
    case PE_PanelButtonBevel:
        drawButtonPanel(option, painter);
        return;
    case PE_FrameDefaultButton:
        return;
    case PE_FrameFocusRect:
        // Only while the keyboard is in use: a ring on every clicked button is noise.
        if (option->state & State_KeyboardFocusChange)
            drawFocusRing(option->rect, option->palette, painter);
        return;
    case PE_IndicatorArrowUp:
    case PE_IndicatorArrowDown:
    case PE_IndicatorArrowLeft:
    case PE_IndicatorArrowRight:
        drawArrow(element, option, painter);
        return;
    case PE_IndicatorCheckBox:
        drawCheckIndicator(option, painter, false);
        return;
    case PE_IndicatorRadioButton:
        drawCheckIndicator(option, painter, true);
        return;
    case PE_PanelLineEdit:
        drawLineEditPanel(option, painter);
        return;
    case PE_FrameLineEdit:
        return;
    case PE_Frame: {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(PaletteHelper::instance()->color(PaletteHelper::FrameBorder));
        painter->setBrush(Qt::NoBrush);
        painter->drawRoundedRect(QRectF(option->rect).adjusted(0.5, 0.5, -0.5, -0.5), 2, 2);
        painter->restore();
        return;
    }
    default:
        QProxyStyle::drawPrimitive(element, option, painter, widget);
    }
}

void Style::drawFocusRing(const QRect &rect, const QPalette &palette, QPainter *painter)
{
    // An accent ring with a light line inside it: the ring shows on plain controls, the light
    // line on the accent-coloured ones, where an accent ring alone would vanish.
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setBrush(Qt::NoBrush);
    painter->setPen(QPen(palette.color(QPalette::Active, QPalette::Highlight), 2));
    const QRectF outer = QRectF(rect).adjusted(1, 1, -1, -1);
    painter->drawRoundedRect(outer, FrameRadius - 1, FrameRadius - 1);
    painter->setPen(QPen(palette.color(QPalette::Active, QPalette::Base), 1));
    painter->drawRoundedRect(outer.adjusted(1.5, 1.5, -1.5, -1.5), FrameRadius - 3, FrameRadius - 3);
    painter->restore();
}

QRect Style::subElementRect(SubElement element, const QStyleOption *option, const QWidget *widget) const
{
    // The ring goes round the whole button, where it cannot cover the text.
    if (element == SE_PushButtonFocusRect)
        return option->rect;
    return QProxyStyle::subElementRect(element, option, widget);
}

void Style::drawButtonPanel(const QStyleOption *option, QPainter *painter) const
{
    const auto *button = qstyleoption_cast<const QStyleOptionButton *>(option);
    const bool flat = button && (button->features & QStyleOptionButton::Flat);
    QColor fill = buttonColor(option);
    if (flat) {
        // Flat buttons only show themselves under the pointer.
        if (!(option->state & (State_MouseOver | State_Sunken | State_On))
            || !(option->state & State_Enabled))
            return;
        fill = option->palette.color(QPalette::WindowText);
        fill.setAlpha(option->state & State_Sunken ? 40 : 20);
    }
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(fill);
    painter->drawRoundedRect(QRectF(option->rect), FrameRadius, FrameRadius);
    painter->restore();
}

void Style::drawCheckIndicator(const QStyleOption *option, QPainter *painter, bool round) const
{
    const bool enabled = option->state & State_Enabled;
    const bool on = option->state & (State_On | State_NoChange);
    const QPalette::ColorGroup group = enabled ? QPalette::Active : QPalette::Disabled;
    const QColor accent = option->palette.color(group, QPalette::Highlight);
    const QRectF box = QRectF(option->rect).adjusted(0.5, 0.5, -0.5, -0.5);

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    if (on) {
        painter->setPen(Qt::NoPen);
        painter->setBrush((option->state & State_MouseOver) ? accent.lighter(110) : accent);
    } else {
        const bool hover = enabled && (option->state & State_MouseOver);
        painter->setPen(hover ? accent : option->palette.color(group, QPalette::Dark));
        painter->setBrush(option->palette.color(group, QPalette::Base));
    }
    if (round)
        painter->drawEllipse(box);
    else
        painter->drawRoundedRect(box, 4, 4);

    if (on) {
        const QColor mark = option->palette.color(group, QPalette::HighlightedText);
        const QPointF c = box.center();
        const qreal s = box.width() / 16.0;
        if (round) {
            painter->setBrush(mark);
            painter->drawEllipse(c, 3 * s, 3 * s);
        } else if (option->state & State_NoChange) {
            painter->setPen(QPen(mark, 2 * s, Qt::SolidLine, Qt::RoundCap));
            painter->drawLine(QPointF(c.x() - 4 * s, c.y()), QPointF(c.x() + 4 * s, c.y()));
        } else {
            painter->setPen(QPen(mark, 2 * s, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            painter->setBrush(Qt::NoBrush);
            const QPointF points[] = { { c.x() - 4 * s, c.y() }, { c.x() - 1 * s, c.y() + 3 * s },
                { c.x() + 4 * s, c.y() - 3 * s } };
            painter->drawPolyline(points, 3);
        }
    }
    painter->restore();
}

void Style::drawArrow(PrimitiveElement element, const QStyleOption *option, QPainter *painter) const
{
    if (option->rect.isEmpty())
        return;
    // A small arrow in the middle of its place, so that text beside it keeps its distance.
    const qreal side = qMin(option->rect.width(), option->rect.height()) * 0.6;
    QRectF r(0, 0, side, side);
    r.moveCenter(QRectF(option->rect).center());
    QPolygonF triangle;
    switch (element) {
    case PE_IndicatorArrowUp:
        triangle << r.bottomLeft() << r.bottomRight() << QPointF(r.center().x(), r.top());
        break;
    case PE_IndicatorArrowDown:
        triangle << r.topLeft() << r.topRight() << QPointF(r.center().x(), r.bottom());
        break;
    case PE_IndicatorArrowLeft:
        triangle << r.topRight() << r.bottomRight() << QPointF(r.left(), r.center().y());
        break;
    default:
        triangle << r.topLeft() << r.bottomLeft() << QPointF(r.right(), r.center().y());
        break;
    }
    const QPalette::ColorGroup group
        = (option->state & State_Enabled) ? QPalette::Active : QPalette::Disabled;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(option->palette.color(group, QPalette::WindowText));
    painter->drawPolygon(triangle);
    painter->restore();
}

void Style::drawLineEditPanel(const QStyleOption *option, QPainter *painter) const
{
    const auto *frame = qstyleoption_cast<const QStyleOptionFrame *>(option);
    if (frame && frame->lineWidth <= 0)
        return;
    const bool focus = (option->state & State_HasFocus) && (option->state & State_Enabled);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setBrush(option->palette.color(QPalette::Base));
    painter->setPen(focus ? QPen(option->palette.color(QPalette::Highlight), 1)
                          : QPen(PaletteHelper::instance()->color(PaletteHelper::FrameBorder), 1));
    painter->drawRoundedRect(
        QRectF(option->rect).adjusted(0.5, 0.5, -0.5, -0.5), FrameRadius - 2, FrameRadius - 2);
    painter->restore();
}

QPalette Style::standardPalette() const
{
    return PaletteHelper::instance()->standardPalette();
}

void Style::polish(QPalette &palette)
{
    // The light theme is the style's identity: a desktop palette handed in by the platform
    // would give dark text fields under light panels, so it is replaced as a whole.
    palette = standardPalette();
}

void Style::polish(QApplication *application)
{
    QProxyStyle::polish(application);
    application->installEventFilter(FocusIndicator::instance());
}

void Style::unpolish(QApplication *application)
{
    application->removeEventFilter(FocusIndicator::instance());
    QProxyStyle::unpolish(application);
}

void Style::polish(QWidget *widget)
{
    QProxyStyle::polish(widget);
    if (qobject_cast<QAbstractButton *>(widget) || qobject_cast<QComboBox *>(widget))
        widget->setAttribute(Qt::WA_Hover);
    if (auto *view = qobject_cast<QAbstractItemView *>(widget)) {
        view->viewport()->setAttribute(Qt::WA_Hover);
        view->setMouseTracking(true);
    }
}

} // namespace Karvo
