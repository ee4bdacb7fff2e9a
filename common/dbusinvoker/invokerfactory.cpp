#include "invokerfactory.h"

#include "dbusinvoker.h"
#include "tevringarrolansettingsinvoker.h"

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
    return new TevrinGarrolanSettingsInvoker(schemaId, path, parent);
}
