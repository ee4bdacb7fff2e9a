#include "fakeservice.h"

#include <QDBusConnection>
#include <QDBusVariant>
#include <QMutexLocker>

const char FakeService::Interface[] = "com.tevrin.test.Invoker";
const char FakeService::FailureName[] = "com.tevrin.test.Error.Failed";

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
    const QString member = message.member();
    QDBusMessage reply;
    if (message.interface() == QLatin1String("org.freedesktop.DBus.Properties")) {
        const QVariantList count { QString::fromLatin1(Interface), QStringLiteral("Count") };
        reply = message.arguments() == count
            ? message.createReply(QVariant::fromValue(QDBusVariant(42)))
            : message.createErrorReply(
                QDBusError::UnknownProperty, message.arguments().value(1).toString());
    } else if (member == QLatin1String("Echo")) {
        reply = message.createReply(message.arguments());
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
