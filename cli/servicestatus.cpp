#include "servicestatus.h"

#include "checkfailuretext.h"
#include "offlineupdateprotocol.h"

namespace {

QString typeName(int type)
{
    switch (type) {
    case OfflineUpdate::SystemUpgrade:
        return QStringLiteral("system");
    case OfflineUpdate::PatchUpgrade:
        return QStringLiteral("patch");
    default:
        return QStringLiteral("none");
    }
}

QString typeWords(int type)
{
    switch (type) {
    case OfflineUpdate::SystemUpgrade:
        return QStringLiteral("System Update");
    case OfflineUpdate::PatchUpgrade:
        return QStringLiteral("CVE Patch Update");
    default:
        return QStringLiteral("none since the service started");
    }
}

} // namespace

QList<QPair<QString, QString>> ServiceStatus::rows() const
{
    QList<QPair<QString, QString>> rows;
    rows.append({ QStringLiteral("Service"),
        reachable ? QStringLiteral("reachable")
                  : QStringLiteral("unreachable: ") + unreachableReason });
    rows.append({ QStringLiteral("dpkg"),
        !auditRan               ? QStringLiteral("could not run dpkg --audit")
            : dpkgInterrupted() ? QStringLiteral("left interrupted; run \"dpkg --configure -a\"")
                                : QStringLiteral("consistent") });
    if (!reachable)
        return rows;
    rows.append({ QStringLiteral("Last check type"), typeWords(lastCheck.upgradeType) });
    if (!lastCheck.patchSerial.isEmpty())
        rows.append({ QStringLiteral("Vulnerability ID"), lastCheck.patchSerial });
    rows.append({ QStringLiteral("Upgradable packages"), QString::number(lastCheck.upgradable) });
    rows.append({ QStringLiteral("Last failure reason"),
        lastCheck.reasonKey.isEmpty()
            ? QStringLiteral("none")
            : CheckFailureText::forReason(lastCheck.reasonKey, lastCheck.reasonDetail)
                  .inOneLine() });
    return rows;
}

QJsonObject ServiceStatus::toJson() const
{
    QJsonObject object { { QStringLiteral("reachable"), reachable },
        { QStringLiteral("dpkgInterrupted"), dpkgInterrupted() },
        { QStringLiteral("dpkgAudit"), dpkgAudit } };
    if (!reachable) {
        object.insert(QStringLiteral("unreachableReason"), unreachableReason);
        return object;
    }
    QJsonObject last { { QStringLiteral("upgradeType"), typeName(lastCheck.upgradeType) },
        { QStringLiteral("vulnerabilityId"), lastCheck.patchSerial },
        { QStringLiteral("upgradable"), lastCheck.upgradable } };
    if (!lastCheck.reasonKey.isEmpty())
        last.insert(QStringLiteral("reason"),
            QJsonObject { { QStringLiteral("key"), lastCheck.reasonKey },
                { QStringLiteral("detail"), lastCheck.reasonDetail },
                { QStringLiteral("text"),
                    CheckFailureText::forReason(lastCheck.reasonKey, lastCheck.reasonDetail)
                        .inOneLine() } });
    object.insert(QStringLiteral("lastCheck"), last);
    return object;
}
