#include "scriptedservice.h"

#include <QAtomicInt>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>

namespace {

QString uniqueConnectionName(const QString &service)
{
    static QAtomicInt counter;
    return QStringLiteral("scripted-%1-%2").arg(service).arg(counter.fetchAndAddRelaxed(1));
}

} // namespace

ScriptedService::ScriptedService(const QString &busAddress, const QString &service,
    const QString &path, const QString &interface)
    : m_busAddress(busAddress)
    , m_service(service)
    , m_path(path)
    , m_interface(interface)
    , m_connectionName(uniqueConnectionName(service))
    , m_object(new ScriptedObject(interface))
{
    // Calls to the object are delivered on this thread, never on the test's, which may be
    // blocked in a call to the object.
    m_object->moveToThread(&m_thread);
    m_thread.start();
}

ScriptedService::~ScriptedService()
{
    stop();
    m_object->deleteLater();
    m_thread.quit();
    m_thread.wait();
}

bool ScriptedService::start(QString *error)
{
    QDBusConnection connection = QDBusConnection::connectToBus(m_busAddress, m_connectionName);
    m_connected = true;
    if (!connection.isConnected()) {
        *error = QStringLiteral("cannot connect to %1: %2")
                     .arg(m_busAddress, connection.lastError().message());
        return false;
    }
    if (!connection.registerVirtualObject(m_path, m_object)) {
        *error = QStringLiteral("cannot export %1").arg(m_path);
        return false;
    }
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply
        = connection.interface()->registerService(m_service);
    if (!reply.isValid() || reply.value() != QDBusConnectionInterface::ServiceRegistered) {
        *error = QStringLiteral("cannot own %1: %2").arg(m_service, reply.error().message());
        return false;
    }
    return true;
}

void ScriptedService::stop()
{
    if (!m_connected)
        return;
    QDBusConnection connection(m_connectionName);
    // Released by a call the bus answers, so that the name has no owner once this returns;
    // the disconnection alone would release it some time later.
    connection.unregisterService(m_service);
    connection.unregisterObject(m_path);
    QDBusConnection::disconnectFromBus(m_connectionName);
    m_connected = false;
}

void ScriptedService::setReply(const QString &member, const ScriptedObject::Reply &reply)
{
    m_object->setReply(member, reply);
}

QList<ScriptedObject::Call> ScriptedService::calls() const
{
    return m_object->calls();
}

QStringList ScriptedService::members() const
{
    QStringList members;
    for (const ScriptedObject::Call &call : m_object->calls())
        members.append(call.member);
    return members;
}

bool ScriptedService::emitSignal(const QString &name, const QVariantList &arguments)
{
    QDBusMessage message = QDBusMessage::createSignal(m_path, m_interface, name);
    message.setArguments(arguments);
    return QDBusConnection(m_connectionName).send(message);
}
