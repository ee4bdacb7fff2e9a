#pragma once

#include "polkitauthority.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QObject>
#include <functional>
#include <sys/types.h>

class DaemonAdaptor;
class DBusInvokerInterface;
class OfflineCheck;
class QDBusServiceWatcher;
class ShutdownInhibitor;

// The daemon's service object: owns the bus name and object, and acts for its callers through
// the one check engine. Nothing here waits: a long operation (a check, the backup and upgrade,
// the post-upgrade scripts, an authorization prompt) runs on the event loop, and its caller's
// reply is sent when the operation has reached the point its reply promises. One long operation
// runs at a time; the getters are answered at any time.
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

    void acceptOfflineFileCheckResult(int itemType, bool result);
    void acceptExecDistUpgradeInfo(const QString &info);
    void acceptBackupSystemProgress(const QString &kind, bool success, const QString &errMsg);

signals:
    void NotifyOfflineFileCheckResult(int itemType, bool result);
    void NotifyExecDistUpgradeInfo(const QString &info);
    void NotifyOfflineUpgradeProgress(int progress, int code);

private:
    enum class Operation { None, Check, Backup, PostHooks };

    // The uid of the current call's sender (0 for an in-process call).
    bool callerUid(uint *uid);
    // Takes the current call as the one long operation, or answers it with the busy error.
    bool begin(Operation operation, const char *method);
    void end();
    void reply(const QList<QVariant> &arguments = {});
    void replyError(const QString &name, const QString &text);
    // Runs |proceed| once |uid| may perform |action|; root may always. A refusal answers the
    // pending call with AccessDenied and ends the operation.
    void whenAuthorized(
        const QString &action, const char *method, uint uid, const std::function<void()> &proceed);
    void startBackup();
    void backupEnded(bool success, const QString &errMsg);
    void upgradeEnded(bool success);

    DaemonAdaptor *m_adaptor = nullptr;
    DBusInvokerInterface *m_backupService = nullptr;
    OfflineCheck *m_check = nullptr;
    // Held from the backup to the end of the upgrade, and while the post-upgrade scripts run.
    ShutdownInhibitor *m_shutdownLock = nullptr;
    QDBusConnection m_bus;
    PolkitAuthority m_authority;
    bool m_registered = false;

    Operation m_operation = Operation::None;
    // The call whose reply waits for the operation; not a call when its reply was sent.
    QDBusMessage m_pending;

    // The recovery service that accepted this daemon's backup request, while that backup runs:
    // only its end starts the upgrade, not the end of a backup that someone else started, nor
    // one from a service that has restarted since. A service that leaves the bus ends it.
    QString m_backupOwner;
    QDBusServiceWatcher *m_backupWatcher = nullptr;
    bool m_awaitingBackupStart = false;
    struct EarlyJobEnd
    {
        QString sender;
        bool success = false;
        QString errMsg;
    };
    QList<EarlyJobEnd> m_earlyJobEnds;

    // Who runs the upgrade, and the last one that succeeded: its user may run the post-upgrade
    // scripts without being asked again for a while.
    uint m_upgradeUid = 0;
    QString m_upgradeHome;
    bool m_upgradeSucceeded = false;
    uint m_succeededUid = 0;
    QString m_succeededHome;
    QElapsedTimer m_succeededAt;
};
