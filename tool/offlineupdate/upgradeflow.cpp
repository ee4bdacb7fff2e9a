#include "upgradeflow.h"

#include "daemonstatustext.h"
#include "offlineupdatemodel.h"
#include "offlineupdateprotocol.h"
#include "upgradefailuretext.h"

#include <QDebug>
#include <QRegularExpression>

namespace {

// Enough of the output to show why a backup or an upgrade stopped.
constexpr int RecentOutputLines = 20;

} // namespace

UpgradeFlow::UpgradeFlow(OfflineUpdateModel *model, QObject *parent)
    : QObject(parent)
    , m_model(model)
{
    connect(m_model, &OfflineUpdateModel::notifyOfflineUpgradeProgress, this,
        &UpgradeFlow::acceptProgress);
    connect(m_model, &OfflineUpdateModel::notifyUpgradeStage, this, &UpgradeFlow::acceptStage);
    connect(m_model, &OfflineUpdateModel::notifyExecDistUpgradeInfo, this,
        &UpgradeFlow::acceptOutput);
    connect(m_model, &OfflineUpdateModel::notifyOfflineUpgradeFailed, this,
        [this](const QString &reason, const QString &details) {
            if (m_state == Upgrading)
                fail(NotStarted, { reason, details });
        });
    connect(m_model, &OfflineUpdateModel::notifyUpgradePlanChanged, this,
        [this](const QString &details) {
            if (m_state != Upgrading)
                return;
            UserMessage message
                = UpgradeFailureText::forReason(OfflineUpdate::UpgradeReason::PlanChanged, {});
            message.details = details;
            fail(PlanChanged, message);
        });
    connect(m_model, &OfflineUpdateModel::notifyDaemonVanished, this, [this] {
        // While the hooks run, their answer (an error, now) decides: the upgrade itself has
        // succeeded by then.
        if (m_state == Upgrading)
            fail(ServiceStopped,
                { tr("The offline update service stopped during the upgrade. The system may be "
                     "partly upgraded: have it checked before you restart it."),
                    QString() });
    });
    connect(m_model, &OfflineUpdateModel::notifyPostUpgradeHooksDone, this,
        &UpgradeFlow::acceptHooksDone);
    connect(m_model, &OfflineUpdateModel::notifyRebootFailed, this, [this](const QString &reason) {
        if (m_state == Succeeded)
            emit restartFailed(reason);
    });
}

void UpgradeFlow::setState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit stateChanged(state);
}

void UpgradeFlow::start()
{
    if ((m_state != Ready && m_state != Failed) || m_failure == PlanChanged)
        return;
    setState(AskingBackup);
    m_model->requestBackupStatus(this, [this](bool backupSupported) {
        if (m_state != AskingBackup)
            return;
        setState(Confirming);
        emit confirmationNeeded(backupSupported);
    });
}

void UpgradeFlow::confirm()
{
    if (m_state != Confirming)
        return;
    beginUpgrade();
    m_model->startOfflineUpgrade();
}

void UpgradeFlow::continueWithoutBackup()
{
    if (m_state != Failed || m_failure != BackupFailed)
        return;
    beginUpgrade();
    m_model->startUpgradeWithoutBackup();
}

void UpgradeFlow::beginUpgrade()
{
    m_failure = NoFailure;
    m_readingReason = false;
    m_message = {};
    m_recentOutput.clear();
    m_outputLines = LineAssembler();
    m_progress = UpgradeProgress();
    // The state first: whoever shows the progress must be in place before any report.
    setState(Upgrading);
}

void UpgradeFlow::decline()
{
    if (m_state == Confirming)
        setState(Ready);
}

void UpgradeFlow::restartNow()
{
    if (m_state == Succeeded)
        m_model->requestReboot();
}

void UpgradeFlow::fail(Failure failure, const UserMessage &message)
{
    m_failure = failure;
    m_readingReason = false;
    m_message = message;
    const QString output = (m_recentOutput + QStringList { m_outputLines.openLine() })
                               .filter(QRegularExpression(QStringLiteral("\\S")))
                               .join(QLatin1Char('\n'));
    if (!output.isEmpty()) {
        m_message.details = m_message.details.isEmpty()
            ? output
            : m_message.details + QLatin1Char('\n') + output;
    }
    setState(Failed);
}

void UpgradeFlow::acceptProgress(int progress, int code)
{
    // The daemon's progress may be another client's upgrade, or one this flow has given up
    // on: neither may close the progress screen or restart the machine.
    if (m_state != Upgrading || m_readingReason) {
        qInfo() << "UpgradeFlow: progress of an upgrade this flow is not running:" << progress
                << code;
        return;
    }
    if (code == OfflineUpdate::BackupFailed) {
        fail(BackupFailed,
            { tr("The system could not be backed up, so nothing was upgraded. The reason is in "
                 "the details; ask your administrator if you cannot resolve it."),
                QString() });
        return;
    }
    if (code < 0) {
        m_readingReason = true;
        m_model->requestUpgradeFailureReason(this,
            [this](const QString &key, const QString &detail) { failWithReason(key, detail); });
        return;
    }
    m_progress.setProgress(progress, code);
    emit progressChanged();
    if (progress != OfflineUpdate::DoneStage)
        return;
    // The screen stays covered while the hooks run as root: the system is still changing.
    setState(RunningHooks);
    // A daemon that sends no stages runs them all the same.
    acceptStage(OfflineUpdate::UpgradeStage::PostHooks, 0, 0, QString());
    m_model->runPostUpgradeHooks();
}

void UpgradeFlow::acceptStage(const QString &stage, int done, int total, const QString &package)
{
    // Like the pairs: only this flow's upgrade, and nothing after its failure.
    if (!underWay() || m_readingReason)
        return;
    m_progress.setStage(stage, done, total, package);
    emit progressChanged();
}

void UpgradeFlow::failWithReason(const QString &key, const QString &detail)
{
    // The daemon may have left the bus meanwhile, which has said all there is to say.
    if (m_state != Upgrading || !m_readingReason)
        return;
    using namespace OfflineUpdate;
    // A daemon that predates reasons, or one that recorded none, has told only that apt failed.
    const QString known = key.isEmpty() ? UpgradeReason::UpgradeFailed : key;
    fail(known == UpgradeReason::PlanChanged ? PlanChanged : UpgradeFailed,
        UpgradeFailureText::forReason(known, detail));
}

void UpgradeFlow::acceptOutput(const QString &piece)
{
    if (m_state != Upgrading || m_readingReason)
        return;
    const QString status = DaemonStatusText::translated(piece);
    const QString shown = status.isEmpty() ? piece : status;
    emit outputReceived(shown);
    m_recentOutput.append(m_outputLines.add(shown));
    while (m_recentOutput.size() > RecentOutputLines)
        m_recentOutput.removeFirst();
}

void UpgradeFlow::acceptHooksDone(const QString &error)
{
    if (m_state != RunningHooks)
        return;
    // The upgrade has been made; scripts that failed after it do not undo it, but whoever
    // looks after the system should know.
    m_message = error.isEmpty()
        ? UserMessage {}
        : UserMessage { tr("The package's scripts that run after the upgrade reported a "
                           "problem."),
              error };
    setState(Succeeded);
}
