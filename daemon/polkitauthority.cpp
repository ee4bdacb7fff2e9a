#include "polkitauthority.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QMap>

namespace {

// Long enough for a person to read the agent's prompt and type a password.
constexpr int AuthorizationTimeoutMs = 5 * 60 * 1000;
constexpr uint AllowUserInteraction = 1;

} // namespace

const QString PolkitAuthority::CheckAction = QStringLiteral("com.tevrin.offline.update.check");
const QString PolkitAuthority::UpgradeAction = QStringLiteral("com.tevrin.offline.update.upgrade");
const QString PolkitAuthority::CheckUnsignedAction
    = QStringLiteral("com.tevrin.offline.update.check-unsigned");

PolkitAuthority::PolkitAuthority(const QDBusConnection &bus)
    : m_bus(bus)
{ }

void PolkitAuthority::check(const QString &busName, const QString &actionId, QObject *context,
    Answer answer, const QString &cancellationId, bool interactive) const
{
    QDBusArgument subject;
    subject.beginStructure();
    subject << QStringLiteral("system-bus-name");
    subject.beginMap(QVariant::String, qMetaTypeId<QDBusVariant>());
    subject.beginMapEntry();
    subject << QStringLiteral("name") << QDBusVariant(busName);
    subject.endMapEntry();
    subject.endMap();
    subject.endStructure();

    QDBusArgument details;
    details.beginMap(QVariant::String, QVariant::String);
    details.endMap();

    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.PolicyKit1"),
        QStringLiteral("/org/freedesktop/PolicyKit1/Authority"),
        QStringLiteral("org.freedesktop.PolicyKit1.Authority"),
        QStringLiteral("CheckAuthorization"));
    call << QVariant::fromValue(subject) << actionId << QVariant::fromValue(details)
         << (interactive ? AllowUserInteraction : 0u) << cancellationId;
    auto *watcher
        = new QDBusPendingCallWatcher(m_bus.asyncCall(call, AuthorizationTimeoutMs), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
        [watcher, answer](QDBusPendingCallWatcher *) {
            watcher->deleteLater();
            const QDBusMessage reply = watcher->reply();
            if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
                answer(false,
                    QStringLiteral("no answer from the system's authority: ")
                        + reply.errorMessage());
                return;
            }
            bool authorized = false;
            bool challenge = false;
            QMap<QString, QString> resultDetails;
            const QDBusArgument result = reply.arguments().first().value<QDBusArgument>();
            result.beginStructure();
            result >> authorized >> challenge >> resultDetails;
            result.endStructure();
            answer(authorized,
                authorized      ? QString()
                    : challenge ? QStringLiteral("not authorized (no password was given)")
                                : QStringLiteral("not authorized"));
        });
}

void PolkitAuthority::cancel(const QString &cancellationId) const
{
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.PolicyKit1"),
        QStringLiteral("/org/freedesktop/PolicyKit1/Authority"),
        QStringLiteral("org.freedesktop.PolicyKit1.Authority"),
        QStringLiteral("CancelCheckAuthorization"));
    call << cancellationId;
    m_bus.asyncCall(call);
}
