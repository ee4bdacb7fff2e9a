#include "dbusinvoker.h"

#include <QDBusError>
#include <QDebug>

namespace {

const char PropertyInvokerName[] = "dbusPropertyInvoker";

QDBusMessage invalidArgs(const QString &message)
{
    return QDBusMessage::createError(QDBusError::errorString(QDBusError::InvalidArgs), message);
}

} // namespace

DBusInvoker::DBusInvoker(const QString &service, const QString &path, const QString &interface,
    ConnectType type, QObject *parent)
    : QObject(parent)
    , m_service(service)
    , m_path(path)
    , m_interface(interface)
    , m_connectType(type)
    , m_connection(type == SystemBus ? QDBusConnection::systemBus() : QDBusConnection::sessionBus())
{ }

QDBusMessage DBusInvoker::Invoke(
    const QString &name, const QList<QVariant> &args, QDBus::CallMode mode)
{
    if (name.isEmpty())
        return invalidArgs(QStringLiteral("name.isEmpty"));

    QDBusMessage message;
    if (name == QLatin1String(PropertyInvokerName)) {
        if (args.isEmpty())
            return invalidArgs(QStringLiteral("property not exist"));
        message = QDBusMessage::createMethodCall(m_service, m_path,
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        message.setArguments({ m_interface, args.first().toString() });
    } else {
        message = QDBusMessage::createMethodCall(m_service, m_path, m_interface, name);
        message.setArguments(args);
    }
    return m_connection.call(message, mode, -1);
}

bool DBusInvoker::EmitSignal(const QString &name, const QList<QVariant> &args)
{
    if (name.isEmpty())
        return false;
    QDBusMessage message = QDBusMessage::createSignal(m_path, m_interface, name);
    message.setArguments(args);
    return m_connection.send(message);
}

bool DBusInvoker::Connect(const QString &name, QObject *receiver, const char *slot)
{
    if (m_connection.connect(m_service, m_path, m_interface, name, receiver, slot))
        return true;
    qCritical() << "signal connect failed : " << name << "for reason ["
                << m_connection.lastError().message() << "]";
    return false;
}
