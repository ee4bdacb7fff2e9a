#pragma once

#include <QDBusConnection>
#include <QDBusMessage>

class QObject;
class QString;

// A handle on one remote object (service, path, interface, bus). Errors never throw: they come
// back as error messages from Invoke or as false from the other operations.
class DBusInvokerInterface
{
public:
    // Calls the method `name` with `args`. The name "dbusPropertyInvoker" reads the property
    // named by the first element of `args` instead; the reply then carries the value wrapped
    // as a D-Bus variant. With QDBus::NoBlock the remote reply is discarded and an empty
    // message comes back at once.
    virtual QDBusMessage Invoke(
        const QString &name, const QList<QVariant> &args, QDBus::CallMode mode)
        = 0;
    virtual bool EmitSignal(const QString &name, const QList<QVariant> &args) = 0;
    // `slot` is in the form the SLOT macro makes.
    virtual bool Connect(const QString &name, QObject *receiver, const char *slot) = 0;
    virtual ~DBusInvokerInterface() = default;
};
