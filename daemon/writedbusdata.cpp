#include "writedbusdata.h"

#include "calleridentity.h"
#include "daemonadaptor.h"
#include "dbusinvokerinterface.h"
#include "invokerfactory.h"
#include "offlinecheck.h"
#include "offlineupdateprotocol.h"
#include "shutdowninhibitor.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QDebug>

using namespace OfflineUpdate;

namespace {

const QString BackupService = QStringLiteral("com.tevrin.ABRecovery");
const QString BackupPath = QStringLiteral("/com/tevrin/ABRecovery");
// How long after a successful upgrade its user runs the post-upgrade scripts on the
// authorization the upgrade was given.
constexpr qint64 PostHookGraceMs = 30 * 60 * 1000;

bool failed(const QDBusMessage &reply)
{
    return reply.type() != QDBusMessage::ReplyMessage || !reply.errorName().isEmpty()
        || !reply.errorMessage().isEmpty();
}

} // namespace

const QString WriteDBusData::ServiceName = DaemonService;
const QString WriteDBusData::ObjectPath = DaemonPath;

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

    m_shutdownLock = new ShutdownInhibitor(m_bus, this);
    m_check = new OfflineCheck;
    connect(m_check, &OfflineCheck::sendOfflineFileCheckResult, this,
        &WriteDBusData::acceptOfflineFileCheckResult);
    connect(m_check, &OfflineCheck::sendExecDistUpgradeInfo, this,
        &WriteDBusData::acceptExecDistUpgradeInfo);
    connect(m_check, &OfflineCheck::sendUpgradeProgress, this,
        [this](int percent) { emit NotifyOfflineUpgradeProgress(percent, ProgressGoesOn); });
    connect(m_check, &OfflineCheck::upgradeFinished, this, &WriteDBusData::upgradeEnded);
    connect(m_check, &OfflineCheck::hookPostFinished, this, [this] {
        reply();
        end();
    });

    m_backupService = InvokerFactory::GetInstance()->CreateInvoker(
        BackupService, BackupPath, BackupService, SystemBus, this);
    m_backupService->Connect(
        QStringLiteral("JobEnd"), this, SLOT(acceptBackupSystemProgress(QString, bool, QString)));
}

WriteDBusData::~WriteDBusData()
{
    delete m_check;
}

bool WriteDBusData::callerUid(uint *uid)
{
    if (!calledFromDBus()) {
        *uid = 0;
        return true;
    }
    const QDBusReply<uint> reply = connection().interface()->serviceUid(message().service());
    if (!reply.isValid()) {
        qWarning() << Q_FUNC_INFO << "cannot tell who" << message().service()
                   << "is:" << reply.error().message();
        return false;
    }
    *uid = reply.value();
    return true;
}

bool WriteDBusData::begin(Operation operation, const char *method)
{
    if (m_operation != Operation::None) {
        if (calledFromDBus())
            sendErrorReply(BusyError,
                QStringLiteral("%1 has to wait: the daemon is still busy with a check, "
                               "an upgrade or the post-upgrade scripts.")
                    .arg(QLatin1String(method)));
        return false;
    }
    m_operation = operation;
    m_pending = QDBusMessage();
    if (calledFromDBus()) {
        setDelayedReply(true);
        m_pending = message();
    }
    return true;
}

void WriteDBusData::end()
{
    m_shutdownLock->release();
    m_operation = Operation::None;
    m_pending = QDBusMessage();
}

void WriteDBusData::reply(const QList<QVariant> &arguments)
{
    if (m_pending.type() != QDBusMessage::MethodCallMessage)
        return;
    m_bus.send(m_pending.createReply(arguments));
    m_pending = QDBusMessage();
}

void WriteDBusData::replyError(const QString &name, const QString &text)
{
    if (m_pending.type() != QDBusMessage::MethodCallMessage)
        return;
    m_bus.send(m_pending.createErrorReply(name, text));
    m_pending = QDBusMessage();
}

void WriteDBusData::whenAuthorized(
    const QString &action, const char *method, uint uid, const std::function<void()> &proceed)
{
    if (uid == 0) {
        proceed();
        return;
    }
    const QString methodName = QLatin1String(method);
    m_authority.check(message().service(), action, this,
        [this, methodName, uid, proceed](bool authorized, const QString &reason) {
            if (authorized) {
                proceed();
                return;
            }
            qWarning() << "WriteDBusData::whenAuthorized"
                       << qPrintable(
                              QStringLiteral("refusing %1 to uid %2:").arg(methodName).arg(uid))
                       << reason;
            replyError(QDBusError::errorString(QDBusError::AccessDenied),
                QStringLiteral("%1 needs an administrator's authorization: %2")
                    .arg(methodName, reason));
            end();
        });
}

