#pragma once

#include "scriptedobject.h"

#include <QDBusConnection>
#include <QList>
#include <QString>
#include <QThread>
#include <QVariantList>

// Owns a service name on a bus, with a ScriptedObject on a connection and a thread of its own:
// the code under test reaches it through the bus like any other peer. As with the peers it
// stands in for, the interface is named like the service, and the path is the service's name
// with '/' for '.' ("com.a.b" at "/com/a/b").
class ScriptedService
{
public:
    ScriptedService(const QString &busAddress, const QString &service);
    ~ScriptedService();

    ScriptedService(const ScriptedService &) = delete;
    ScriptedService &operator=(const ScriptedService &) = delete;

    // Exports the object and takes the name; returns why it could not, or nothing.
    QString start();
    // Leaves the bus: the name has no owner afterwards.
    void stop();

    void setReply(const QString &member, const ScriptedObject::Reply &reply)
    {
        m_object->setReply(member, reply);
    }
    QList<ScriptedObject::Call> calls() const { return m_object->calls(); }
    QStringList members() const;
    // Broadcasts a signal of the object's interface from the name's owner.
    bool emitSignal(const QString &name, const QVariantList &arguments);

private:
    const QString m_busAddress;
    const QString m_service;
    const QString m_path;
    const QString m_connectionName;
    QThread m_thread;
    ScriptedObject *m_object;
    bool m_connected = false;
};
