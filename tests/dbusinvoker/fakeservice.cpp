#include "fakeservice.h"

#include <QDBusConnection>
#include <QDBusVariant>
#include <QMutexLocker>
#include <QVariantMap>

const char FakeService::Interface[] = "com.tevrin.test.Invoker";
const char FakeService::FailureName[] = "com.tevrin.test.Error.Failed";

FakeService::FakeService(const QString &busLabel)
    : m_busLabel(busLabel)
{ }

QString FakeService::introspect(const QString &) const
{
    return QString();
}

bool FakeService::handleMessage(const QDBusMessage &message, const QDBusConnection &connection)
{
    {
        QMutexLocker lock(&m_mutex);
        m_received.append(message);
    }
    const QVariantList args = message.arguments();
    const QString member = message.member();
    const QString interface = QString::fromLatin1(Interface);
    QDBusMessage reply;
    if (message.interface() == QLatin1String("org.freedesktop.DBus.Properties")
        && member == QLatin1String("Get")) {
        const QVariantMap properties { { QStringLiteral("Version"), QStringLiteral("1.2") },
            { QStringLiteral("Count"), 42 } };
        const QString name = args.value(1).toString();
        if (args.size() == 2 && args.at(0).toString() == interface && properties.contains(name))
            reply = message.createReply(QVariant::fromValue(QDBusVariant(properties.value(name))));
        else
            reply = message.createErrorReply(QDBusError::UnknownProperty, name);
    } else if (message.interface() != interface) {
        reply = message.createErrorReply(QDBusError::UnknownInterface, message.interface());
    } else if (member == QLatin1String("Echo")) {
        reply = message.createReply(args);
    } else if (member == QLatin1String("Add") && args.size() == 2) {
        reply = message.createReply(args.at(0).toInt() + args.at(1).toInt());
    } else if (member == QLatin1String("Which")) {
        reply = message.createReply(m_busLabel);
    } else if (member == QLatin1String("Fail")) {
        reply = message.createErrorReply(
            QString::fromLatin1(FailureName), QStringLiteral("failed on purpose"));
    } else if (member == QLatin1String("Hold")) {
        return true;
    } else {
        reply = message.createErrorReply(QDBusError::UnknownMethod, member);
    }
    connection.send(reply);
    return true;
}

QList<QDBusMessage> FakeService::received() const
{
    QMutexLocker lock(&m_mutex);
    return m_received;
}

void FakeService::clear()
{
    QMutexLocker lock(&m_mutex);
    m_received.clear();
}
