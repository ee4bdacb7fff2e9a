#pragma once

#include "invokerfactoryinterface.h"

#include <QObject>

// The one factory of the process. It keeps no registry: every call makes a new object.
class InvokerFactory : public QObject, public InvokerFactoryInterface
{
    Q_OBJECT

public:
    // Built on first use (thread-safe) and destroyed at process exit.
    static InvokerFactory *GetInstance();

    DBusInvokerInterface *CreateInvoker(const QString &service, const QString &path,
        const QString &interface, ConnectType type, QObject *parent) override;
    SettingsInvokerInterface *CreateSettingsInvoker(
        const QByteArray &schemaId, const QByteArray &path, QObject *parent) override;

private:
    InvokerFactory();
};
