#pragma once

#include "connecttype.h"

class DBusInvokerInterface;
class QByteArray;
class QObject;
class QString;
class SettingsInvokerInterface;

// Makes invokers. Every object made is a QObject whose Qt parent is `parent`: it is deleted
// with that parent, and callers never delete it through the interface pointer.
class InvokerFactoryInterface
{
public:
    virtual DBusInvokerInterface *CreateInvoker(const QString &service, const QString &path,
        const QString &interface, ConnectType type, QObject *parent)
        = 0;
    virtual SettingsInvokerInterface *CreateSettingsInvoker(
        const QByteArray &schemaId, const QByteArray &path, QObject *parent)
        = 0;
    virtual ~InvokerFactoryInterface() = default;
};
