#pragma once

#include <QStylePlugin>

namespace Karvo {

// Makes the style known to QStyleFactory as "velmora". It is a static plugin: programs that
// want the name to resolve say Q_IMPORT_PLUGIN(VelmoraStylePlugin) once.
class VelmoraStylePlugin : public QStylePlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QStyleFactoryInterface_iid FILE "velmora.json")
public:
    explicit VelmoraStylePlugin(QObject *parent = nullptr);
    QStyle *create(const QString &key) override;
};

} // namespace Karvo
