#pragma once

#include "upgradeplan.h"

#include <QStringList>

// What `apt-get --simulate` printed, read: the packages it would install, upgrade and remove,
// in its order, the ones it keeps back, and its complaints. Needs apt's C-locale output.
struct AptSimulation
{
    QList<OfflineUpdate::PlannedPackage> upgraded;
    QList<OfflineUpdate::PlannedPackage> installed;
    // Their architecture is left empty: apt does not print it for a removal.
    QList<OfflineUpdate::PlannedPackage> removed;
    QStringList keptBack;
    // Its error lines and the unmet dependencies it explains them with, as it printed them.
    QStringList complaints;

    static AptSimulation parse(const QString &output);
};
