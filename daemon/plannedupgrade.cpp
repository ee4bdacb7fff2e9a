#include "plannedupgrade.h"

#include "asynccommand.h"
#include "checkrun.h"
#include "installedpackages.h"
#include "offlineupdateprotocol.h"
#include "upgradeplanner.h"
#include "upgraderun.h"

#include <QDebug>

namespace UpgradeReason = OfflineUpdate::UpgradeReason;

namespace {

constexpr int QueryWaitMs = 120000;

} // namespace

PlannedUpgrade::PlannedUpgrade(const CheckEnvironment &environment, QObject *parent)
    : QObject(parent)
    , m_environment(environment)
    , m_upgrade(new UpgradeRun(environment, this))
{
    connect(m_upgrade, &UpgradeRun::output, this, &PlannedUpgrade::output);
    connect(m_upgrade, &UpgradeRun::progress, this, &PlannedUpgrade::progress);
    connect(m_upgrade, &UpgradeRun::finished, this, [this](bool success, const QString &why) {
        qWarning() << "Exit code:" << (success ? 0 : 1) << why;
        if (success) {
            verify(false);
            return;
        }
        if (m_upgrade->repairFailed()) {
            verify(true);
            return;
        }
        if (m_upgrade->killed())
            fail(UpgradeReason::AptKilled, why);
        else if (!m_upgrade->failedScript().isEmpty())
            fail(UpgradeReason::ScriptFailed, m_upgrade->failedScript());
        else
            fail(UpgradeReason::UpgradeFailed,
                m_upgrade->lastOutputLine().isEmpty() ? why : m_upgrade->lastOutputLine());
    });
    connect(m_upgrade, &UpgradeRun::stepStarted, this, [this](bool repair) {
        m_seen.clear();
        emit stage(repair ? OfflineUpdate::UpgradeStage::Repair : OfflineUpdate::UpgradeStage::Upgrade,
            0, changeCount(), QString());
    });
    connect(m_upgrade, &UpgradeRun::workingOn, this, [this](const QString &package) {
        if (!m_run || m_seen.contains(package) || !planned(package))
            return;
        m_seen << package;
        emit stage(OfflineUpdate::UpgradeStage::Upgrade, m_seen.size(), changeCount(), package);
    });
}

int PlannedUpgrade::changeCount() const
{
    const OfflineUpdate::UpgradePlan &plan = m_run->record().plan;
    return plan.upgraded.size() + plan.installed.size() + plan.removed.size();
}

bool PlannedUpgrade::planned(const QString &package) const
{
    const OfflineUpdate::UpgradePlan &plan = m_run->record().plan;
    for (const auto *list : { &plan.upgraded, &plan.installed, &plan.removed }) {
        for (const OfflineUpdate::PlannedPackage &entry : *list) {
            if (entry.name == package)
                return true;
        }
    }
    return false;
}

void PlannedUpgrade::confirmPlan(CheckRun *run, std::function<void(bool holds)> done)
{
    UpgradePlanner::plan(this, m_environment, run->directory().path(RunContext::RepositoryMount),
        [run, done](const UpgradePlanner::Outcome &outcome) {
            const bool holds = outcome.refusalKey.isEmpty()
                && outcome.plan.sameChanges(run->record().plan);
            if (!holds) {
                qWarning() << "PlannedUpgrade: the system changed since the check; apt now"
                           << "foresees another upgrade:" << outcome.refusalKey
                           << outcome.refusalDetail.left(4096);
                run->record().upgradeReasonKey = UpgradeReason::PlanChanged;
                run->record().upgradeReasonDetail = outcome.refusalDetail;
            }
            done(holds);
        });
}

void PlannedUpgrade::start(CheckRun *run, int fromStage)
{
    m_run = run;
    run->record().upgradeReasonKey.clear();
    run->record().upgradeReasonDetail.clear();
    confirmPlan(run, [this, fromStage](bool holds) {
        if (!holds) {
            emit finished(false);
            return;
        }
        qWarning() << "exec start ::";
        m_upgrade->start(fromStage);
    });
}

void PlannedUpgrade::resume(CheckRun *run)
{
    m_run = run;
    run->record().upgradeReasonKey.clear();
    run->record().upgradeReasonDetail.clear();
    m_upgrade->start(0);
}

void PlannedUpgrade::verify(bool repairFailed)
{
    AsyncCommand::start(this, m_environment.dpkgQuery,
        InstalledPackages::queryArguments(m_environment), QueryWaitMs,
        [this, repairFailed](const AsyncCommand::Result &result) {
            const InstalledPackages installed
                = InstalledPackages::parse(QString::fromLocal8Bit(result.standardOutput));
            if (repairFailed) {
                // What an earlier run left half-way is named: the package being installed
                // has not been touched yet and is not to blame.
                QStringList stuck;
                for (const InstalledPackages::Package &package : installed.all()) {
                    if (package.interrupted())
                        stuck << package.name;
                }
                if (stuck.isEmpty())
                    stuck = m_run->record().plan.interrupted;
                fail(UpgradeReason::RepairFailed, stuck.join(QStringLiteral(", ")));
                return;
            }
            if (!result.succeeded()) {
                fail(UpgradeReason::PlanNotMet, QStringLiteral("dpkg-query: ") + result.describe());
                return;
            }
            const QStringList unmet = UpgradePlanner::unmet(m_run->record().plan, installed);
            if (!unmet.isEmpty()) {
                fail(UpgradeReason::PlanNotMet, unmet.join(QStringLiteral(", ")));
                return;
            }
            m_run->setUpgradeSucceeded();
            emit finished(true);
        });
}

void PlannedUpgrade::fail(const QString &key, const QString &detail)
{
    qWarning() << "PlannedUpgrade: the upgrade failed:" << key << detail.left(4096);
    m_run->record().upgradeReasonKey = key;
    m_run->record().upgradeReasonDetail = detail;
    emit finished(false);
}
