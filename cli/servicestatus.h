#pragma once

#include "checkreport.h"

#include <QJsonObject>
#include <QList>
#include <QPair>

// What "status" found: whether the service answered, what dpkg --audit said and what the
// service's last check recorded.
struct ServiceStatus
{
    bool reachable = false;
    QString unreachableReason;
    bool auditRan = false;
    QString dpkgAudit; // dpkg --audit's output; non-empty means dpkg was left interrupted
    CheckFacts lastCheck;

    bool dpkgInterrupted() const { return !dpkgAudit.trimmed().isEmpty(); }
    QList<QPair<QString, QString>> rows() const;
    QJsonObject toJson() const;
};
