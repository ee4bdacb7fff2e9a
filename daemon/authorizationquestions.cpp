#include "authorizationquestions.h"

#include <QDBusServiceWatcher>

AuthorizationQuestions::AuthorizationQuestions(const QDBusConnection &bus, QObject *parent)
    : QObject(parent)
    , m_bus(bus)
    , m_authority(bus)
{ }

bool AuthorizationQuestions::ask(uint uid, const QString &busName, const QString &action,
    const PolkitAuthority::Answer &answer)
{
    if (m_open.contains(uid))
        return false;
    OpenQuestion question;
    question.cancellationId = QStringLiteral("tevrin-offline-update-%1").arg(++m_count);
    question.watcher = new QDBusServiceWatcher(
        busName, m_bus, QDBusServiceWatcher::WatchForUnregistration, this);
    const QString cancellationId = question.cancellationId;
    connect(question.watcher, &QDBusServiceWatcher::serviceUnregistered, this,
        [this, cancellationId] { m_authority.cancel(cancellationId); });
    m_open.insert(uid, question);
    m_authority.check(
        busName, action, this,
        [this, uid, answer](bool authorized, const QString &reason) {
            const OpenQuestion asked = m_open.take(uid);
            if (asked.watcher)
                asked.watcher->deleteLater();
            answer(authorized, reason);
        },
        cancellationId);
    return true;
}
