#pragma once

#include "logthrottle.h"
#include "upgradeplan.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QObject>
#include <QTimer>
#include <functional>
#include <sys/types.h>

class AuthorizationQuestions;
class CheckRun;
class DaemonAdaptor;
class OfflineCheck;
class RecoveryService;
class ShutdownInhibitor;

// The daemon's service object, the bus front: who is calling, authorize, one long operation at
// a time, reply. The work itself is the check engine's. Nothing here waits: a long operation
// (a check, the backup and upgrade, the post-upgrade scripts) runs on the event loop, and its
// caller's reply is sent when the operation has reached the point its reply promises. A caller
// is authorized before it takes the operation, so one whose password prompt stays open keeps
// nobody else waiting. Only the caller hears of its own run: the getters answer the user whose
// check it was (and root), the signals go to the caller's connection alone.
class WriteDBusData : public QObject, protected QDBusContext
{
    Q_OBJECT

public:
    static const QString ServiceName;
    static const QString ObjectPath;

    explicit WriteDBusData(const QDBusConnection &bus, QObject *parent = nullptr);
    ~WriteDBusData() override;

    // False when the name or the object could not be registered: another daemon serves the
    // bus, or this one may not.
    bool isRegistered() const { return m_registered; }

public slots:
    void StartApp();
    void ExitApp();
    void StartOfflineFileCheck(const QString &homepath, const QString &filepath);
    int GetUpgradeType();
    QString GetPatchUpgradeSerial();
    int GetDistUpgradeSum();
    bool IsAllowBackupSystem();
    void BackupSystem();
    void StartExecHookPost(const QString &homepath);
    QString GetCheckFailureReason(QString &detail);
    int GetPackageSignature(QString &signer);
    void UpgradeWithoutBackup();
    OfflineUpdate::UpgradePlan GetUpgradePlan();
    QString GetUpgradeFailureReason(QString &detail);
    QStringList GetHistory();
    bool GetDpkgState(QStringList &packages);

    void acceptOfflineFileCheckResult(int itemType, bool result);
    void acceptExecDistUpgradeInfo(const QString &info);
    void acceptBackupSystemProgress(const QString &kind, bool success, const QString &errMsg);

signals:
    // Declared for the adaptor; sent only as targeted signals, to the caller of the operation.
    void NotifyOfflineFileCheckResult(int itemType, bool result);
    void NotifyExecDistUpgradeInfo(const QString &info);
    void NotifyOfflineUpgradeProgress(int progress, int code);

private:
    enum class Operation { None, Check, Backup, PostHooks };

    // The uid of the current call's sender (0 for an in-process call).
    bool callerUid(uint *uid);
    // Runs |proceed| once the sender of |call| (of |uid|) may perform |action|; root may always.
    // A refusal answers |call| with AccessDenied. One question per uid is open at a time; a
    // second is refused as busy. A caller that leaves the bus has its question withdrawn.
    void authorize(const QDBusMessage &call, uint uid, const QString &action,
        const std::function<void()> &proceed);
    // Authorizes the current call for |action| as authorize() does; the call's reply waits for
    // |proceed|, which gets the call and its caller's uid.
    void authorizeCall(
        const QString &action, const std::function<void(const QDBusMessage &, uint)> &proceed);
    // The check of an unsigned package asks its user again, without holding the daemon.
    void askUnsigned(const CheckRun &run, const std::function<void(bool)> &answer);
    // Takes the one long operation for |call|, or answers it with the busy error.
    bool begin(Operation operation, const QDBusMessage &call);
    void end();
    void reply(const QList<QVariant> &arguments = {});
    void replyError(const QString &name, const QString &text);
    void refuse(const QDBusMessage &call, const QString &name, const QString &text,
        const QString &logKey);
    // The signal |name| with |arguments|, to the caller of the current operation only.
    void notify(const QString &name, const QVariantList &arguments);
    void notifyTo(const QString &destination, const QString &name, const QVariantList &arguments);
    void notifyProgress(int progress, int code);
    void notifyStage(const QString &stage, int done, int total, const QString &package);
    // The run the current caller may ask about: its own; root's question is about the newest.
    const CheckRun *callerRun();
    void startCheck(const QDBusMessage &call, uint uid, const QString &homepath,
        const QString &filepath);
    // The run |uid| may upgrade from now (|withoutBackup|: after its backup failed), or null
    // when |call| was answered with why not.
    CheckRun *upgradableRun(const QDBusMessage &call, uint uid, bool withoutBackup);
    void startBackup(const QDBusMessage &call, uint uid);
    void backUpAndUpgrade(CheckRun *run);
    // Writes |run|'s journal before anything changes; when it cannot, the call is answered
    // with why and the operation ends.
    bool beginJournal(CheckRun *run, const QString &stage);
    static QString planChangedText();
    void startWithoutBackup(const QDBusMessage &call, uint uid);
    void backupEnded(bool success, const QString &errMsg);
    void upgradeEnded(bool success);

    DaemonAdaptor *m_adaptor = nullptr;
    RecoveryService *m_recovery = nullptr;
    OfflineCheck *m_check = nullptr;
    // Held from the backup to the end of the upgrade, and while the post-upgrade scripts run.
    ShutdownInhibitor *m_shutdownLock = nullptr;
    QDBusConnection m_bus;
    AuthorizationQuestions *m_questions = nullptr;
    bool m_registered = false;

    Operation m_operation = Operation::None;
    // The call whose reply waits for the operation; not a call when its reply was sent.
    QDBusMessage m_pending;
    // Who hears of the operation: the unique bus name of its caller.
    QString m_listener;
    CheckRun *m_upgrading = nullptr;

    // Refused calls cost a line a minute each, not a line each.
    LogThrottle m_refusals;
    QTimer m_refusalFlush;
};
