#include "writedbusdata.h"

#include "authorizationquestions.h"
#include "calleridentity.h"
#include "checkrun.h"
#include "daemonadaptor.h"
#include "installedpackages.h"
#include "offlinecheck.h"
#include "offlineupdateprotocol.h"
#include "recoveryservice.h"
#include "shutdowninhibitor.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QDebug>

using namespace OfflineUpdate;

namespace {

const QString CallerUnknown = QStringLiteral("the caller's uid is unknown");

} // namespace

const QString WriteDBusData::ServiceName = DaemonService;
const QString WriteDBusData::ObjectPath = DaemonPath;

WriteDBusData::WriteDBusData(const QDBusConnection &bus, QObject *parent)
    : QObject(parent)
    , m_bus(bus)
{
    registerUpgradePlanTypes();
    // The adaptor relays this object's Qt signals to everyone on the bus; they are never
    // emitted, the targeted ones are sent instead (notify()).
    m_adaptor = new DaemonAdaptor(this);
    m_registered = m_bus.registerService(ServiceName)
        && m_bus.registerObject(ObjectPath, this, QDBusConnection::ExportAdaptors);
    if (!m_registered)
        return;

    m_shutdownLock = new ShutdownInhibitor(m_bus, this);
    m_questions = new AuthorizationQuestions(m_bus, this);
    m_check = new OfflineCheck;
    m_check->records().dropOrphanedCopy();
    connect(m_check, &OfflineCheck::sendOfflineFileCheckResult, this,
        &WriteDBusData::acceptOfflineFileCheckResult);
    connect(m_check, &OfflineCheck::sendExecDistUpgradeInfo, this,
        &WriteDBusData::acceptExecDistUpgradeInfo);
    connect(m_check, &OfflineCheck::sendUpgradeProgress, this,
        [this](int percent) { notifyProgress(percent, ProgressGoesOn); });
    connect(m_check, &OfflineCheck::upgradeFinished, this, &WriteDBusData::upgradeEnded);
    connect(m_check, &OfflineCheck::upgradeStage, this, &WriteDBusData::notifyStage);
    connect(m_check, &OfflineCheck::hookPostFinished, this, [this](const QString &refusal) {
        if (refusal.isEmpty())
            reply();
        else
            replyError(QDBusError::errorString(QDBusError::Failed),
                QStringLiteral("The post-upgrade scripts were not run: ") + refusal);
        end();
    });
    m_check->setUnsignedApproval([this](const CheckRun &run, std::function<void(bool)> answer) {
        askUnsigned(run, answer);
    });

    m_recovery = new RecoveryService(m_bus, this);
    connect(m_recovery, &RecoveryService::backupRefused, this, [this](const QString &why) {
        if (m_upgrading) {
            m_upgrading->setBackupFailed();
            m_check->records().endJournal(m_upgrading, QStringLiteral("failed"), UpgradeReason::BackupFailed, why);
        }
        notifyProgress(BackupStage, BackupFailed);
        reply();
        end();
    });
    // BackupSystem is answered once the backup is under way; the upgrade's end comes as signals.
    connect(m_recovery, &RecoveryService::backupStarted, this, [this] { reply(); });
    connect(m_recovery, &RecoveryService::backupEnded, this, &WriteDBusData::backupEnded);
    m_bus.connect(RecoveryService::Name, RecoveryService::Path, RecoveryService::Name,
        QStringLiteral("JobEnd"), this, SLOT(acceptBackupSystemProgress(QString, bool, QString)));

    m_refusalFlush.setInterval(60000);
    connect(&m_refusalFlush, &QTimer::timeout, this, [this] { m_refusals.flush(); });
    m_refusalFlush.start();
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
        if (m_refusals.allow(QStringLiteral("unknown caller")))
            qWarning() << Q_FUNC_INFO << "cannot tell who" << message().service()
                       << "is:" << reply.error().message();
        return false;
    }
    *uid = reply.value();
    return true;
}

void WriteDBusData::refuse(const QDBusMessage &call, const QString &name, const QString &text,
    const QString &logKey)
{
    if (m_refusals.allow(logKey))
        qWarning() << "WriteDBusData" << qPrintable(logKey) << ":" << text;
    if (call.type() == QDBusMessage::MethodCallMessage)
        m_bus.send(call.createErrorReply(name, text));
}

