#include "offlineupdatemodel.h"

#include "daemonrequestfailure.h"
#include "dbusinvokerinterface.h"
#include "invokerfactory.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDebug>
#include <QDir>
#include <QStringList>
#include <QVariant>

namespace {

const QString DaemonService = QStringLiteral("com.tevrin.offline.update.daemon");
const QString DaemonPath = QStringLiteral("/com/tevrin/offline/update/daemon");
const QString DaemonInterface = QStringLiteral("com.tevrin.offline.update.daemon");

// The first value of a reply as T: taken as it is when it has that type, else converted; the
// default value when there is none, it cannot be converted, or the call failed or timed out.
template <typename T> T replyValue(const QDBusMessage &reply)
{
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return T();
    QVariant value = reply.arguments().constFirst();
    const int type = qMetaTypeId<T>();
    if (value.userType() != type && !value.convert(type))
        return T();
    return value.value<T>();
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
    m_daemonInvoker
        = factory->CreateInvoker(DaemonService, DaemonPath, DaemonInterface, SystemBus, this);
    m_daemonInvoker->Connect(QStringLiteral("NotifyOfflineFileCheckResult"), this,
        SLOT(acceptOfflineFileCheckResult(int, bool)));
    m_daemonInvoker->Connect(QStringLiteral("NotifyOfflineUpgradeProgress"), this,
        SLOT(acceptOfflineUpgradeProgress(int, int)));
    m_daemonInvoker->Connect(QStringLiteral("NotifyExecDistUpgradeInfo"), this,
        SLOT(acceptExecDistUpgradeInfo(QString)));

    m_windowManagerInvoker = factory->CreateInvoker(QStringLiteral("com.tevrin.wm"),
        QStringLiteral("/com/tevrin/wm"), QStringLiteral("com.tevrin.wm"), SessionBus, this);
    m_sessionManagerInvoker = factory->CreateInvoker(QStringLiteral("com.tevrin.SessionManager"),
        QStringLiteral("/com/tevrin/SessionManager"), QStringLiteral("com.tevrin.SessionManager"),
        SessionBus, this);
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

void OfflineUpdateModel::sendDaemonRequest(const QString &method, const QVariantList &arguments,
    const QString &deniedReason, void (OfflineUpdateModel::*failed)(const QString &))
{
    // These requests do not go through the invoker. The daemon answers them only when its work
    // has run to the end, and the invoker can either wait for that answer (freezing the window,
    // or spinning a nested event loop that delivers the daemon's reports before this function
    // has returned) or drop the answer unread; dropped, an immediate error (no daemon, or a
    // refusal) would leave a page waiting for reports that never come. So the call goes out
    // asynchronously on the connection the daemon invoker uses, and only its error is read.
    QDBusMessage call
        = QDBusMessage::createMethodCall(DaemonService, DaemonPath, DaemonInterface, method);
    call.setArguments(arguments);
    auto *watcher = new QDBusPendingCallWatcher(QDBusConnection::systemBus().asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
        [this, method, deniedReason, failed](QDBusPendingCallWatcher *finished) {
            finished->deleteLater();
            const QDBusMessage reply = finished->reply();
            const QString reason = daemonRequestFailure(reply, deniedReason);
            if (reason.isEmpty())
                return;
            qWarning() << "OfflineUpdateModel:" << method << "failed:" << reply.errorName()
                       << reply.errorMessage();
            emit(this->*failed)(reason);
        });
}

int OfflineUpdateModel::getUpgradeType()
{
    return replyValue<int>(
        m_daemonInvoker->Invoke(QStringLiteral("GetUpgradeType"), {}, QDBus::Block));
}

int OfflineUpdateModel::getDistUpgradeSum()
{
    return replyValue<int>(
        m_daemonInvoker->Invoke(QStringLiteral("GetDistUpgradeSum"), {}, QDBus::Block));
}

QString OfflineUpdateModel::getPatchUpgradeSerial()
{
    return replyValue<QString>(
        m_daemonInvoker->Invoke(QStringLiteral("GetPatchUpgradeSerial"), {}, QDBus::Block));
}

bool OfflineUpdateModel::getABSystemBackupStatus()
{
    const QDBusMessage reply
        = m_daemonInvoker->Invoke(QStringLiteral("IsAllowBackupSystem"), {}, QDBus::Block);
    if (!reply.errorMessage().isEmpty() || !reply.errorName().isEmpty()) {
        qWarning() << Q_FUNC_INFO << reply.errorMessage();
        return false;
    }
    return replyValue<bool>(reply);
}

void OfflineUpdateModel::startOfflineUpgrade()
{
    sendDaemonRequest(QStringLiteral("BackupSystem"), {},
        tr("upgrading the system needs an administrator's authorization, which was not given"),
        &OfflineUpdateModel::notifyOfflineUpgradeFailed);
}

QString OfflineUpdateModel::getDesktopImage()
{
    const QString url = replyValue<QString>(m_windowManagerInvoker->Invoke(
        QStringLiteral("GetCurrentWorkspaceBackground"), {}, QDBus::Block));
    const QStringList parts
        = url.split(QStringLiteral("://"), Qt::KeepEmptyParts, Qt::CaseSensitive);
    return parts.size() < 2 ? QString() : parts.at(1);
}

void OfflineUpdateModel::systemReboot()
{
    // The reply does not matter: the reboot is requested after the hooks or after the
    // time-out, whichever comes first.
    m_daemonInvoker->Invoke(
        QStringLiteral("StartExecHookPost"), { QDir::homePath() }, QDBus::Block);
    m_sessionManagerInvoker->Invoke(QStringLiteral("RequestReboot"), {}, QDBus::NoBlock);
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
