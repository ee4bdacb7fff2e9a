#include "scriptedservice.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>

ScriptedService::ScriptedService(const QString &busAddress, const QString &service)
    : m_busAddress(busAddress)
    , m_service(service)
    , m_path('/' + QString(service).replace('.', '/'))
    , m_connectionName(QStringLiteral("scripted-%1").arg(quintptr(this)))
    , m_object(new ScriptedObject(service))
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

QString ScriptedService::start()
{
    QDBusConnection connection = QDBusConnection::connectToBus(m_busAddress, m_connectionName);
    m_connected = true;
    if (!connection.isConnected())
        return QStringLiteral("cannot connect to %1: %2")
            .arg(m_busAddress, connection.lastError().message());
    if (!connection.registerVirtualObject(m_path, m_object))
        return QStringLiteral("cannot export %1").arg(m_path);
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply
        = connection.interface()->registerService(m_service);
    if (!reply.isValid() || reply.value() != QDBusConnectionInterface::ServiceRegistered)
        return QStringLiteral("cannot own %1: %2").arg(m_service, reply.error().message());
    return QString();
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

QStringList ScriptedService::members() const
{
    QStringList members;
    for (const ScriptedObject::Call &call : m_object->calls())
        members.append(call.member);
    return members;
}

bool ScriptedService::emitSignal(const QString &name, const QVariantList &arguments)
{
    QDBusMessage message = QDBusMessage::createSignal(m_path, m_service, name);
    message.setArguments(arguments);
    return QDBusConnection(m_connectionName).send(message);
}
