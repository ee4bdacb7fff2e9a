#pragma once

#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QList>
#include <QMutex>
#include <QString>

// A remote object for invoker tests. It records every message that reaches its path (calls
// arrive on the thread it lives in, so reads go through a lock) and answers on interface
// `Interface`: Echo (returns its arguments), Add (two integers), Which (the bus label), Fail
// (an error reply), Hold (never answered); and Properties.Get for "Version" and "Count".
class FakeService : public QDBusVirtualObject
{
    Q_OBJECT

public:
    static const char Interface[];
    static const char FailureName[];

    explicit FakeService(const QString &busLabel);

    QString introspect(const QString &path) const override;
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override;

    QList<QDBusMessage> received() const;
    void clear();

private:
    const QString m_busLabel;
    mutable QMutex m_mutex;
    QList<QDBusMessage> m_received;
};
