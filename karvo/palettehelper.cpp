#include "palettehelper.h"

#include <QBrush>
#include <QColor>
#include <QGuiApplication>
#include <QWidget>

namespace Karvo {

namespace {

const QColor Accent(0x00, 0x81, 0xff);
const QColor Ink(0x1f, 0x23, 0x29);
const QColor Warning(0xe5, 0x48, 0x4d);

void setRole(
    QPalette &palette, QPalette::ColorRole role, const QColor &active, const QColor &disabled)
{
    palette.setColor(QPalette::Active, role, active);
    palette.setColor(QPalette::Inactive, role, active);
    palette.setColor(QPalette::Disabled, role, disabled);
}

QColor withAlpha(QColor color, int alpha)
{
    color.setAlpha(alpha);
    return color;
}

} // namespace

PaletteHelper::PaletteHelper(QObject *parent)
    : QObject(parent)
{ }

PaletteHelper *PaletteHelper::instance()
{
    static PaletteHelper helper;
    return &helper;
}

QPalette PaletteHelper::standardPalette() const
{
    QPalette p;
    const QColor disabledText(0xa8, 0xad, 0xb4);
    setRole(p, QPalette::Window, QColor(0xf3, 0xf4, 0xf6), QColor(0xf3, 0xf4, 0xf6));
    setRole(p, QPalette::WindowText, Ink, disabledText);
    setRole(p, QPalette::Base, Qt::white, QColor(0xf7, 0xf8, 0xf9));
    setRole(p, QPalette::AlternateBase, QColor(0xf6, 0xf7, 0xf9), QColor(0xf6, 0xf7, 0xf9));
    setRole(p, QPalette::Text, Ink, disabledText);
    setRole(p, QPalette::BrightText, Qt::white, Qt::white);
    setRole(p, QPalette::Button, QColor(0xe6, 0xe8, 0xec), QColor(0xee, 0xef, 0xf2));
    setRole(p, QPalette::ButtonText, Ink, disabledText);
    setRole(p, QPalette::Light, Qt::white, Qt::white);
    setRole(p, QPalette::Midlight, QColor(0xed, 0xee, 0xf1), QColor(0xed, 0xee, 0xf1));
    setRole(p, QPalette::Mid, QColor(0xc9, 0xcd, 0xd3), QColor(0xdd, 0xe0, 0xe4));
    setRole(p, QPalette::Dark, QColor(0x9a, 0xa0, 0xa8), QColor(0xc9, 0xcd, 0xd3));
    setRole(p, QPalette::Shadow, QColor(0, 0, 0, 60), QColor(0, 0, 0, 30));
    setRole(p, QPalette::Highlight, Accent, QColor(0x9c, 0xcb, 0xff));
    setRole(p, QPalette::HighlightedText, Qt::white, Qt::white);
    setRole(p, QPalette::Link, Accent, QColor(0x9c, 0xcb, 0xff));
    setRole(p, QPalette::LinkVisited, Accent.darker(125), QColor(0x9c, 0xcb, 0xff));
    setRole(p, QPalette::ToolTipBase, Qt::white, Qt::white);
    setRole(p, QPalette::ToolTipText, Ink, disabledText);
    setRole(p, QPalette::PlaceholderText, QColor(0x8a, 0x90, 0x99), disabledText);
    return p;
}

QPalette PaletteHelper::applicationPalette() const
{
    return qobject_cast<QGuiApplication *>(QCoreApplication::instance())
        ? QGuiApplication::palette()
        : standardPalette();
}

QPalette PaletteHelper::palette(const QWidget *widget) const
{
    return widget ? widget->palette() : applicationPalette();
}

QColor PaletteHelper::color(ColorType type, QPalette::ColorGroup group) const
{
    const QPalette p = applicationPalette();
    const bool disabled = group == QPalette::Disabled;
    const QColor accent = p.color(group, QPalette::Highlight);
    QColor result;
    switch (type) {
    case NoType:
        return QColor();
    case ItemBackground:
        result = QColor(0, 0, 0, 11);
        break;
    case TextTitle:
        result = p.color(group, QPalette::WindowText);
        break;
    case TextTips:
        result = withAlpha(p.color(group, QPalette::WindowText), 150);
        break;
    case TextWarning:
        result = Warning;
        break;
    case TextLively:
        result = p.color(group, QPalette::HighlightedText);
        break;
    case LightLively:
        result = accent.lighter(125);
        break;
    case DarkLively:
        result = accent.darker(125);
        break;
    case FrameBorder:
        result = QColor(0, 0, 0, 26);
        break;
    case PlaceholderText:
        result = p.color(group, QPalette::PlaceholderText);
        break;
    case FrameShadowBorder:
        result = QColor(0, 0, 0, 15);
        break;
    case ObviousBackground:
        result = QColor(0xe4, 0xe6, 0xea);
        break;
    }
    // Palette-derived types already carry their disabled look; the fixed ones fade here.
    if (disabled && (type == ItemBackground || type == TextWarning || type == ObviousBackground))
        result.setAlphaF(result.alphaF() * 0.5);
    return result;
}

QBrush PaletteHelper::brush(ColorType type, QPalette::ColorGroup group) const
{
    return QBrush(color(type, group));
}

} // namespace Karvo
