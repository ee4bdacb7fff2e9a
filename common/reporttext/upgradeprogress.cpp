#include "upgradeprogress.h"

#include "offlineupdateprotocol.h"
#include "upgradestagetext.h"

using namespace OfflineUpdate;

void UpgradeProgress::setProgress(int progress, int code)
{
    m_progress = progress;
    m_code = code;
}

void UpgradeProgress::setStage(const QString &stage, int done, int total, const QString &package)
{
    m_stage = stage;
    m_done = done;
    m_total = total;
    m_package = package;
}

bool UpgradeProgress::aptWorking() const
{
    if (failed() || finished())
        return false;
    return m_stage == UpgradeStage::Repair || m_stage == UpgradeStage::Upgrade;
}

QString UpgradeProgress::package() const
{
    return aptWorking() && m_stage == UpgradeStage::Upgrade ? m_package : QString();
}

QString UpgradeProgress::text() const
{
    // How it ended outweighs the stage it ended in.
    if (failed() || !followsStages())
        return UpgradeStageText::forProgress(m_progress, m_code);
    if (finished() && m_stage != UpgradeStage::PostHooks)
        return UpgradeStageText::forStage(UpgradeStage::Done, 0, 0, QString());
    return UpgradeStageText::forStage(m_stage, m_done, m_total, m_package);
}

int UpgradeProgress::percent() const
{
    if (failed())
        return -1;
    if (finished())
        return 100;
    if (m_stage != UpgradeStage::Upgrade || m_total <= 0 || m_done <= 0)
        return qBound(0, m_progress, 100);
    // The package apt has just begun is not done yet; the daemon's own pairs may run ahead.
    const int base = qMax(m_progress, int(BackupStage));
    const int counted = base
        + (int(LastUpgradeStage) - base) * qMin(m_done - 1, m_total) / m_total;
    return qBound(0, qMax(m_progress, counted), int(LastUpgradeStage));
}
