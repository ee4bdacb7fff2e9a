#include "writedbusdata.h"

#include "calleridentity.h"
#include "daemonadaptor.h"
#include "dbusinvokerinterface.h"
#include "invokerfactory.h"
#include "offlinecheck.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QDebug>

namespace {

const QString BackupService = QStringLiteral("com.tevrin.ABRecovery");
const QString BackupPath = QStringLiteral("/com/tevrin/ABRecovery");

bool failed(const QDBusMessage &reply)
{
    return reply.type() == QDBusMessage::ErrorMessage || !reply.errorName().isEmpty()
           || !reply.errorMessage().isEmpty();
}

} // namespace

const QString WriteDBusData::ServiceName = QStringLiteral("com.tevrin.offline.update.daemon");
const QString WriteDBusData::ObjectPath = QStringLiteral("/com/tevrin/offline/update/daemon");

WriteDBusData::WriteDBusData(const QDBusConnection &bus, QObject *parent)
    : QObject(parent)
    , m_bus(bus)
    , m_authority(bus)
{
    m_adaptor = new DaemonAdaptor(this);
    m_registered = m_bus.registerService(ServiceName)
                   && m_bus.registerObject(ObjectPath, this, QDBusConnection::ExportAdaptors);
    if (!m_registered)
        return;

    m_check = new OfflineCheck;
    connect(m_check, &OfflineCheck::sendOfflineFileCheckResult, this,
            &WriteDBusData::acceptOfflineFileCheckResult);
    connect(m_check, &OfflineCheck::sendExecDistUpgradeInfo, this,
            &WriteDBusData::acceptExecDistUpgradeInfo);

    m_backupService = InvokerFactory::GetInstance()->CreateInvoker(
        BackupService, BackupPath, BackupService, SystemBus, this);
    m_backupService->Connect(QStringLiteral("JobEnd"), this,
                             SLOT(acceptBackupSystemProgress(QString, bool, QString)));
}

WriteDBusData::~WriteDBusData()
{
    delete m_check;
}

bool WriteDBusData::identifyCaller(CallerIdentity *caller)
{
    if (!calledFromDBus()) {
        *caller = CallerIdentity::root();
        return true;
    }
    const QDBusReply<uint> uid = connection().interface()->serviceUid(message().service());
    QString error = uid.error().message();
    if (uid.isValid() && CallerIdentity::lookUp(uid.value(), caller, &error))
        return true;
    qWarning() << Q_FUNC_INFO << "cannot tell who" << message().service() << "is:" << error;
    return false;
}

bool WriteDBusData::authorize(const QString &action, const char *method)
{
    if (!calledFromDBus())
        return true;
    const QDBusReply<uint> uid = connection().interface()->serviceUid(message().service());
    if (uid.isValid() && uid.value() == 0)
        return true;
    QString reason = uid.isValid() ? QString() : QStringLiteral("the caller's uid is unknown");
    if (uid.isValid() && m_authority.isAuthorized(message().service(), action, &reason))
        return true;
    qWarning() << Q_FUNC_INFO << "refusing" << method << "to uid"
               << (uid.isValid() ? qint64(uid.value()) : qint64(-1)) << ":" << reason;
    sendErrorReply(QDBusError::AccessDenied,
                   QStringLiteral("%1 needs an administrator's authorization: %2")
                       .arg(QLatin1String(method), reason));
    return false;
}

void WriteDBusData::StartApp() { }

void WriteDBusData::ExitApp()
{
    if (!authorize(PolkitAuthority::UpgradeAction, "ExitApp"))
        return;
    QCoreApplication::quit();
}

void WriteDBusData::StartOfflineFileCheck(const QString &homepath, const QString &filepath)
{
    // The check runs the package's scripts as root.
    if (!authorize(PolkitAuthority::CheckAction, "StartOfflineFileCheck"))
        return;
    CallerIdentity caller;
    if (!identifyCaller(&caller)) {
        // A caller the daemon cannot name may not have any file opened for it.
        emit NotifyOfflineFileCheckResult(OfflineCheck::PackageFileItem, false);
        return;
    }
    m_check->startOfflineFileCheck(caller, homepath, filepath);
}

