#include "fontsizemanager.h"

#include <QApplication>
#include <QFont>
#include <QWidget>

namespace Karvo {

namespace {

// Steps from the body size; T1 suits a page heading, T10 the finest print.
const int LevelOffsets[FontSizeManager::NSizeTypes] = { 26, 16, 10, 6, 3, 0, -1, -2, -3, -4 };

} // namespace

FontSizeManager::FontSizeManager(QObject *parent)
    : QObject(parent)
{ }

FontSizeManager *FontSizeManager::instance()
{
    static FontSizeManager manager;
    return &manager;
}

void FontSizeManager::bind(QWidget *widget, SizeType type)
{
    if (!widget || type < T1 || type >= NSizeTypes)
        return;
    if (!m_bound.contains(widget)) {
        connect(widget, &QObject::destroyed, this, [this, widget] { m_bound.remove(widget); });
    }
    m_bound.insert(widget, type);
    apply(widget, type);
}

void FontSizeManager::unbind(QWidget *widget)
{
    if (m_bound.remove(widget))
        disconnect(widget, &QObject::destroyed, this, nullptr);
}

bool FontSizeManager::isBound(const QWidget *widget) const
{
    return m_bound.contains(const_cast<QWidget *>(widget));
}

int FontSizeManager::fontPixelSize(SizeType type) const
{
    if (type < T1 || type >= NSizeTypes)
        type = T6;
    return m_baseSize + LevelOffsets[type];
}

QFont FontSizeManager::get(SizeType type) const
{
    QFont font = QApplication::font();
    font.setPixelSize(fontPixelSize(type));
    return font;
}

void FontSizeManager::setBaseFontSize(int px)
{
    px = qMax(px, int(MinimumBaseFontSize));
    if (px == m_baseSize)
        return;
    m_baseSize = px;
    for (auto it = m_bound.cbegin(); it != m_bound.cend(); ++it)
        apply(it.key(), it.value());
    emit fontChanged();
}

void FontSizeManager::apply(QWidget *widget, SizeType type) const
{
    QFont font = widget->font();
    font.setPixelSize(fontPixelSize(type));
    widget->setFont(font);
}

} // namespace Karvo
