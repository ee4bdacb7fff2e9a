#include "velmorastyleplugin.h"

#include "style.h"

namespace Karvo {

VelmoraStylePlugin::VelmoraStylePlugin(QObject *parent)
    : QStylePlugin(parent)
{ }

QStyle *VelmoraStylePlugin::create(const QString &key)
{
    return key.compare(QLatin1String("velmora"), Qt::CaseInsensitive) == 0 ? new Style : nullptr;
}

} // namespace Karvo