void WriteDBusData::authorize(const QDBusMessage &call, uint uid, const QString &action,
    const std::function<void()> &proceed)
{
    if (uid == 0) {
        proceed();
        return;
    }
    const QString method = call.member();
    const bool asked = m_questions->ask(uid, call.service(), action,
        [this, call, uid, method, proceed](bool authorized, const QString &reason) {
            if (!authorized) {
                refuse(call, QDBusError::errorString(QDBusError::AccessDenied),
                    QStringLiteral("%1 needs an administrator's authorization: %2")
                        .arg(method, reason),
                    QStringLiteral("refusing %1 to uid %2").arg(method).arg(uid));
                return;
            }
            proceed();
        });
    if (!asked)
        refuse(call, BusyError,
            QStringLiteral("%1 has to wait: an authorization you were asked for is still open.")
                .arg(method),
            QStringLiteral("refusing %1 to uid %2 (an authorization is open)").arg(method).arg(uid));
}

void WriteDBusData::askUnsigned(const CheckRun &run, const std::function<void(bool)> &answer)
{
    // The check gives the daemon back while its user is asked, and takes it again for the
    // answer: a prompt left open keeps nobody else waiting.
    const QDBusMessage call = m_pending;
    const QString listener = m_listener;
    const uint uid = run.uid();
    m_operation = Operation::None;
    m_pending = QDBusMessage();
    m_listener.clear();
    const auto resume = [this, call, listener, uid, answer](bool authorized, const QString &reason) {
        if (!authorized)
            qWarning() << "WriteDBusData" << "an unsigned package was not approved for uid" << uid
                       << ":" << reason;
        if (m_operation != Operation::None) {
            // Taken meanwhile: this check cannot go on now, and says so to its caller alone.
            m_check->abandonPausedCheck(QStringLiteral(
                "the daemon was busy with another operation when the authorization came; "
                "check the package again"));
            notifyTo(listener, QStringLiteral("NotifyOfflineFileCheckResult"),
                { int(PackageLayoutItem), false });
            if (call.type() == QDBusMessage::MethodCallMessage)
                m_bus.send(call.createErrorReply(BusyError,
                    QStringLiteral("StartOfflineFileCheck had to give up: the daemon was busy "
                                   "when the authorization came.")));
            return;
        }
        m_operation = Operation::Check;
        m_pending = call;
        m_listener = listener;
        answer(authorized);
    };
    // This user's first question has been answered, so none is open.
    if (!m_questions->ask(uid, run.busName(), PolkitAuthority::CheckUnsignedAction, resume))
        resume(false, QStringLiteral("another question of this user is open"));
}

bool WriteDBusData::begin(Operation operation, const QDBusMessage &call)
{
    if (m_operation != Operation::None) {
        refuse(call, BusyError,
            QStringLiteral("%1 has to wait: the daemon is still busy with a check, "
                           "an upgrade or the post-upgrade scripts.")
                .arg(call.member()),
            QStringLiteral("refusing %1 (busy)").arg(call.member()));
        return false;
    }
    m_operation = operation;
    m_pending = call;
    m_listener = call.service();
    return true;
}

