#pragma once

#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QMutex>

// A remote object for invoker tests. It records every message that reaches its path (calls
// arrive on the thread it lives in, so reads go through a lock) and answers: Echo (returns its
// arguments), Fail (an error reply), Hold (never answered), and Properties.Get of `Interface`
// for "Count" (42).
class FakeService : public QDBusVirtualObject
{
    Q_OBJECT

public:
    static const char Interface[];
    static const char FailureName[];

    QString introspect(const QString &) const override { return QString(); }
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override;
    // The messages received since the last call.
    QList<QDBusMessage> takeReceived();

private:
    QMutex m_mutex;
    QList<QDBusMessage> m_received;
};