void WriteDBusData::StartApp() { }

void WriteDBusData::ExitApp()
{
    uint uid = 0;
    if (!callerUid(&uid)) {
        sendErrorReply(QDBusError::AccessDenied, QStringLiteral("the caller's uid is unknown"));
        return;
    }
    // Ending in the middle of an upgrade would kill apt and dpkg half-way.
    if (m_operation == Operation::Backup || m_operation == Operation::PostHooks) {
        begin(Operation::None, "ExitApp"); // answers with the busy error
        return;
    }
    if (uid == 0) {
        QCoreApplication::quit();
        return;
    }
    setDelayedReply(true);
    const QDBusMessage call = message();
    m_authority.check(call.service(), PolkitAuthority::UpgradeAction, this,
        [this, call, uid](bool authorized, const QString &reason) {
            if (!authorized) {
                qWarning() << "void WriteDBusData::ExitApp()"
                           << "refusing ExitApp to uid" << uid << ":" << reason;
                m_bus.send(call.createErrorReply(QDBusError::AccessDenied,
                    QStringLiteral("ExitApp needs an administrator's authorization: ") + reason));
                return;
            }
            m_bus.send(call.createReply());
            QCoreApplication::quit();
        });
}

void WriteDBusData::StartOfflineFileCheck(const QString &homepath, const QString &filepath)
{
    uint uid = 0;
    if (!callerUid(&uid)) {
        sendErrorReply(QDBusError::AccessDenied, QStringLiteral("the caller's uid is unknown"));
        return;
    }
    if (!begin(Operation::Check, "StartOfflineFileCheck"))
        return;
    // The check runs the package's scripts as root.
    whenAuthorized(PolkitAuthority::CheckAction, "StartOfflineFileCheck", uid,
        [this, uid, homepath, filepath] {
            CallerIdentity caller;
            QString error;
            if (uid != 0 && !CallerIdentity::lookUp(uid, &caller, &error)) {
                // A caller the daemon cannot name may not have any file opened for it.
                qWarning()
                    << "void WriteDBusData::StartOfflineFileCheck(const QString&, const QString&)"
                    << error;
                acceptOfflineFileCheckResult(PackageFileItem, false);
                return;
            }
            if (uid == 0)
                caller = CallerIdentity::root();
            // This run replaces the mounts that this user's last upgrade ran from.
            if (m_upgradeSucceeded && m_succeededUid == uid)
                m_upgradeSucceeded = false;
            m_check->startOfflineFileCheck(caller, homepath, filepath);
        });
}

void WriteDBusData::acceptOfflineFileCheckResult(int itemType, bool result)
{
    emit NotifyOfflineFileCheckResult(itemType, result);
    // The reply follows the result, so a caller that waits for the reply has the result too.
    if (m_operation == Operation::Check) {
        reply();
        end();
    }
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

QString WriteDBusData::GetCheckFailureReason(QString &detail)
{
    detail.clear();
    uint uid = 0;
    const OfflineCheck::Record &record = m_check->lastCheck();
    // Why a check failed can name files of the user who ran it: nobody else learns it.
    if (!callerUid(&uid) || !record.valid || record.passed || record.uid != uid)
        return Reason::None;
    detail = record.reasonDetail;
    return record.reasonKey;
}

int WriteDBusData::GetPackageSignature(QString &signer)
{
    signer.clear();
    uint uid = 0;
    const OfflineCheck::Record &record = m_check->lastCheck();
    if (!callerUid(&uid) || !record.valid || record.uid != uid)
        return SignatureUnknown;
    signer = record.signer;
    return record.signatureState;
}

bool WriteDBusData::IsAllowBackupSystem()
{
    if (!calledFromDBus())
        return false;
    setDelayedReply(true);
    const QDBusMessage call = message();
    const QDBusMessage question = QDBusMessage::createMethodCall(
        BackupService, BackupPath, BackupService, QStringLiteral("CanBackup"));
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(question), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, call, watcher] {
        watcher->deleteLater();
        const QDBusMessage answer = watcher->reply();
        if (failed(answer))
            qWarning() << "bool WriteDBusData::IsAllowBackupSystem()" << answer.errorMessage();
        const QDBusReply<bool> allowed(answer);
        m_bus.send(call.createReply(!failed(answer) && allowed.isValid() && allowed.value()));
    });
    return false;
}