void WriteDBusData::end()
{
    m_shutdownLock->release();
    m_operation = Operation::None;
    m_pending = QDBusMessage();
    m_upgrading = nullptr;
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

void WriteDBusData::notify(const QString &name, const QVariantList &arguments)
{
    notifyTo(m_listener, name, arguments);
}

void WriteDBusData::notifyTo(
    const QString &destination, const QString &name, const QVariantList &arguments)
{
    // Unicast: a run's progress and output are its caller's business alone. In-process callers
    // (no bus name) hear nothing; there is nobody to send to.
    if (destination.isEmpty())
        return;
    QDBusMessage signal
        = QDBusMessage::createTargetedSignal(destination, ObjectPath, DaemonInterface, name);
    signal.setArguments(arguments);
    m_bus.send(signal);
}

void WriteDBusData::notifyProgress(int progress, int code)
{
    notify(QStringLiteral("NotifyOfflineUpgradeProgress"), { progress, code });
}

const CheckRun *WriteDBusData::callerRun()
{
    uint uid = 0;
    return callerUid(&uid) ? m_check->run(uid) : nullptr;
}

void WriteDBusData::StartApp() { }

void WriteDBusData::ExitApp()
{
    uint uid = 0;
    if (!callerUid(&uid)) {
        sendErrorReply(QDBusError::AccessDenied, CallerUnknown);
        return;
    }
    const QDBusMessage call = calledFromDBus() ? message() : QDBusMessage();
    // Ending in the middle of an upgrade would kill apt and dpkg half-way.
    if (m_operation == Operation::Backup || m_operation == Operation::PostHooks) {
        refuse(call, BusyError,
            QStringLiteral("ExitApp has to wait: an upgrade or its scripts are running."),
            QStringLiteral("refusing ExitApp (busy)"));
        return;
    }
    if (calledFromDBus())
        setDelayedReply(true);
    authorize(call, uid, PolkitAuthority::UpgradeAction, [this, call] {
        if (call.type() == QDBusMessage::MethodCallMessage)
            m_bus.send(call.createReply());
        QCoreApplication::quit();
    });
}

void WriteDBusData::StartOfflineFileCheck(const QString &homepath, const QString &filepath)
{
    // The check runs the package's scripts as root.
    authorizeCall(PolkitAuthority::CheckAction,
        [this, homepath, filepath](const QDBusMessage &call, uint uid) {
            startCheck(call, uid, homepath, filepath);
        });
}

void WriteDBusData::startCheck(
    const QDBusMessage &call, uint uid, const QString &homepath, const QString &filepath)
{
    CallerIdentity caller = CallerIdentity::root();
    QString error;
    if (uid != 0 && !CallerIdentity::lookUp(uid, &caller, &error)) {
        // A caller the daemon cannot name may not have any file opened for it.
        refuse(call, QDBusError::errorString(QDBusError::AccessDenied), error,
            QStringLiteral("refusing StartOfflineFileCheck to uid %1 (unknown user)").arg(uid));
        return;
    }
    if (!begin(Operation::Check, call))
        return;
    m_check->startOfflineFileCheck(caller, call.service(), homepath, filepath);
}

void WriteDBusData::acceptOfflineFileCheckResult(int itemType, bool result)
{
    notify(QStringLiteral("NotifyOfflineFileCheckResult"), { itemType, result });
    // The reply follows the result, so a caller that waits for the reply has the result too.
    if (m_operation == Operation::Check) {
        reply();
        end();
    }
}

int WriteDBusData::GetUpgradeType()
{
    const CheckRun *run = callerRun();
    return run ? run->record().upgradeType : UnknownUpgrade;
}

QString WriteDBusData::GetPatchUpgradeSerial()
{
    const CheckRun *run = callerRun();
    return run ? run->record().patchSerial : QString();
}

int WriteDBusData::GetDistUpgradeSum()
{
    const CheckRun *run = callerRun();
    return run ? run->record().upgradeSum : 0;
}

QString WriteDBusData::GetCheckFailureReason(QString &detail)
{
    detail.clear();
    const CheckRun *run = callerRun();
    // Why a check failed can name files of the user who ran it: nobody else learns it.
    if (!run || !run->record().ended || run->record().passed)
        return Reason::None;
    detail = run->record().reasonDetail;
    return run->record().reasonKey;
}

int WriteDBusData::GetPackageSignature(QString &signer)
{
    signer.clear();
    const CheckRun *run = callerRun();
    if (!run || !run->record().ended)
        return SignatureUnknown;
    signer = run->record().signer;
    return run->record().signatureState;
}

QStringList WriteDBusData::GetHistory()
{
    uint uid = 0;
    if (!callerUid(&uid)) {
        sendErrorReply(QDBusError::AccessDenied, CallerUnknown);
        return {};
    }
    if (uid == 0 || !calledFromDBus())
        return m_check->records().history(true, uid);
    // An administrator the policy lets in without asking sees everyone's runs; nobody is asked
    // for a password just to read them.
    setDelayedReply(true);
    const QDBusMessage call = message();
    PolkitAuthority(m_bus).check(call.service(), PolkitAuthority::UpgradeAction, this,
        [this, call, uid](bool authorized, const QString &) {
            m_bus.send(call.createReply(QVariant(m_check->records().history(authorized, uid))));
        },
        QString(), false);
    return {};
}

bool WriteDBusData::GetDpkgState(QStringList &packages)
{
    if (!calledFromDBus())
        return false;
    setDelayedReply(true);
    const QDBusMessage call = message();
    InstalledPackages::readState(this, m_check->environment(), [this, call](bool known, bool interrupted, const QStringList &unfinished) {
        if (!known) {
            m_bus.send(call.createErrorReply(QDBusError::errorString(QDBusError::Failed),
                QStringLiteral("dpkg's state cannot be read")));
            return;
        }
        m_bus.send(call.createReply({ interrupted, unfinished }));
    });
    packages.clear();
    return false;
}

OfflineUpdate::UpgradePlan WriteDBusData::GetUpgradePlan()
{
    const CheckRun *run = callerRun();
    return run && run->record().passed ? run->record().plan : UpgradePlan();
}

QString WriteDBusData::GetUpgradeFailureReason(QString &detail)
{
    const CheckRun *run = callerRun();
    detail = run ? run->record().upgradeReasonDetail : QString();
    return run ? run->record().upgradeReasonKey : QString();
}

bool WriteDBusData::IsAllowBackupSystem()
{
    if (!calledFromDBus())
        return false;
    setDelayedReply(true);
    const QDBusMessage call = message();
    m_recovery->canBackup([this, call](bool possible) { m_bus.send(call.createReply(possible)); });
    return false;
}

void WriteDBusData::BackupSystem()
{
    authorizeCall(PolkitAuthority::UpgradeAction,
        [this](const QDBusMessage &call, uint uid) { startBackup(call, uid); });
}

CheckRun *WriteDBusData::upgradableRun(const QDBusMessage &call, uint uid, bool withoutBackup)
{
    // The upgrade installs what the last check prepared; only who ran that check, and saw it
    // pass, may install it, and only while nothing else has been checked since.
    CheckRun *run = m_check->latestRun();
    const QString method = call.type() == QDBusMessage::MethodCallMessage
        ? call.member()
        : QLatin1String(withoutBackup ? "UpgradeWithoutBackup" : "BackupSystem");
    if (!run || !run->record().ended || !run->record().passed || run->upgradeSucceeded()
        || run->uid() != uid || (withoutBackup && !run->backupFailed())) {
        refuse(call, NoPassedCheckError,
            withoutBackup ? QStringLiteral("There is no passed check of yours whose backup "
                                           "failed; check the package and upgrade first.")
                          : QStringLiteral("There is no passed check of yours to upgrade from; "
                                           "check the package first."),
            QStringLiteral("refusing %1 to uid %2 (no passed check)").arg(method).arg(uid));
        return nullptr;
    }
    const QString holder = m_check->packageManagerHolder();
    if (!holder.isEmpty()) {
        refuse(call, BusyError,
            QStringLiteral("Another package manager is running (%1); try again when it has "
                           "finished.")
                .arg(holder),
            QStringLiteral("refusing %1 (dpkg is locked)").arg(method));
        return nullptr;
    }
    return run;
}

void WriteDBusData::startBackup(const QDBusMessage &call, uint uid)
{
    CheckRun *run = upgradableRun(call, uid, false);
    if (!run)
        return;
    if (!begin(Operation::Backup, call))
        return;
    // No backup is worth making for an upgrade that would not follow its plan.
    m_check->confirmPlan(run, [this, run](bool holds) {
        if (!holds) {
            replyError(PlanChangedError, planChangedText());
            end();
            return;
        }
        backUpAndUpgrade(run);
    });
}

void WriteDBusData::backUpAndUpgrade(CheckRun *run)
{
    m_upgrading = run;
    m_shutdownLock->take();
    m_recovery->canBackup([this, run](bool possible) {
        // Nothing changes before the journal is kept: a run cut short from here on is
        // finished at the next boot.
        if (!beginJournal(run, possible ? UpgradeStage::Backup : UpgradeStage::Upgrade))
            return;
        if (!possible) {
            // No backup is made, and none is announced: the upgrade runs at once, and the reply
            // follows its end.
            notify(QStringLiteral("NotifyExecDistUpgradeInfo"), { QStringLiteral("开始进行系统升级...") });
            notifyProgress(BackupStage, ProgressGoesOn);
            m_check->startSystemUpgrade(m_upgrading, BackupStage);
            return;
        }
        notify(QStringLiteral("NotifyExecDistUpgradeInfo"), { QStringLiteral("开始进行系统备份...") });
        notifyProgress(BackupStage, ProgressGoesOn);
        notifyStage(UpgradeStage::Backup, 0, 0, QString());
        m_recovery->startBackup();
    });
}

bool WriteDBusData::beginJournal(CheckRun *run, const QString &stage)
{
    QString error;
    if (m_check->records().beginJournal(run, stage, &error))
        return true;
    qWarning() << "WriteDBusData: cannot keep the upgrade's journal:" << error;
    replyError(QDBusError::errorString(QDBusError::Failed),
        QStringLiteral("The upgrade cannot be recorded, so nothing was changed: ") + error);
    end();
    return false;
}

void WriteDBusData::notifyStage(const QString &stage, int done, int total, const QString &package)
{
    notify(QStringLiteral("NotifyUpgradeStage"), { stage, done, total, package });
}

void WriteDBusData::UpgradeWithoutBackup()
{
    authorizeCall(PolkitAuthority::UpgradeAction,
        [this](const QDBusMessage &call, uint uid) { startWithoutBackup(call, uid); });
}

void WriteDBusData::authorizeCall(
    const QString &action, const std::function<void(const QDBusMessage &, uint)> &proceed)
{
    uint uid = 0;
    if (!callerUid(&uid)) {
        sendErrorReply(QDBusError::AccessDenied, CallerUnknown);
        return;
    }
    const QDBusMessage call = calledFromDBus() ? message() : QDBusMessage();
    if (calledFromDBus())
        setDelayedReply(true);
    authorize(call, uid, action, [call, uid, proceed] { proceed(call, uid); });
}

void WriteDBusData::startWithoutBackup(const QDBusMessage &call, uint uid)
{
    CheckRun *run = upgradableRun(call, uid, true);
    if (!run || !begin(Operation::Backup, call))
        return;
    m_upgrading = run;
    m_shutdownLock->take();
    if (!beginJournal(run, UpgradeStage::Upgrade))
        return;
    notify(QStringLiteral("NotifyExecDistUpgradeInfo"), { QStringLiteral("开始进行系统升级...") });
    notifyProgress(BackupStage, ProgressGoesOn);
    // The reply follows the upgrade's end.
    m_check->startSystemUpgrade(run, BackupStage);
}

void WriteDBusData::acceptBackupSystemProgress(
    const QString &kind, bool success, const QString &errMsg)
{
    const QString sender = calledFromDBus() ? message().service() : QString();
    m_recovery->acceptJobEnd(sender, kind, success, errMsg);
}

void WriteDBusData::backupEnded(bool success, const QString &errMsg)
{
    if (!success) {
        if (m_upgrading) {
            m_upgrading->setBackupFailed();
            m_check->records().endJournal(m_upgrading, QStringLiteral("failed"), UpgradeReason::BackupFailed, errMsg);
        }
        // The service's own words are the caller's best clue to what went wrong.
        if (!errMsg.isEmpty()) {
            qWarning() << errMsg;
            notify(QStringLiteral("NotifyExecDistUpgradeInfo"), { errMsg });
        }
        notifyProgress(BackupFailedStage, BackupFailed);
        end();
        return;
    }
    notify(QStringLiteral("NotifyExecDistUpgradeInfo"), { QStringLiteral("系统备份完成") });
    notifyProgress(BackupEndStage, ProgressGoesOn);
    notify(QStringLiteral("NotifyExecDistUpgradeInfo"), { QStringLiteral("开始进行系统升级...") });
    m_check->startSystemUpgrade(m_upgrading, BackupEndStage);
}

void WriteDBusData::upgradeEnded(bool success)
{
    if (success)
        notifyProgress(DoneStage, ProgressGoesOn);
    else
        notifyProgress(UpgradeFailedStage, UpgradeFailed);
    if (!success && m_upgrading && m_upgrading->record().upgradeReasonKey == UpgradeReason::PlanChanged)
        replyError(PlanChangedError, planChangedText());
    else
        reply();
    end();
}

QString WriteDBusData::planChangedText()
{
    return QStringLiteral("The system changed since the package was checked, so that the upgrade "
                          "would no longer do what the check foresaw. Nothing was installed; "
                          "check the package again.");
}

void WriteDBusData::StartExecHookPost(const QString &homepath)
{
    // The scripts get the home verified at the check, whatever path this call names.
    Q_UNUSED(homepath)
    uint uid = 0;
    if (!callerUid(&uid)) {
        sendErrorReply(QDBusError::AccessDenied, CallerUnknown);
        return;
    }
    const QDBusMessage call = calledFromDBus() ? message() : QDBusMessage();
    if (calledFromDBus())
        setDelayedReply(true);
    CheckRun *run = m_check->run(uid);
    // Once per successful upgrade, for the user whose upgrade it was (or root): the scripts are
    // part of what that upgrade was authorized for, so they are not asked about again.
    if (!run || !run->upgradeSucceeded()) {
        refuse(call, NoPassedCheckError,
            QStringLiteral("No upgrade of yours has succeeded whose post-upgrade scripts are "
                           "still to run."),
            QStringLiteral("refusing StartExecHookPost to uid %1 (nothing to run)").arg(uid));
        return;
    }
    if (!begin(Operation::PostHooks, call))
        return;
    m_shutdownLock->take();
    notifyStage(UpgradeStage::PostHooks, 0, 0, QString());
    m_check->startHookPost(run);
}

void WriteDBusData::acceptExecDistUpgradeInfo(const QString &info)
{
    notify(QStringLiteral("NotifyExecDistUpgradeInfo"), { info });
}
