#include "offlineupdatemodel.h"

#include "daemoninterface.h"
#include "daemonrequestfailure.h"
#include "offlineupdateprotocol.h"
#include "upgradeplan.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDebug>
#include <QDir>
#include <QStringList>
#include <QVariant>
#include <climits>

namespace {

const QString WindowManagerService = QStringLiteral("com.tevrin.wm");
const QString SessionManagerService = QStringLiteral("com.tevrin.SessionManager");
// The daemon answers a check or an upgrade request only when the work has ended; until then
// the request is under way, and only an immediate error means anything.
constexpr int LongCallMs = INT_MAX;
// -1 is the bus library's default time-out.
constexpr int DefaultCallMs = -1;

// The first values of a reply as T: taken as they are when they have that type, else
// converted; the default value when there is none, it cannot be converted, or the call failed.
template <typename T> T replyValue(const QDBusMessage &reply, int index = 0)
{
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() <= index)
        return T();
    QVariant value = reply.arguments().at(index);
    const int type = qMetaTypeId<T>();
    if (value.userType() != type && !value.convert(type))
        return T();
    return value.value<T>();
}

// The plan a reply carries; empty for an error. The generated proxy turns a reply of another
// shape (a stand-in's, an older draft's) into an error of its own.
OfflineUpdate::UpgradePlan planOf(const QDBusMessage &reply)
{
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    return qdbus_cast<OfflineUpdate::UpgradePlan>(reply.arguments().constFirst());
}

// The watcher belongs to |context|, so an answer for an object that is gone is dropped with it.
void whenAnswered(const QDBusPendingCall &call, QObject *context,
    std::function<void(const QDBusMessage &)> done)
{
    auto *watcher = new QDBusPendingCallWatcher(call, context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
        [done = std::move(done)](QDBusPendingCallWatcher *finished) {
            finished->deleteLater();
            done(finished->reply());
        });
}

} // namespace

OfflineUpdateModel::OfflineUpdateModel(
    const QDBusConnection &systemBus, const QDBusConnection &sessionBus, QObject *parent)
    : QObject(parent)
    , m_systemBus(systemBus)
    , m_sessionBus(sessionBus)
{
    initData();
}

OfflineUpdateModel::~OfflineUpdateModel() = default;

