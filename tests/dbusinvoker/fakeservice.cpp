#include "fakeservice.h"

#include <QDBusConnection>
#include <QDBusVariant>

const char FakeService::Interface[] = "com.tevrin.test.Invoker";
const char FakeService::FailureName[] = "com.tevrin.test.Error.Failed";

bool FakeService::handleMessage(const QDBusMessage &message, const QDBusConnection &connection)
{
    {
        QMutexLocker lock(&m_mutex);
        m_received.append(message);
    }
    const QString member = message.member();
    if (member == QLatin1String("Hold"))
        return true;
    if (message.interface() == QLatin1String("org.freedesktop.DBus.Properties"))
        connection.send(message.arguments() == QVariantList { Interface, "Count" }
                ? message.createReply(QVariant::fromValue(QDBusVariant(42)))
                : message.createErrorReply(
                    QDBusError::UnknownProperty, message.arguments().value(1).toString()));
    else if (member == QLatin1String("Echo"))
        connection.send(message.createReply(message.arguments()));
    else if (member == QLatin1String("Fail"))
        connection.send(message.createErrorReply(
            QLatin1String(FailureName), QStringLiteral("failed on purpose")));
    else
        connection.send(message.createErrorReply(QDBusError::UnknownMethod, member));
    return true;
}

QList<QDBusMessage> FakeService::takeReceived()
{
    QMutexLocker lock(&m_mutex);
    return std::exchange(m_received, {});
}