void WriteDBusData::BackupSystem()
{
    uint uid = 0;
    if (!callerUid(&uid)) {
        sendErrorReply(QDBusError::AccessDenied, QStringLiteral("the caller's uid is unknown"));
        return;
    }
    if (m_operation != Operation::None) {
        begin(Operation::Backup, "BackupSystem"); // answers with the busy error
        return;
    }
    // The upgrade installs what the last check prepared; only who ran that check, and saw it
    // pass, may install it, and only while nothing else has been checked since.
    const OfflineCheck::Record &record = m_check->lastCheck();
    if (!record.valid || !record.passed || record.uid != uid) {
        qWarning() << Q_FUNC_INFO << "refusing BackupSystem to uid" << uid
                   << ": the last check was not that user's, or did not pass";
        sendErrorReply(NoPassedCheckError,
            QStringLiteral("There is no passed check of yours to upgrade from; check "
                           "the package first."));
        return;
    }
    if (m_check->packageChanged()) {
        qWarning() << Q_FUNC_INFO << "refusing BackupSystem: the package changed after its check";
        sendErrorReply(NoPassedCheckError,
            QStringLiteral("The package was changed after its check; check it again."));
        return;
    }
    begin(Operation::Backup, "BackupSystem");
    const QString home = record.homePath;
    whenAuthorized(PolkitAuthority::UpgradeAction, "BackupSystem", uid, [this, uid, home] {
        m_upgradeUid = uid;
        m_upgradeHome = home;
        m_shutdownLock->take();
        emit NotifyExecDistUpgradeInfo(QStringLiteral("开始进行系统备份..."));
        emit NotifyOfflineUpgradeProgress(BackupStage, ProgressGoesOn);
        const QDBusMessage question = QDBusMessage::createMethodCall(
            BackupService, BackupPath, BackupService, QStringLiteral("CanBackup"));
        auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(question), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
            watcher->deleteLater();
            const QDBusMessage answer = watcher->reply();
            const QDBusReply<bool> allowed(answer);
            if (failed(answer))
                qWarning() << "void WriteDBusData::BackupSystem()" << answer.errorMessage();
            if (failed(answer) || !allowed.isValid() || !allowed.value()) {
                // No backup possible: the upgrade runs at once, and the reply follows its end.
                m_check->startSystemUpgrade(BackupStage);
                return;
            }
            startBackup();
        });
    });
}

void WriteDBusData::startBackup()
{
    m_awaitingBackupStart = true;
    m_earlyJobEnds.clear();
    const QDBusMessage request = QDBusMessage::createMethodCall(
        BackupService, BackupPath, BackupService, QStringLiteral("StartBackup"));
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(request), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
        watcher->deleteLater();
        m_awaitingBackupStart = false;
        const QDBusMessage answer = watcher->reply();
        if (failed(answer)) {
            qWarning() << "void WriteDBusData::BackupSystem()" << answer.errorMessage();
            emit NotifyOfflineUpgradeProgress(BackupStage, BackupFailed);
            reply();
            end();
            return;
        }
        m_backupOwner = answer.service();
        m_backupWatcher = new QDBusServiceWatcher(
            m_backupOwner, m_bus, QDBusServiceWatcher::WatchForUnregistration, this);
        connect(m_backupWatcher, &QDBusServiceWatcher::serviceUnregistered, this, [this] {
            qWarning() << "the recovery service" << m_backupOwner
                       << "left the bus before the backup ended; no upgrade is made";
            backupEnded(false, QString());
        });
        reply();
        // A job end that came before the answer to the request counts if the same service sent it.
        const QList<EarlyJobEnd> early = m_earlyJobEnds;
        m_earlyJobEnds.clear();
        for (const EarlyJobEnd &jobEnd : early) {
            if (jobEnd.sender == m_backupOwner) {
                backupEnded(jobEnd.success, jobEnd.errMsg);
                return;
            }
        }
        // Gone before it could be watched, its job end can never come. Asked without waiting, so
        // that a job end it sent before leaving is handled first.
        const QString owner = m_backupOwner;
        auto *probe = new QDBusPendingCallWatcher(
            m_bus.interface()->asyncCall(QStringLiteral("NameHasOwner"), owner), this);
        connect(probe, &QDBusPendingCallWatcher::finished, this, [this, probe, owner] {
            probe->deleteLater();
            const QDBusPendingReply<bool> present = *probe;
            if (m_backupOwner != owner || !present.isValid() || present.value())
                return;
            qWarning() << "the recovery service" << owner
                       << "left the bus before the backup ended; no upgrade is made";
            backupEnded(false, QString());
        });
    });
}

