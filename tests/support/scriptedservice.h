#pragma once

#include <QDBusVirtualObject>
#include <QDeadlineTimer>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QString>
#include <QThread>
#include <QVariantList>

// Owns a service name on a bus and answers calls to it as a test scripts, recording them. As
// with the peers it stands in for, the interface is named like the service, and the path is the
// service's name with '/' for '.'. It answers on a thread of its own, so that it can answer while
// the test's thread is blocked in a call to it; all public members may be used from any thread.
class ScriptedService : public QDBusVirtualObject
{
    Q_OBJECT

public:
    // How one method is answered. By default: at once, with an empty reply.
    struct Reply
    {
        QVariantList arguments;
        int delayMs = 0;
        bool never = false; // no answer at all: the caller waits for its time-out
        QString errorName; // non-empty: an error reply with errorMessage
        QString errorMessage;
    };

    struct Call
    {
        QString member;
        QVariantList arguments;
        qint64 receivedMs = -1; // on the clock of now()
        qint64 answeredMs = -1; // -1 until the answer has been sent
    };

    ScriptedService(const QString &busAddress, const QString &service);
    ~ScriptedService() override;

    // Exports the object and takes the name; returns why it could not, or nothing.
    QString start();
    // Leaves the bus: the name has no owner once this returns.
    void stop();

    // The member name under which property reads are scripted and recorded.
    static constexpr const char *PropertiesGet = "org.freedesktop.DBus.Properties.Get";

    // An empty |member| sets the answer of every member that has none of its own.
    void setReply(const QString &member, const Reply &reply);
    QList<Call> calls() const;
    QStringList members() const;
    // Broadcasts a signal of the service's interface from the name's owner.
    bool emitSignal(const QString &name, const QVariantList &arguments);
    // A monotonic clock shared by every scripted service of the process, in milliseconds.
    static qint64 now() { return QDeadlineTimer::current(Qt::PreciseTimer).deadline(); }

    QString introspect(const QString &) const override { return QString(); }
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override;

private:
    const QString m_busAddress;
    const QString m_service;
    const QString m_path;
    const QString m_connectionName;
    QThread m_thread;
    bool m_connected = false;
    mutable QMutex m_mutex;
    QHash<QString, Reply> m_replies;
    QList<Call> m_calls;
};

Q_DECLARE_METATYPE(ScriptedService::Reply)

inline ScriptedService::Reply answer(const QVariantList &arguments = {}, int delayMs = 0)
{
    return { arguments, delayMs, false, {}, {} };
}

inline ScriptedService::Reply noAnswer()
{
    return { {}, 0, true, {}, {} };
}

inline ScriptedService::Reply errorAnswer(
    const QString &name, const QString &message = QStringLiteral("no"), int delayMs = 0)
{
    return { {}, delayMs, false, name, message };
}
