#include "daemonclient.h"

#include "daemoninterface.h"
#include "checktable.h"
#include "offlineupdateprotocol.h"
#include "upgradeplan.h"

#include <QDBusServiceWatcher>

namespace {

// Past any check or upgrade; the call still ends when the service leaves the bus.
constexpr int LongCallMs = 24 * 60 * 60 * 1000;
// The getters only read fields, but wait in the service's queue behind a running operation.
constexpr int ShortCallMs = 60 * 1000;

} // namespace

DaemonClient::DaemonClient(const QDBusConnection &bus, QObject *parent)
    : QObject(parent)
    , m_bus(bus)
    , m_daemon(std::make_unique<ComTevrinOfflineUpdateDaemonInterface>(
          OfflineUpdate::DaemonService, OfflineUpdate::DaemonPath, bus))
{
    OfflineUpdate::registerUpgradePlanTypes();
    // Subscribed before the first call, so that no signal of our own operation is missed.
    connect(m_daemon.get(), &ComTevrinOfflineUpdateDaemonInterface::NotifyOfflineFileCheckResult,
        this, &DaemonClient::checkResult);
    connect(m_daemon.get(), &ComTevrinOfflineUpdateDaemonInterface::NotifyExecDistUpgradeInfo, this,
        &DaemonClient::upgradeInfo);
    connect(m_daemon.get(), &ComTevrinOfflineUpdateDaemonInterface::NotifyOfflineUpgradeProgress,
        this, &DaemonClient::upgradeProgress);
    connect(m_daemon.get(), &ComTevrinOfflineUpdateDaemonInterface::NotifyUpgradeStage, this,
        &DaemonClient::upgradeStage);
    auto *watcher = new QDBusServiceWatcher(
        OfflineUpdate::DaemonService, bus, QDBusServiceWatcher::WatchForUnregistration, this);
    connect(watcher, &QDBusServiceWatcher::serviceUnregistered, this, &DaemonClient::vanished);
}

DaemonClient::~DaemonClient() = default;

QDBusPendingCall DaemonClient::startCheck(const QString &home, const QString &package)
{
    m_daemon->setTimeout(LongCallMs);
    return m_daemon->StartOfflineFileCheck(home, package);
}

QDBusPendingCall DaemonClient::backupSystem()
{
    m_daemon->setTimeout(LongCallMs);
    return m_daemon->BackupSystem();
}

QDBusPendingCall DaemonClient::startExecHookPost(const QString &home)
{
    m_daemon->setTimeout(LongCallMs);
    return m_daemon->StartExecHookPost(home);
}

bool DaemonClient::readLastCheck(CheckFacts *facts, QDBusError *error)
{
    m_daemon->setTimeout(ShortCallMs);
    QDBusPendingReply<int> type = m_daemon->GetUpgradeType();
    type.waitForFinished();
    if (type.isError()) {
        *error = type.error();
        return false;
    }
    facts->upgradeType = type.value();
    QDBusPendingReply<QString> serial = m_daemon->GetPatchUpgradeSerial();
    QDBusPendingReply<int> sum = m_daemon->GetDistUpgradeSum();
    QDBusPendingReply<int, QString> signature = m_daemon->GetPackageSignature();
    QDBusPendingReply<QString, QString> reason = m_daemon->GetCheckFailureReason();
    for (QDBusPendingCall *call :
        std::initializer_list<QDBusPendingCall *> { &serial, &sum, &signature, &reason })
        call->waitForFinished();
    if (serial.isError() || sum.isError()) {
        *error = serial.isError() ? serial.error() : sum.error();
        return false;
    }
    facts->patchSerial = serial.value();
    facts->upgradable = sum.value();
    if (!signature.isError()) {
        facts->signatureState = signature.argumentAt<0>();
        facts->signer = signature.argumentAt<1>();
    }
    if (!reason.isError()) {
        facts->reasonKey = reason.argumentAt<0>();
        facts->reasonDetail = reason.argumentAt<1>();
    }
    if (CheckTable::passed(facts->item, facts->result)) {
        // A service that predates plans has none to tell; the check stands without it.
        QDBusPendingReply<OfflineUpdate::UpgradePlan> plan = m_daemon->GetUpgradePlan();
        plan.waitForFinished();
        if (plan.isValid() && !plan.isError())
            facts->plan = plan.value();
    }
    return true;
}

void DaemonClient::readUpgradeFailureReason(QString *key, QString *detail)
{
    m_daemon->setTimeout(ShortCallMs);
    QDBusPendingReply<QString, QString> reason = m_daemon->GetUpgradeFailureReason();
    reason.waitForFinished();
    if (!reason.isValid() || reason.isError()) {
        key->clear();
        detail->clear();
        return;
    }
    *key = reason.argumentAt<0>();
    *detail = reason.argumentAt<1>();
}

bool DaemonClient::readHistory(QStringList *entries, QDBusError *error)
{
    m_daemon->setTimeout(ShortCallMs);
    QDBusPendingReply<QStringList> history = m_daemon->GetHistory();
    history.waitForFinished();
    if (history.isError()) {
        *error = history.error();
        return false;
    }
    *entries = history.value();
    return true;
}

bool DaemonClient::readDpkgState(bool *interrupted, QStringList *packages, QDBusError *error)
{
    m_daemon->setTimeout(ShortCallMs);
    QDBusPendingReply<bool, QStringList> state = m_daemon->GetDpkgState();
    state.waitForFinished();
    if (state.isError()) {
        *error = state.error();
        return false;
    }
    *interrupted = state.argumentAt<0>();
    *packages = state.argumentAt<1>();
    return true;
}