void OfflineUpdateModel::initData()
{
    OfflineUpdate::registerUpgradePlanTypes();
    m_daemon = std::make_unique<ComTevrinOfflineUpdateDaemonInterface>(
        OfflineUpdate::DaemonService, OfflineUpdate::DaemonPath, m_systemBus);
    // The daemon sends these to the caller's connection only; a match on sender, path and
    // interface without a destination still lets them in.
    connect(m_daemon.get(), &ComTevrinOfflineUpdateDaemonInterface::NotifyOfflineFileCheckResult,
        this, &OfflineUpdateModel::acceptOfflineFileCheckResult);
    connect(m_daemon.get(), &ComTevrinOfflineUpdateDaemonInterface::NotifyOfflineUpgradeProgress,
        this, &OfflineUpdateModel::acceptOfflineUpgradeProgress);
    connect(m_daemon.get(), &ComTevrinOfflineUpdateDaemonInterface::NotifyExecDistUpgradeInfo,
        this, &OfflineUpdateModel::acceptExecDistUpgradeInfo);
    connect(m_daemon.get(), &ComTevrinOfflineUpdateDaemonInterface::NotifyUpgradeStage, this,
        &OfflineUpdateModel::notifyUpgradeStage);

    // Only a daemon that had the name and lost it counts: a daemon being started for our first
    // request takes a free name.
    m_daemonWatcher = new QDBusServiceWatcher(OfflineUpdate::DaemonService, m_systemBus,
        QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(m_daemonWatcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
        [this](const QString &, const QString &oldOwner, const QString &) {
            if (oldOwner.isEmpty())
                return;
            qWarning() << "OfflineUpdateModel: the daemon" << oldOwner << "left the system bus";
            emit notifyDaemonVanished();
        });
}

void OfflineUpdateModel::setCheckFilePath(const QString &path)
{
    emit notifyCheckFilePath(path);
}

void OfflineUpdateModel::startOfflineFileChecking(const QString &path)
{
    m_daemon->setTimeout(LongCallMs);
    watchDaemonRequest(QStringLiteral("StartOfflineFileCheck"),
        m_daemon->StartOfflineFileCheck(QDir::homePath(), path),
        tr("Checking update packages needs an administrator's authorization, which was not "
           "given. Ask your administrator."),
        &OfflineUpdateModel::notifyOfflineCheckFailed);
}

void OfflineUpdateModel::watchDaemonRequest(const QString &method, const QDBusPendingCall &call,
    const QString &deniedReason,
    void (OfflineUpdateModel::*failed)(const QString &, const QString &))
{
    whenAnswered(call, this, [this, method, deniedReason, failed](const QDBusMessage &reply) {
        const UserMessage message = daemonRequestFailure(reply, deniedReason);
        if (message.isEmpty())
            return;
        qWarning() << "OfflineUpdateModel:" << method << "failed:" << reply.errorName()
                   << reply.errorMessage();
        // Only an upgrade request is answered so; what to say and offer is the flow's choice.
        if (reply.errorName() == OfflineUpdate::PlanChangedError) {
            emit notifyUpgradePlanChanged(message.details);
            return;
        }
        emit(this->*failed)(message.sentence, message.details);
    });
}

void OfflineUpdateModel::requestCheckDetails(
    bool checkFailed, QObject *context, std::function<void(const CheckDetails &)> done)
{
    // The answers come in any order; the last one hands the whole set over.
    struct Pending
    {
        CheckDetails details;
        int outstanding = 0;
        std::function<void(const CheckDetails &)> done;
    };
    auto pending = std::make_shared<Pending>();
    pending->done = std::move(done);
    const auto ask = [context, pending](const QDBusPendingCall &call,
                         std::function<void(CheckDetails &, const QDBusMessage &)> read) {
        ++pending->outstanding;
        whenAnswered(call, context, [pending, read](const QDBusMessage &reply) {
            read(pending->details, reply);
            if (--pending->outstanding == 0)
                pending->done(pending->details);
        });
    };
    m_daemon->setTimeout(DefaultCallMs);
    ask(m_daemon->GetUpgradeType(), [](CheckDetails &details, const QDBusMessage &reply) {
        details.upgradeType = replyValue<int>(reply);
    });
    ask(m_daemon->GetPatchUpgradeSerial(), [](CheckDetails &details, const QDBusMessage &reply) {
        details.patchSerial = replyValue<QString>(reply);
    });
    ask(m_daemon->GetDistUpgradeSum(), [](CheckDetails &details, const QDBusMessage &reply) {
        details.upgradeSum = replyValue<int>(reply);
    });
    ask(m_daemon->GetPackageSignature(), [](CheckDetails &details, const QDBusMessage &reply) {
        details.signatureState = replyValue<int>(reply, 0);
        details.signer = replyValue<QString>(reply, 1);
    });
    if (checkFailed) {
        ask(m_daemon->GetCheckFailureReason(),
            [](CheckDetails &details, const QDBusMessage &reply) {
                details.reasonKey = replyValue<QString>(reply, 0);
                details.reasonDetail = replyValue<QString>(reply, 1);
            });
    } else {
        ask(m_daemon->GetUpgradePlan(), [](CheckDetails &details, const QDBusMessage &reply) {
            details.plan = planOf(reply);
        });
    }
}

void OfflineUpdateModel::requestUpgradeFailureReason(
    QObject *context, std::function<void(const QString &, const QString &)> done)
{
    m_daemon->setTimeout(DefaultCallMs);
    whenAnswered(m_daemon->GetUpgradeFailureReason(), context,
        [done = std::move(done)](const QDBusMessage &reply) {
            if (reply.type() == QDBusMessage::ErrorMessage)
                qWarning() << "OfflineUpdateModel: GetUpgradeFailureReason failed:"
                           << reply.errorName() << reply.errorMessage();
            done(replyValue<QString>(reply, 0), replyValue<QString>(reply, 1));
        });
}

void OfflineUpdateModel::requestHistory(
    QObject *context, std::function<void(const QStringList &)> done)
{
    m_daemon->setTimeout(DefaultCallMs);
    whenAnswered(m_daemon->GetHistory(), context,
        [done = std::move(done)](const QDBusMessage &reply) {
            if (reply.type() == QDBusMessage::ErrorMessage)
                qWarning() << "OfflineUpdateModel: GetHistory failed:" << reply.errorName()
                           << reply.errorMessage();
            done(replyValue<QStringList>(reply));
        });
}

void OfflineUpdateModel::requestBackupStatus(QObject *context, std::function<void(bool)> done)
{
    m_daemon->setTimeout(DefaultCallMs);
    whenAnswered(m_daemon->IsAllowBackupSystem(), context,
        [done = std::move(done)](const QDBusMessage &reply) {
            if (reply.type() == QDBusMessage::ErrorMessage)
                qWarning() << "OfflineUpdateModel: IsAllowBackupSystem failed:"
                           << reply.errorMessage();
            done(replyValue<bool>(reply));
        });
}

void OfflineUpdateModel::startOfflineUpgrade()
{
    m_daemon->setTimeout(LongCallMs);
    watchDaemonRequest(QStringLiteral("BackupSystem"), m_daemon->BackupSystem(),
        tr("Upgrading the system needs an administrator's authorization, which was not given. "
           "Ask your administrator."),
        &OfflineUpdateModel::notifyOfflineUpgradeFailed);
}

void OfflineUpdateModel::startUpgradeWithoutBackup()
{
    m_daemon->setTimeout(LongCallMs);
    watchDaemonRequest(QStringLiteral("UpgradeWithoutBackup"), m_daemon->UpgradeWithoutBackup(),
        tr("Upgrading the system needs an administrator's authorization, which was not given. "
           "Ask your administrator."),
        &OfflineUpdateModel::notifyOfflineUpgradeFailed);
}

void OfflineUpdateModel::requestDesktopImage(
    QObject *context, std::function<void(const QString &)> done)
{
    const QDBusMessage call
        = QDBusMessage::createMethodCall(WindowManagerService, QStringLiteral("/com/tevrin/wm"),
            WindowManagerService, QStringLiteral("GetCurrentWorkspaceBackground"));
    whenAnswered(m_sessionBus.asyncCall(call), context,
        [done = std::move(done)](const QDBusMessage &reply) {
            const QStringList parts = replyValue<QString>(reply).split(
                QStringLiteral("://"), Qt::KeepEmptyParts, Qt::CaseSensitive);
            done(parts.size() < 2 ? QString() : parts.at(1));
        });
}

void OfflineUpdateModel::runPostUpgradeHooks()
{
    // Hooks run as root and may take long; restarting under them could leave the system half
    // changed, so there is no time limit. A daemon that dies meanwhile answers with an error.
    m_daemon->setTimeout(LongCallMs);
    whenAnswered(m_daemon->StartExecHookPost(QDir::homePath()), this,
        [this](const QDBusMessage &reply) {
            QString error;
            if (reply.type() == QDBusMessage::ErrorMessage) {
                qWarning() << "OfflineUpdateModel: the post-upgrade hooks failed:"
                           << reply.errorName() << reply.errorMessage();
                error = reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage();
            }
            emit notifyPostUpgradeHooksDone(error);
        });
}

void OfflineUpdateModel::requestReboot()
{
    const QDBusMessage call = QDBusMessage::createMethodCall(SessionManagerService,
        QStringLiteral("/com/tevrin/SessionManager"), SessionManagerService,
        QStringLiteral("RequestReboot"));
    whenAnswered(m_sessionBus.asyncCall(call), this, [this](const QDBusMessage &reply) {
        if (reply.type() != QDBusMessage::ErrorMessage)
            return;
        // The computer is going down when the session manager cannot answer any more.
        const QDBusError::ErrorType type = QDBusError(reply).type();
        if (type == QDBusError::NoReply || type == QDBusError::Disconnected)
            return;
        qWarning() << "OfflineUpdateModel: RequestReboot failed:" << reply.errorName()
                   << reply.errorMessage();
        emit notifyRebootFailed(reply.errorMessage().isEmpty() ? reply.errorName()
                                                              : reply.errorMessage());
    });
}

void OfflineUpdateModel::acceptOfflineFileCheckResult(int itemType, bool result)
{
    qInfo() << Q_FUNC_INFO
            << QStringLiteral("Offline file check result, itemtype:%1, result:%2")
                   .arg(itemType)
                   .arg(result ? 1 : 0);
    emit notifyOfflineCheckResult(itemType, result);
}

void OfflineUpdateModel::acceptOfflineUpgradeProgress(int progress, int code)
{
    emit notifyOfflineUpgradeProgress(progress, code);
}

void OfflineUpdateModel::acceptExecDistUpgradeInfo(const QString &info)
{
    emit notifyExecDistUpgradeInfo(info);
}
