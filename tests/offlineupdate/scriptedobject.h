#pragma once

#include <QDBusVirtualObject>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QString>
#include <QVariantList>

// One remote object whose answers a test scripts and whose calls it reads back. It lives on a
// thread of its own (see ScriptedService), so that it answers while the test's thread is
// blocked in a call to it. All public members may be used from any thread.
class ScriptedObject : public QDBusVirtualObject
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

    explicit ScriptedObject(const QString &interface)
        : m_interface(interface)
    { }

    // An empty |member| sets the answer of every member that has none of its own.
    void setReply(const QString &member, const Reply &reply);
    QList<Call> calls() const;
    // A monotonic clock shared by every scripted object of the process, in milliseconds.
    static qint64 now();

    QString introspect(const QString &) const override { return QString(); }
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override;

private:
    void answer(int index, const QDBusMessage &answer, QDBusConnection connection);

    mutable QMutex m_mutex;
    const QString m_interface;
    QHash<QString, Reply> m_replies;
    QList<Call> m_calls;
};
