#include "offlineupdatemodel.h"

#include "daemonrequestfailure.h"
#include "dbusinvokerinterface.h"
#include "invokerfactory.h"
#include "offlineupdateprotocol.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDebug>
#include <QDir>
#include <QStringList>
#include <QVariant>
#include <climits>
#include <memory>

namespace {

const QString WindowManagerService = QStringLiteral("com.tevrin.wm");
const QString SessionManagerService = QStringLiteral("com.tevrin.SessionManager");

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

// The watcher belongs to |context|, so an answer for an object that is gone is dropped with it.
void callAsync(const QDBusConnection &bus, const QDBusMessage &call, QObject *context,
    std::function<void(const QDBusMessage &)> done, int timeoutMs = -1)
{
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, timeoutMs), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
        [done = std::move(done)](QDBusPendingCallWatcher *finished) {
            finished->deleteLater();
            done(finished->reply());
        });
}

} // namespace

OfflineUpdateModel::OfflineUpdateModel(QObject *parent)
    : QObject(parent)
{
    initData();
}

void OfflineUpdateModel::initData()
{
    InvokerFactory *factory = InvokerFactory::GetInstance();
    m_daemonInvoker = factory->CreateInvoker(OfflineUpdate::DaemonService,
        OfflineUpdate::DaemonPath, OfflineUpdate::DaemonInterface, SystemBus, this);
    m_daemonInvoker->Connect(QStringLiteral("NotifyOfflineFileCheckResult"), this,
        SLOT(acceptOfflineFileCheckResult(int, bool)));
    m_daemonInvoker->Connect(QStringLiteral("NotifyOfflineUpgradeProgress"), this,
        SLOT(acceptOfflineUpgradeProgress(int, int)));
    m_daemonInvoker->Connect(QStringLiteral("NotifyExecDistUpgradeInfo"), this,
        SLOT(acceptExecDistUpgradeInfo(QString)));

    m_sessionManagerInvoker = factory->CreateInvoker(SessionManagerService,
        QStringLiteral("/com/tevrin/SessionManager"), SessionManagerService, SessionBus, this);

    // Only a daemon that had the name and lost it counts: a daemon being started for our first
    // request takes a free name.
    m_daemonWatcher = new QDBusServiceWatcher(OfflineUpdate::DaemonService,
        QDBusConnection::systemBus(), QDBusServiceWatcher::WatchForOwnerChange, this);
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
    sendDaemonRequest(QStringLiteral("StartOfflineFileCheck"), { QDir::homePath(), path },
        tr("checking update packages needs an administrator's authorization, which was not "
           "given"),
        &OfflineUpdateModel::notifyOfflineCheckFailed);
}

void OfflineUpdateModel::callDaemon(const QString &method, const QVariantList &arguments,
    QObject *context, std::function<void(const QDBusMessage &)> done, int timeoutMs)
{
    QDBusMessage call = QDBusMessage::createMethodCall(OfflineUpdate::DaemonService,
        OfflineUpdate::DaemonPath, OfflineUpdate::DaemonInterface, method);
    call.setArguments(arguments);
    callAsync(QDBusConnection::systemBus(), call, context, std::move(done), timeoutMs);
}

void OfflineUpdateModel::sendDaemonRequest(const QString &method, const QVariantList &arguments,
    const QString &deniedReason, void (OfflineUpdateModel::*failed)(const QString &))
{
    // The daemon answers these only when its work has run to the end, many minutes later, and
    // its reports come as signals before that: only an immediate error (no daemon, a refusal,
    // a busy daemon) is read from the answer.
    callDaemon(
        method, arguments, this, [this, method, deniedReason, failed](const QDBusMessage &reply) {
            const QString reason = daemonRequestFailure(reply, deniedReason);
            if (reason.isEmpty())
                return;
            qWarning() << "OfflineUpdateModel:" << method << "failed:" << reply.errorName()
                       << reply.errorMessage();
            emit(this->*failed)(reason);
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
    const auto ask = [this, context, pending](const QString &method,
                         std::function<void(CheckDetails &, const QDBusMessage &)> read) {
        ++pending->outstanding;
        callDaemon(method, {}, context, [pending, read](const QDBusMessage &reply) {
            read(pending->details, reply);
            if (--pending->outstanding == 0)
                pending->done(pending->details);
        });
    };
    ask(QStringLiteral("GetUpgradeType"), [](CheckDetails &details, const QDBusMessage &reply) {
        details.upgradeType = replyValue<int>(reply);
    });
    ask(QStringLiteral("GetPatchUpgradeSerial"),
        [](CheckDetails &details, const QDBusMessage &reply) {
            details.patchSerial = replyValue<QString>(reply);
        });
    ask(QStringLiteral("GetDistUpgradeSum"), [](CheckDetails &details, const QDBusMessage &reply) {
        details.upgradeSum = replyValue<int>(reply);
    });
    ask(QStringLiteral("GetPackageSignature"),
        [](CheckDetails &details, const QDBusMessage &reply) {
            details.signatureState = replyValue<int>(reply, 0);
            details.signer = replyValue<QString>(reply, 1);
        });
    if (checkFailed) {
        ask(QStringLiteral("GetCheckFailureReason"),
            [](CheckDetails &details, const QDBusMessage &reply) {
                details.reasonKey = replyValue<QString>(reply, 0);
                details.reasonDetail = replyValue<QString>(reply, 1);
            });
    }
}

void OfflineUpdateModel::requestBackupStatus(QObject *context, std::function<void(bool)> done)
{
    callDaemon(QStringLiteral("IsAllowBackupSystem"), {}, context,
        [done = std::move(done)](const QDBusMessage &reply) {
            if (reply.type() == QDBusMessage::ErrorMessage)
                qWarning() << "OfflineUpdateModel: IsAllowBackupSystem failed:"
                           << reply.errorMessage();
            done(replyValue<bool>(reply));
        });
}

void OfflineUpdateModel::startOfflineUpgrade()
{
    sendDaemonRequest(QStringLiteral("BackupSystem"), {},
        tr("upgrading the system needs an administrator's authorization, which was not given"),
        &OfflineUpdateModel::notifyOfflineUpgradeFailed);
}

void OfflineUpdateModel::requestDesktopImage(
    QObject *context, std::function<void(const QString &)> done)
{
    const QDBusMessage call
        = QDBusMessage::createMethodCall(WindowManagerService, QStringLiteral("/com/tevrin/wm"),
            WindowManagerService, QStringLiteral("GetCurrentWorkspaceBackground"));
    callAsync(QDBusConnection::sessionBus(), call, context,
        [done = std::move(done)](const QDBusMessage &reply) {
            const QStringList parts = replyValue<QString>(reply).split(
                QStringLiteral("://"), Qt::KeepEmptyParts, Qt::CaseSensitive);
            done(parts.size() < 2 ? QString() : parts.at(1));
        });
}

void OfflineUpdateModel::systemReboot()
{
    // Hooks run as root and may take long; rebooting under them could leave the system half
    // changed, so there is no time limit. A daemon that dies meanwhile answers with an error.
    callDaemon(
        QStringLiteral("StartExecHookPost"), { QDir::homePath() }, this,
        [this](const QDBusMessage &reply) {
            if (reply.type() == QDBusMessage::ErrorMessage)
                qWarning() << "OfflineUpdateModel: the post-upgrade hooks failed:"
                           << reply.errorName() << reply.errorMessage();
            m_sessionManagerInvoker->Invoke(QStringLiteral("RequestReboot"), {}, QDBus::NoBlock);
            emit notifyRebootRequested();
        },
        INT_MAX);
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
