#pragma once

#include "checkenvironment.h"
#include "checkrun.h"
#include "runrecords.h"

#include <QObject>
#include <QPointer>
#include <functional>
#include <map>
#include <memory>

class PackageCopy;
class PlannedUpgrade;
struct PackageSignature;

// The check and upgrade engine: one per daemon. A check reads as its list of items, each
// acting on the run of the user who asked (CheckRun); it reports exactly one result, the first
// item that failed or item 6 with its outcome. Everything it waits for (the package's reader,
// mounts, scripts, apt) runs on the event loop, so the daemon keeps answering meanwhile. The
// caller runs one operation at a time.
class OfflineCheck : public QObject
{
    Q_OBJECT

public:
    // Asked when an unsigned package has verified as such and its user is not root: whether the
    // user may have it checked (its scripts run as root) without a maker's signature. The check
    // is paused meanwhile (another check may run); the answer comes
    // through |answer| at any later time, once the caller may go on with this check, or the
    // check is given up with abandonPausedCheck().
    using UnsignedApproval
        = std::function<void(const CheckRun &run, std::function<void(bool approved)> answer)>;

    explicit OfflineCheck(
        const CheckEnvironment &environment = CheckEnvironment(), QObject *parent = nullptr);
    ~OfflineCheck() override;

    void setUnsignedApproval(UnsignedApproval approval) { m_unsignedApproval = std::move(approval); }

    // |caller| is who asked, as the bus told, from the connection |busName|; the package is read
    // with the caller's rights and the home path must be the caller's own. Replaces the
    // caller's earlier run, and no one else's.
    void startOfflineFileCheck(const CallerIdentity &caller, const QString &busName,
        const QString &homepath, const QString &filepath);
    // Who holds dpkg's lock ("pid N"), or empty: nothing may be checked or installed meanwhile.
    QString packageManagerHolder() const;
    // Ends the paused check as failed with |why|, without a result signal: its caller is told
    // by whoever gives it up.
    void abandonPausedCheck(const QString &why);

    // |uid|'s run, null when there is none. For root: the run whose check started last.
    CheckRun *run(uid_t uid) const;
    // The run the private source list points at: the last to get as far as its repository.
    CheckRun *latestRun() const { return m_latest; }

    // Upgrades from the repository that |run|'s passed check prepared; progress goes on from
    // |fromStage|.
    void startSystemUpgrade(CheckRun *run, int fromStage);
    const CheckEnvironment &environment() const { return m_environment; }
    // The journal of the upgrade under way and the history.
    RunRecords &records() { return m_records; }
    // Whether apt still foresees |run|'s plan; when it does not, the run records why.
    void confirmPlan(CheckRun *run, std::function<void(bool holds)> done);
    // Runs the post-upgrade scripts of |run|, once; the run ends with them.
    void startHookPost(CheckRun *run);

signals:
    void sendOfflineFileCheckResult(int itemType, bool result);
    void sendExecDistUpgradeInfo(QString info);
    void sendUpgradeProgress(int percent);
    // OfflineUpdate::UpgradeStage the upgrade reached; see PlannedUpgrade::stage.
    void upgradeStage(const QString &stage, int done, int total, const QString &package);
    void upgradeFinished(bool success);
    // |refusal|: why the scripts did not all get to run (their home moved), else empty.
    void hookPostFinished(const QString &refusal);

private:
    void checkOfflineFile(const QString &filepath);
    void checkOfflineFileSpace(qint64 size, std::function<void(bool proceed)> proceed);
    void checkOfflineFileDirComplete();
    void checkPackageLayout();
    void acceptSignature(const PackageSignature &signature);
    void checkHookPre();
    void checkOfflineUpgradeType();
    void checkOfflineFileArch();
    void checkSystemBackupSpace();
    void checkUpgradeSum();
    void refreshIndex();
    void countUpgradable();
    void planUpgrade();

    void fail(int item, const QString &key, const QString &detail = QString());
    void finishRun(int item, bool passed);
    void logStandardError(const char *function, const QByteArray &text);

    CheckEnvironment m_environment;
    bool m_requireSignature = false;
    std::map<uid_t, std::unique_ptr<CheckRun>> m_runs;
    CheckRun *m_run = nullptr; // the run being checked
    CheckRun *m_paused = nullptr; // a run whose check waits for its user's approval
    CheckRun *m_latest = nullptr;
    CheckRun *m_newest = nullptr;
    QPointer<PackageCopy> m_copy;
    UnsignedApproval m_unsignedApproval;
    PlannedUpgrade *m_upgrade = nullptr;
    RunRecords m_records;
    // What the running check was asked, kept for its later items.
    QString m_askedHome;
    QString m_offlineArch;
};
