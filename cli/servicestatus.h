#pragma once

#include "checkreport.h"

#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QStringList>

// What "status" found: whether the service answered, whether dpkg was left interrupted (and who
// said so) and what the service's last check recorded.
struct ServiceStatus
{
    enum DpkgState { DpkgUnknown, DpkgConsistent, DpkgInterrupted };

    bool reachable = false;
    QString unreachableReason;
    DpkgState dpkg = DpkgUnknown;
    QStringList dpkgPackages; // the unfinished ones, where known
    QString dpkgSource; // "service" or "dpkg --audit"; empty while unknown
    QString dpkgAudit; // dpkg --audit's output, when it was asked and ran
    QString dpkgUnknownReason; // why neither could tell
    CheckFacts lastCheck;

    QList<QPair<QString, QString>> rows() const;
    QJsonObject toJson() const;
    // The packages dpkg --audit's report names (its lines that start with a space).
    static QStringList packagesInAudit(const QString &audit);
};
