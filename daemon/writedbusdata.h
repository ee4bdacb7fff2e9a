#pragma once

#include "polkitauthority.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>

class DaemonAdaptor;
class DBusInvokerInterface;
class OfflineCheck;
struct CallerIdentity;

// The daemon's service object: owns the bus name and object, and acts for its callers through
// the one check engine. Every method runs to its end before its reply; long ones report
// through the signals as they go.
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
    // True when the caller may go on with |method|: root always, anyone else as the system's
    // authority decides for |action|. A refused call is answered with AccessDenied here.
    bool authorize(const QString &action, const char *method);
    bool identifyCaller(CallerIdentity *caller);
    void runUpgrade();

    DaemonAdaptor *m_adaptor = nullptr;
    DBusInvokerInterface *m_backupService = nullptr;
    OfflineCheck *m_check = nullptr;
    QDBusConnection m_bus;
    PolkitAuthority m_authority;
    bool m_registered = false;
    // The bus name of the recovery service that accepted this daemon's backup request, while
    // that backup runs: only its end starts the upgrade, not the end of a backup that someone
    // else started, nor one from a service that has restarted since.
    QString m_backupOwner;
};
