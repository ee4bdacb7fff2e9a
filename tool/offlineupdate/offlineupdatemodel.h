#pragma once

#include "checkdetails.h"

#include <QObject>
#include <QString>
#include <QVariantList>
#include <functional>

class DBusInvokerInterface;
class QDBusMessage;
class QDBusServiceWatcher;

// The tool's one client of the update daemon (system bus) and of the desktop's window manager
// and session manager (session bus). It keeps no state about a check or an upgrade: pages ask
// the daemon through it whenever they need a value. Nothing here waits for the bus: every
// question is answered through a callback that runs only while its |context| object lives.
class OfflineUpdateModel : public QObject
{
    Q_OBJECT

public:
    // Contacts nobody but the bus: the daemon need not run until the first request.
    explicit OfflineUpdateModel(QObject *parent = nullptr);

    void setCheckFilePath(const QString &path);
    // Returns at once; the outcome arrives as notifyOfflineCheckResult, or as
    // notifyOfflineCheckFailed when the request cannot reach the daemon.
    void startOfflineFileChecking(const QString &path);
    // Everything the result page shows besides the report itself; the failure reason is asked
    // only when |checkFailed|.
    void requestCheckDetails(
        bool checkFailed, QObject *context, std::function<void(const CheckDetails &)> done);
    // Whether the system can be backed up; false when the daemon cannot say.
    void requestBackupStatus(QObject *context, std::function<void(bool)> done);
    // Returns at once; progress arrives as notifyOfflineUpgradeProgress and
    // notifyExecDistUpgradeInfo, or notifyOfflineUpgradeFailed when the request cannot reach
    // the daemon.
    void startOfflineUpgrade();
    // The local path of the current wallpaper, or an empty string when unknown.
    void requestDesktopImage(QObject *context, std::function<void(const QString &)> done);
    // Runs the package's post-upgrade hooks, for as long as they take, and asks the session
    // manager to reboot once the daemon has answered (or failed to); then emits
    // notifyRebootRequested.
    void systemReboot();

signals:
    void notifyCheckFilePath(const QString &filepath);
    void notifyOfflineCheckResult(int itemType, bool result);
    void notifyOfflineUpgradeProgress(int progress, int code);
    void notifyExecDistUpgradeInfo(const QString &info);
    // The check request was answered at once with an error, so no check report will come.
    // |reason| is the bus's or the daemon's error text.
    void notifyOfflineCheckFailed(const QString &reason);
    // The same for the upgrade request: no backup and no upgrade will run.
    void notifyOfflineUpgradeFailed(const QString &reason);
    // The daemon that was serving left the bus: whatever it was doing for us will not report.
    void notifyDaemonVanished();
    void notifyRebootRequested();

public slots:
    void acceptOfflineFileCheckResult(int itemType, bool result);
    void acceptOfflineUpgradeProgress(int progress, int code);
    void acceptExecDistUpgradeInfo(const QString &info);

private:
    void initData();
    // Calls |method| of the daemon without waiting; |done| gets the reply or the error.
    // |timeoutMs| -1 is the bus library's default.
    void callDaemon(const QString &method, const QVariantList &arguments, QObject *context,
        std::function<void(const QDBusMessage &)> done, int timeoutMs = -1);
    // Sends |method| to the daemon without waiting. When the request cannot reach the daemon
    // (refused, no daemon), emits |failed| with the reason; |deniedReason| words a refusal.
    void sendDaemonRequest(const QString &method, const QVariantList &arguments,
        const QString &deniedReason, void (OfflineUpdateModel::*failed)(const QString &));

    DBusInvokerInterface *m_daemonInvoker = nullptr;
    DBusInvokerInterface *m_sessionManagerInvoker = nullptr;
    QDBusServiceWatcher *m_daemonWatcher = nullptr;
};