int WriteDBusData::GetUpgradeType()
{
    return m_check->upgradeType();
}

QString WriteDBusData::GetPatchUpgradeSerial()
{
    return m_check->patchSerial();
}

int WriteDBusData::GetDistUpgradeSum()
{
    return m_check->upgradeSum();
}

bool WriteDBusData::IsAllowBackupSystem()
{
    const QDBusMessage reply = m_backupService->Invoke(QStringLiteral("CanBackup"), {}, QDBus::Block);
    if (failed(reply)) {
        qWarning() << Q_FUNC_INFO << reply.errorMessage();
        return false;
    }
    const QDBusReply<bool> allowed(reply);
    return allowed.isValid() && allowed.value();
}

void WriteDBusData::BackupSystem()
{
    if (!authorize(PolkitAuthority::UpgradeAction, "BackupSystem"))
        return;
    emit NotifyExecDistUpgradeInfo(QStringLiteral("开始进行系统备份..."));
    emit NotifyOfflineUpgradeProgress(30, 1);
    if (!IsAllowBackupSystem()) {
        runUpgrade();
        return;
    }
    // A job end that the service sends before its reply is only read after this returns,
    // so the owner is known by the time it is handled.
    const QDBusMessage reply =
        m_backupService->Invoke(QStringLiteral("StartBackup"), {}, QDBus::Block);
    if (failed(reply)) {
        m_backupOwner.clear();
        qWarning() << Q_FUNC_INFO << reply.errorMessage();
        emit NotifyOfflineUpgradeProgress(30, -1);
        return;
    }
    m_backupOwner = reply.service();
}

void WriteDBusData::acceptBackupSystemProgress(const QString &kind, bool success,
                                               const QString &errMsg)
{
    if (kind != QLatin1String("backup"))
        return;
    const QString sender = calledFromDBus() ? message().service() : m_backupOwner;
    if (m_backupOwner.isEmpty() || sender != m_backupOwner) {
        qWarning() << Q_FUNC_INFO << "ignoring the end of a backup this daemon did not ask for:"
                   << sender << success << errMsg;
        return;
    }
    m_backupOwner.clear();
    if (!success) {
        emit NotifyOfflineUpgradeProgress(70, -1);
        qWarning() << errMsg;
        return;
    }
    emit NotifyExecDistUpgradeInfo(QStringLiteral("系统备份完成"));
    emit NotifyOfflineUpgradeProgress(50, 1);
    emit NotifyExecDistUpgradeInfo(QStringLiteral("开始进行系统升级..."));
    runUpgrade();
}

void WriteDBusData::runUpgrade()
{
    if (m_check->execSystemUpgrade() == 0)
        emit NotifyOfflineUpgradeProgress(100, 1);
    else
        emit NotifyOfflineUpgradeProgress(80, -2);
}

void WriteDBusData::StartExecHookPost(const QString &homepath)
{
    if (!authorize(PolkitAuthority::UpgradeAction, "StartExecHookPost"))
        return;
    CallerIdentity caller;
    if (!identifyCaller(&caller))
        return;
    const QString refusal = caller.refuseHome(homepath);
    if (!refusal.isEmpty()) {
        qWarning() << Q_FUNC_INFO << QStringLiteral("refusing the home path: %1").arg(refusal);
        return;
    }
    m_check->execHookPost(homepath);
}

void WriteDBusData::acceptOfflineFileCheckResult(int itemType, bool result)
{
    emit NotifyOfflineFileCheckResult(itemType, result);
}

void WriteDBusData::acceptExecDistUpgradeInfo(const QString &info)
{
    emit NotifyExecDistUpgradeInfo(info);
}

QString WriteDBusData::GetCheckFailureReason(QString &detail)
{
    detail.clear();
    return QString();
}

int WriteDBusData::GetPackageSignature(QString &signer)
{
    signer.clear();
    return 0;
}
