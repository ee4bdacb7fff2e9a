#include "scriptedobject.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QMutexLocker>
#include <QTimer>

void ScriptedObject::setReply(const QString &member, const Reply &reply)
{
    QMutexLocker locker(&m_mutex);
    m_replies.insert(member, reply);
}

QList<ScriptedObject::Call> ScriptedObject::calls() const
{
    QMutexLocker locker(&m_mutex);
    return m_calls;
}

qint64 ScriptedObject::now()
{
    return QDeadlineTimer::current(Qt::PreciseTimer).deadline();
}

bool ScriptedObject::handleMessage(const QDBusMessage &message, const QDBusConnection &connection)
{
    // Calls on other interfaces (introspection, properties) get the bus library's own answer.
    if (message.type() != QDBusMessage::MethodCallMessage || message.interface() != m_interface)
        return false;

    Reply reply;
    int index = 0;
    {
        QMutexLocker locker(&m_mutex);
        reply = m_replies.value(message.member(), m_replies.value(QString()));
        index = m_calls.size();
        m_calls.append({ message.member(), message.arguments(), now(), -1 });
    }
    if (reply.never)
        return true;

    const QDBusMessage answerMessage = reply.errorName.isEmpty()
        ? message.createReply(reply.arguments)
        : message.createErrorReply(reply.errorName, reply.errorMessage);
    // A coarse timer may fire a little early; the tests compare times on the shared clock.
    QTimer::singleShot(reply.delayMs, Qt::PreciseTimer, this,
        [this, index, answerMessage, connection] { answer(index, answerMessage, connection); });
    return true;
}

void ScriptedObject::answer(int index, const QDBusMessage &answer, QDBusConnection connection)
{
    connection.send(answer);
    QMutexLocker locker(&m_mutex);
    m_calls[index].answeredMs = now();
}
