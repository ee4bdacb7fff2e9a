#include "servicestatus.h"

#include "checkfailuretext.h"
#include "offlineupdateprotocol.h"

#include <QJsonArray>

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

QString dpkgWords(const ServiceStatus &status)
{
    switch (status.dpkg) {
    case ServiceStatus::DpkgConsistent:
        return QStringLiteral("consistent");
    case ServiceStatus::DpkgInterrupted:
        return QStringLiteral("left interrupted")
            + (status.dpkgPackages.isEmpty()
                    ? QString()
                    : QStringLiteral(" (%1)").arg(status.dpkgPackages.join(QStringLiteral(", "))))
            + QStringLiteral("; run \"dpkg --configure -a\" as root");
    default:
        // Never "consistent": nobody looked.
        return QStringLiteral("unknown: ") + status.dpkgUnknownReason;
    }
}

} // namespace

QList<QPair<QString, QString>> ServiceStatus::rows() const
{
    QList<QPair<QString, QString>> rows;
    rows.append({ QStringLiteral("Service"),
        reachable ? QStringLiteral("reachable")
                  : QStringLiteral("unreachable: ") + unreachableReason });
    rows.append({ QStringLiteral("dpkg"), dpkgWords(*this) });
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
        { QStringLiteral("dpkgInterrupted"),
            dpkg == DpkgUnknown ? QJsonValue(QJsonValue::Null)
                                : QJsonValue(dpkg == DpkgInterrupted) },
        { QStringLiteral("dpkgPackages"), QJsonArray::fromStringList(dpkgPackages) },
        { QStringLiteral("dpkgStateSource"),
            dpkgSource.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(dpkgSource) },
        { QStringLiteral("dpkgAudit"), dpkgAudit } };
    if (dpkg == DpkgUnknown)
        object.insert(QStringLiteral("dpkgUnknownReason"), dpkgUnknownReason);
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

QStringList ServiceStatus::packagesInAudit(const QString &audit)
{
    QStringList packages;
    for (const QString &line : audit.split(QLatin1Char('\n'))) {
        if (!line.startsWith(QLatin1Char(' ')))
            continue;
        const QString name = line.section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty);
        if (!name.isEmpty() && !packages.contains(name))
            packages << name;
    }
    return packages;
}
