#include "callfailure.h"

#include "exitstatus.h"
#include "offlineupdateprotocol.h"
#include "upgradefailuretext.h"

#include <QDBusError>

Outcome CallFailure::outcomeOf(const QDBusError &error, const QString &action)
{
    const QString name = error.name();
    const QJsonObject details { { QStringLiteral("error"), name },
        { QStringLiteral("errorMessage"), error.message() } };
    if (name == OfflineUpdate::BusyError)
        return { ExitStatus::Unreachable, QStringLiteral("busy"),
            QStringLiteral("The service is busy with another check or upgrade; %1 was not started. "
                           "Try again when it has finished.")
                .arg(action),
            details };
    if (name == OfflineUpdate::NoPassedCheckError)
        return { ExitStatus::Refused, QStringLiteral("no-passed-check"),
            QStringLiteral("The service holds no passed check for you (another check may have "
                           "replaced it); %1 was not started.")
                .arg(action),
            details };
    if (name == OfflineUpdate::PlanChangedError) {
        const QString key = OfflineUpdate::UpgradeReason::PlanChanged;
        QJsonObject withReason = details;
        withReason.insert(QStringLiteral("reason"),
            QJsonObject { { QStringLiteral("key"), key }, { QStringLiteral("detail"), QString() } });
        return { ExitStatus::Refused, QStringLiteral("plan-changed"),
            UpgradeFailureText::forReason(key, QString()).sentence, withReason };
    }
    if (error.type() == QDBusError::AccessDenied)
        return { ExitStatus::Unreachable, QStringLiteral("not-authorized"),
            QStringLiteral("You are not authorized for %1: %2").arg(action, error.message()),
            details };
    return { ExitStatus::Unreachable, QStringLiteral("unreachable"),
        QStringLiteral("The offline update service cannot be reached for %1: %2")
            .arg(action, error.message()),
        details };
}
