#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QMutex>

// A remote object for invoker tests. It records every message that reaches its path (calls
// arrive on the thread it lives in, so reads go through a lock) and answers: Echo (returns its
// arguments), Hold (never answered), and Properties.Get with 42.
class FakeService : public QDBusVirtualObject
{
    Q_OBJECT

public:
    QString introspect(const QString &) const override { return QString(); }
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override
    {
        QMutexLocker lock(&m_mutex);
        m_received.append(message);
        if (message.member() == QLatin1String("Get"))
            connection.send(message.createReply(QVariant::fromValue(QDBusVariant(42))));
        else if (message.member() == QLatin1String("Echo"))
            connection.send(message.createReply(message.arguments()));
        return true;
    }
    // The messages received since the last call.
    QList<QDBusMessage> takeReceived()
    {
        QMutexLocker lock(&m_mutex);
        return std::exchange(m_received, {});
    }

private:
    QMutex m_mutex;
    QList<QDBusMessage> m_received;
};
