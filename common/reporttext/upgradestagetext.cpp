#include "upgradestagetext.h"

#include "offlineupdateprotocol.h"

using namespace OfflineUpdate;

QString UpgradeStageText::forStage(
    const QString &stage, int done, int total, const QString &package)
{
    if (stage == UpgradeStage::Backup)
        return tr("Backing up the system");
    if (stage == UpgradeStage::Repair)
        return tr("Finishing interrupted installations");
    if (stage == UpgradeStage::PostHooks)
        return tr("Running post-upgrade scripts");
    if (stage == UpgradeStage::Done)
        return tr("Upgrade finished");
    if (done > 0 && total > 0 && !package.isEmpty())
        return tr("Upgrading the system: package %1 of %2 (%3)").arg(done).arg(total).arg(package);
    return tr("Upgrading the system");
}

QString UpgradeStageText::forProgress(int progress, int code)
{
    if (code == BackupFailed)
        return progress == BackupStage ? tr("The backup could not be started")
                                       : tr("The backup failed");
    if (code < 0)
        return tr("The upgrade failed");
    switch (progress) {
    case 0:
        return tr("Starting");
    case BackupStage:
        return tr("Preparing the upgrade");
    case BackupEndStage:
        return tr("Backup done, upgrading the system");
    case DoneStage:
        return tr("Upgrade finished");
    default:
        return tr("Upgrading the system");
    }
}
