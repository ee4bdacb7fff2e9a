#include "standarditem.h"

#include <QMargins>

Q_DECLARE_METATYPE(QMargins)

namespace Karvo {

StandardItem::StandardItem() = default;

StandardItem::StandardItem(const QString &text)
    : QStandardItem(text)
{ }

StandardItem::StandardItem(const QIcon &icon, const QString &text)
    : QStandardItem(icon, text)
{ }

StandardItem::StandardItem(int rows, int columns)
    : QStandardItem(rows, columns)
{ }

int StandardItem::type() const
{
    return UserType + 1;
}

QStandardItem *StandardItem::clone() const
{
    return new StandardItem(*this);
}

QMargins StandardItem::margins() const
{
    return data(MarginsRole).value<QMargins>();
}

void StandardItem::setMargins(const QMargins &margins)
{
    setData(QVariant::fromValue(margins), MarginsRole);
}

} // namespace Karvo