void WriteDBusData::acceptBackupSystemProgress(
    const QString &kind, bool success, const QString &errMsg)
{
    if (kind != QLatin1String("backup"))
        return;
    const QString sender = calledFromDBus() ? message().service() : m_backupOwner;
    if (m_awaitingBackupStart) {
        m_earlyJobEnds.append({ sender, success, errMsg });
        return;
    }
    if (m_backupOwner.isEmpty() || sender != m_backupOwner) {
        qWarning() << Q_FUNC_INFO
                   << "ignoring the end of a backup this daemon did not ask for:" << sender
                   << success << errMsg;
        return;
    }
    backupEnded(success, errMsg);
}

void WriteDBusData::backupEnded(bool success, const QString &errMsg)
{
    m_backupOwner.clear();
    // This may run inside the watcher's own signal.
    if (m_backupWatcher)
        m_backupWatcher->deleteLater();
    m_backupWatcher = nullptr;
    if (!success) {
        emit NotifyOfflineUpgradeProgress(BackupFailedStage, BackupFailed);
        if (!errMsg.isEmpty())
            qWarning() << errMsg;
        end();
        return;
    }
    emit NotifyExecDistUpgradeInfo(QStringLiteral("系统备份完成"));
    emit NotifyOfflineUpgradeProgress(BackupEndStage, ProgressGoesOn);
    emit NotifyExecDistUpgradeInfo(QStringLiteral("开始进行系统升级..."));
    m_check->startSystemUpgrade(BackupEndStage);
}

void WriteDBusData::upgradeEnded(bool success)
{
    if (success) {
        m_upgradeSucceeded = true;
        m_succeededUid = m_upgradeUid;
        m_succeededHome = m_upgradeHome;
        m_succeededAt.start();
        emit NotifyOfflineUpgradeProgress(DoneStage, ProgressGoesOn);
    } else {
        emit NotifyOfflineUpgradeProgress(UpgradeFailedStage, UpgradeFailed);
    }
    reply();
    end();
}

void WriteDBusData::StartExecHookPost(const QString &homepath)
{
    uint uid = 0;
    if (!callerUid(&uid)) {
        sendErrorReply(QDBusError::AccessDenied, QStringLiteral("the caller's uid is unknown"));
        return;
    }
    if (!begin(Operation::PostHooks, "StartExecHookPost"))
        return;
    const auto run = [this, homepath] {
        if (!m_upgradeSucceeded) {
            qWarning() << "void WriteDBusData::StartExecHookPost(const QString&)"
                       << "no upgrade has succeeded whose scripts could run";
            reply();
            end();
            return;
        }
        // The scripts come from the package as it is now.
        if (m_check->packageChanged()) {
            qWarning() << "void WriteDBusData::StartExecHookPost(const QString&)"
                       << "the package changed after its check; its scripts do not run";
            replyError(QDBusError::errorString(QDBusError::Failed),
                QStringLiteral("The package was changed after its check; its post-upgrade "
                               "scripts were not run."));
            end();
            return;
        }
        m_shutdownLock->take();
        if (homepath != m_succeededHome)
            qWarning() << "void WriteDBusData::StartExecHookPost(const QString&)"
                       << "running the scripts for" << m_succeededHome
                       << "whose upgrade ended, not for" << homepath;
        m_check->startHookPost(m_succeededUid, m_succeededHome);
    };
    // The user whose upgrade just succeeded was asked for it already.
    if (m_upgradeSucceeded && uid == m_succeededUid && m_succeededAt.elapsed() < PostHookGraceMs)
        run();
    else
        whenAuthorized(PolkitAuthority::UpgradeAction, "StartExecHookPost", uid, run);
}

void WriteDBusData::acceptExecDistUpgradeInfo(const QString &info)
{
    emit NotifyExecDistUpgradeInfo(info);
}
