#pragma once

#include "upgradeplan.h"

#include <QCoreApplication>
#include <QList>
#include <QStringList>

// The upgrade plan in the clients' words: a summary, and a section a part of the plan, a line
// an entry.
class UpgradePlanText
{
    Q_DECLARE_TR_FUNCTIONS(UpgradePlanText)

public:
    enum Part { Upgraded, Installed, Removed, KeptBack, Interrupted, ReplacedConfigFiles, Space };

    struct Section
    {
        Part part;
        QString title; // with the number of lines
        QStringList lines;
    };

    // As "12 upgraded, 3 new, 1 removed"; the parts without packages left out.
    static QString summary(const OfflineUpdate::UpgradePlan &plan);
    // Every part that has entries, in the order of Part.
    static QList<Section> sections(const OfflineUpdate::UpgradePlan &plan);

    // "name from → to"; a new package has only the version it gets, a removed one only the
    // version it had.
    static QString packageLine(const OfflineUpdate::PlannedPackage &package);
    static QString configFileLine(const OfflineUpdate::ReplacedConfigFile &file);
    // Where the user's own versions of the replaced files go; empty when none are replaced.
    static QString replacedFilesNote(const OfflineUpdate::UpgradePlan &plan);
    static QString spaceLine(const OfflineUpdate::SpaceNeed &need);
    // In GiB from one GiB on, in MiB below; never rounded down to nothing.
    static QString size(qint64 bytes);
};
