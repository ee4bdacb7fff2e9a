#pragma once

#include <QObject>
#include <QString>
#include <QVariantList>

class DBusInvokerInterface;

// The tool's one client of the update daemon (system bus) and of the desktop's window manager
// and session manager (session bus). It keeps no state about a check or an upgrade: pages ask
// the daemon through it whenever they need a value. The getters block the calling thread until
// the reply or the bus library's default time-out.
class OfflineUpdateModel : public QObject
{
    Q_OBJECT

public:
    // Contacts nobody: the daemon need not run until the first request.
    explicit OfflineUpdateModel(QObject *parent = nullptr);

    void setCheckFilePath(const QString &path);
    // Returns at once; the outcome arrives as notifyOfflineCheckResult, or as
    // notifyOfflineCheckFailed when the request cannot reach the daemon.
    void startOfflineFileChecking(const QString &path);
    int getUpgradeType();
    int getDistUpgradeSum();
    QString getPatchUpgradeSerial();
    bool getABSystemBackupStatus();
    // Returns at once; progress arrives as notifyOfflineUpgradeProgress and
    // notifyExecDistUpgradeInfo, or notifyOfflineUpgradeFailed when the request cannot reach
    // the daemon.
    void startOfflineUpgrade();
    // The local path of the current wallpaper, or an empty string when unknown.
    QString getDesktopImage();
    // Runs the package's post-upgrade hooks (waiting at most the default time-out), then asks
    // the session manager to reboot.
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

public slots:
    void acceptOfflineFileCheckResult(int itemType, bool result);
    void acceptOfflineUpgradeProgress(int progress, int code);
    void acceptExecDistUpgradeInfo(const QString &info);

private:
    void initData();
    // Sends |method| to the daemon without waiting. When the request cannot reach the daemon
    // (refused, no daemon), emits |failed| with the reason; |deniedReason| words a refusal.
    void sendDaemonRequest(const QString &method, const QVariantList &arguments,
        const QString &deniedReason, void (OfflineUpdateModel::*failed)(const QString &));

    DBusInvokerInterface *m_daemonInvoker = nullptr;
    DBusInvokerInterface *m_windowManagerInvoker = nullptr;
    DBusInvokerInterface *m_sessionManagerInvoker = nullptr;
};
