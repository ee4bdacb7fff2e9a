#pragma once

#include "connecttype.h"
#include "dbusinvokerinterface.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>

// Reaches one remote object without generated proxy classes. Use it on the thread that made
// it: a blocking Invoke blocks that thread for up to the bus library's default time-out.
class DBusInvoker : public QObject, public DBusInvokerInterface
{
    Q_OBJECT

public:
    // Contacts nobody; the bus connection is only taken.
    DBusInvoker(const QString &service, const QString &path, const QString &interface,
        ConnectType type, QObject *parent);

    QDBusMessage Invoke(
        const QString &name, const QList<QVariant> &args, QDBus::CallMode mode) override;
    bool EmitSignal(const QString &name, const QList<QVariant> &args) override;
    bool Connect(const QString &name, QObject *receiver, const char *slot) override;

private:
    QString m_service;
    QString m_path;
    QString m_interface;
    ConnectType m_connectType;
    QDBusConnection m_connection;
};
