#include "invokerfactory.h"

#include "dbusinvoker.h"

#include <QDebug>

#ifdef TEVRIN_WITH_SETTINGS_INVOKER
#include "tevringarrolansettingsinvoker.h"
#endif

InvokerFactory *InvokerFactory::GetInstance()
{
    static InvokerFactory instance;
    return &instance;
}

InvokerFactory::InvokerFactory()
    : QObject(nullptr)
{ }

DBusInvokerInterface *InvokerFactory::CreateInvoker(const QString &service, const QString &path,
    const QString &interface, ConnectType type, QObject *parent)
{
    return new DBusInvoker(service, path, interface, type, parent);
}

SettingsInvokerInterface *InvokerFactory::CreateSettingsInvoker(
    const QByteArray &schemaId, const QByteArray &path, QObject *parent)
{
#ifdef TEVRIN_WITH_SETTINGS_INVOKER
    return new TevrinGarrolanSettingsInvoker(schemaId, path, parent);
#else
    Q_UNUSED(parent)
    qWarning() << "this program was built without desktop settings; no invoker for" << schemaId
               << path;
    return nullptr;
#endif
}
