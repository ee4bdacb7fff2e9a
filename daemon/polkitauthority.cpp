#include "polkitauthority.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QMap>

namespace {

// Long enough for a person to read the agent's prompt and type a password. The call is made
// directly rather than through the invoker library, whose calls give up after 25 seconds.
constexpr int AuthorizationTimeoutMs = 5 * 60 * 1000;
constexpr uint AllowUserInteraction = 1;

} // namespace

const QString PolkitAuthority::CheckAction = QStringLiteral("com.tevrin.offline.update.check");
const QString PolkitAuthority::UpgradeAction = QStringLiteral("com.tevrin.offline.update.upgrade");

PolkitAuthority::PolkitAuthority(const QDBusConnection &bus)
    : m_bus(bus)
{
}

bool PolkitAuthority::isAuthorized(const QString &busName, const QString &actionId,
                                   QString *reason) const
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

    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.PolicyKit1"),
        QStringLiteral("/org/freedesktop/PolicyKit1/Authority"),
        QStringLiteral("org.freedesktop.PolicyKit1.Authority"), QStringLiteral("CheckAuthorization"));
    call << QVariant::fromValue(subject) << actionId << QVariant::fromValue(details)
         << AllowUserInteraction << QString();
    const QDBusMessage reply = m_bus.call(call, QDBus::Block, AuthorizationTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        *reason = QStringLiteral("no answer from the system's authority: ") + reply.errorMessage();
        return false;
    }

    bool authorized = false;
    bool challenge = false;
    QMap<QString, QString> resultDetails;
    const QDBusArgument result = reply.arguments().first().value<QDBusArgument>();
    result.beginStructure();
    result >> authorized >> challenge >> resultDetails;
    result.endStructure();
    if (!authorized)
        *reason = challenge ? QStringLiteral("not authorized (no password was given)")
                            : QStringLiteral("not authorized");
    return authorized;
}
