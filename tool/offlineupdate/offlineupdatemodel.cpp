#include "offlineupdatemodel.h"

#include "checkrequestfailure.h"
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
    // This one request does not go through the invoker. The daemon answers it only when the
    // check has run to its end, and the invoker can either wait for that answer (freezing the
    // window, or spinning a nested event loop that delivers the check report before this
    // function has returned) or drop the answer unread; dropped, an immediate error (no daemon,
    // or the bus policy refusing us) would leave the checking page waiting for a report that
    // never comes. So the same call goes out asynchronously on the connection the daemon
    // invoker uses, and only its error is looked at.
    QDBusMessage call = QDBusMessage::createMethodCall(
        DaemonService, DaemonPath, DaemonInterface, QStringLiteral("StartOfflineFileCheck"));
    call.setArguments({ QDir::homePath(), path });
    auto *watcher = new QDBusPendingCallWatcher(QDBusConnection::systemBus().asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
        &OfflineUpdateModel::acceptCheckRequestReply);
}

void OfflineUpdateModel::acceptCheckRequestReply(QDBusPendingCallWatcher *watcher)
{
    watcher->deleteLater();
    const QDBusMessage reply = watcher->reply();
    const QString reason = checkRequestFailure(reply);
    if (!reason.isEmpty()) {
        qWarning() << Q_FUNC_INFO << "the check request failed:" << reply.errorName()
                   << reply.errorMessage();
        emit notifyOfflineCheckFailed(reason);
    } else if (reply.type() == QDBusMessage::ErrorMessage) {
        qInfo() << Q_FUNC_INFO << "no answer to the check request yet:" << reply.errorName()
                << "- the daemon answers when the check has ended, after its report";
    }
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
    m_daemonInvoker->Invoke(QStringLiteral("BackupSystem"), {}, QDBus::NoBlock);
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
