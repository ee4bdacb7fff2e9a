#include "scriptedservice.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QMutexLocker>
#include <QTimer>

ScriptedService::ScriptedService(const QString &busAddress, const QString &service)
    : m_busAddress(busAddress)
    , m_service(service)
    , m_path('/' + QString(service).replace('.', '/'))
    , m_connectionName(QStringLiteral("scripted-%1").arg(quintptr(this)))
{
    moveToThread(&m_thread);
    m_thread.start();
}

ScriptedService::~ScriptedService()
{
    stop();
    // Nothing runs on the thread once it has ended, so the object may go from this one.
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
    if (!connection.registerVirtualObject(m_path, this))
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

void ScriptedService::setReply(const QString &member, const Reply &reply)
{
    QMutexLocker locker(&m_mutex);
    m_replies.insert(member, reply);
}

QList<ScriptedService::Call> ScriptedService::calls() const
{
    QMutexLocker locker(&m_mutex);
    return m_calls;
}

QStringList ScriptedService::members() const
{
    QStringList members;
    for (const Call &call : calls())
        members.append(call.member);
    return members;
}

bool ScriptedService::emitSignal(const QString &name, const QVariantList &arguments)
{
    QDBusMessage message = QDBusMessage::createSignal(m_path, m_service, name);
    message.setArguments(arguments);
    return QDBusConnection(m_connectionName).send(message);
}

bool ScriptedService::handleMessage(const QDBusMessage &message, const QDBusConnection &connection)
{
    // Introspection gets the bus library's own answer; property reads are scripted by their
    // qualified name.
    const bool propertyRead
        = message.interface() == QLatin1String("org.freedesktop.DBus.Properties")
        && message.member() == QLatin1String("Get");
    if (message.type() != QDBusMessage::MethodCallMessage
        || (message.interface() != m_service && !propertyRead))
        return false;

    const QString member = propertyRead ? QLatin1String(PropertiesGet) : message.member();
    Reply reply;
    int index = 0;
    {
        QMutexLocker locker(&m_mutex);
        reply = m_replies.value(member, m_replies.value(QString()));
        index = m_calls.size();
        m_calls.append({ member, message.arguments(), now(), -1 });
    }
    if (reply.never)
        return true;
    const QDBusMessage answer = reply.errorName.isEmpty()
        ? message.createReply(reply.arguments)
        : message.createErrorReply(reply.errorName, reply.errorMessage);
    // A coarse timer may fire a little early; the tests compare times on the shared clock.
    QTimer::singleShot(reply.delayMs, Qt::PreciseTimer, this, [this, index, answer, connection] {
        QDBusConnection(connection).send(answer);
        QMutexLocker locker(&m_mutex);
        m_calls[index].answeredMs = now();
    });
    return true;
}
