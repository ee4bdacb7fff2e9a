#pragma once

#include "checkdetails.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class ComTevrinOfflineUpdateDaemonInterface;
class QDBusMessage;
class QDBusPendingCall;
class QDBusServiceWatcher;

// The tool's one client of the update daemon (on |systemBus|, through the interface's generated
// proxy) and of the desktop's window manager and session manager (on |sessionBus|). It keeps no
// state about a check or an upgrade: pages ask the daemon through it whenever they need a value.
// Nothing here waits for the bus: every question is answered through a callback that runs only
// while its |context| object lives.
class OfflineUpdateModel : public QObject
{
    Q_OBJECT

public:
    // Contacts nobody but the buses: the daemon need not run until the first request.
    OfflineUpdateModel(const QDBusConnection &systemBus, const QDBusConnection &sessionBus,
        QObject *parent = nullptr);
    ~OfflineUpdateModel() override;

    void setCheckFilePath(const QString &path);
    // Returns at once; the outcome arrives as notifyOfflineCheckResult, or as
    // notifyOfflineCheckFailed when the request cannot reach the daemon.
    void startOfflineFileChecking(const QString &path);
    // Everything the result page shows besides the report itself; the failure reason is asked
    // only when |checkFailed|, the upgrade plan only when not.
    void requestCheckDetails(
        bool checkFailed, QObject *context, std::function<void(const CheckDetails &)> done);
    // Why the last upgrade failed, as the daemon's key (one of OfflineUpdate::UpgradeReason) and
    // detail; both empty when the daemon cannot say.
    void requestUpgradeFailureReason(
        QObject *context, std::function<void(const QString &key, const QString &detail)> done);
    // The daemon's history, one JSON object per entry, oldest first: the caller's own entries
    // (an administrator's may include others'); empty when the daemon cannot say.
    void requestHistory(QObject *context, std::function<void(const QStringList &)> done);
    // Whether the system can be backed up; false when the daemon cannot say.
    void requestBackupStatus(QObject *context, std::function<void(bool)> done);
    // Returns at once; progress arrives as notifyOfflineUpgradeProgress, notifyUpgradeStage and
    // notifyExecDistUpgradeInfo, or notifyOfflineUpgradeFailed when the request cannot reach
    // the daemon.
    void startOfflineUpgrade();
    // After a failed backup, the user chose to upgrade without one.
    void startUpgradeWithoutBackup();
    // The local path of the current wallpaper, or an empty string when unknown.
    void requestDesktopImage(QObject *context, std::function<void(const QString &)> done);
    // Runs the package's post-upgrade hooks, for as long as they take; emits
    // notifyPostUpgradeHooksDone when the daemon has answered (or failed to).
    void runPostUpgradeHooks();
    // Asks the session manager to restart the computer; notifyRebootFailed when it cannot.
    void requestReboot();

signals:
    void notifyCheckFilePath(const QString &filepath);
    void notifyOfflineCheckResult(int itemType, bool result);
    void notifyOfflineUpgradeProgress(int progress, int code);
    void notifyUpgradeStage(const QString &stage, int done, int total, const QString &package);
    void notifyExecDistUpgradeInfo(const QString &info);
    // The check request was answered at once with an error, so no check report will come.
    // |reason| says it in the user's words, |details| in the bus's or the daemon's.
    void notifyOfflineCheckFailed(const QString &reason, const QString &details);
    // The same for the upgrade request: no backup and no upgrade will run.
    void notifyOfflineUpgradeFailed(const QString &reason, const QString &details);
    // The upgrade request was refused because the system changed since the check, so that the
    // check's plan no longer holds; nothing was installed. |details| are the daemon's words.
    void notifyUpgradePlanChanged(const QString &details);
    // The daemon that was serving left the bus: whatever it was doing for us will not report.
    void notifyDaemonVanished();
    // |error| is empty when the hooks ran; else the daemon's or the bus's words.
    void notifyPostUpgradeHooksDone(const QString &error);
    void notifyRebootFailed(const QString &reason);

public slots:
    void acceptOfflineFileCheckResult(int itemType, bool result);
    void acceptOfflineUpgradeProgress(int progress, int code);
    void acceptExecDistUpgradeInfo(const QString &info);

private:
    void initData();
    // Watches a request that the daemon answers only when its long work has ended. When the
    // request cannot reach the daemon (refused, busy, no daemon), emits |failed| with the
    // reason; |deniedReason| words a refusal.
    void watchDaemonRequest(const QString &method, const QDBusPendingCall &call,
        const QString &deniedReason,
        void (OfflineUpdateModel::*failed)(const QString &, const QString &));

    QDBusConnection m_systemBus;
    QDBusConnection m_sessionBus;
    std::unique_ptr<ComTevrinOfflineUpdateDaemonInterface> m_daemon;
    QDBusServiceWatcher *m_daemonWatcher = nullptr;
};
