#pragma once

#include <QCoreApplication>
#include <QString>

// The clients' words for the stage an upgrade has reached.
class UpgradeStageText
{
    Q_DECLARE_TR_FUNCTIONS(UpgradeStageText)

public:
    // A stage of OfflineUpdate::UpgradeStage as NotifyUpgradeStage names it; during the upgrade
    // with the package apt works on, the |done|-th of |total|. A stage this client does not
    // know reads as the upgrade going on.
    static QString forStage(const QString &stage, int done, int total, const QString &package);
    // What a progress pair alone can tell, for a daemon that sends no stage: it sends (30, 1)
    // whether or not it backs up, so that pair claims no backup.
    static QString forProgress(int progress, int code);
};
