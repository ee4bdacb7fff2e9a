#pragma once

#include <QString>

// The contract between the daemon and its clients, in one place. The numbers and strings
// here travel over the bus; clients written against earlier versions rely on every one of
// them, so values are only ever added, never changed.
namespace OfflineUpdate {

inline const QString DaemonService = QStringLiteral("com.tevrin.offline.update.daemon");
inline const QString DaemonPath = QStringLiteral("/com/tevrin/offline/update/daemon");
inline const QString DaemonInterface = QStringLiteral("com.tevrin.offline.update.daemon");

inline const QString ToolService = QStringLiteral("com.tevrin.offline.update.tool");
inline const QString ToolPath = QStringLiteral("/com/tevrin/offline/update/tool");

// Error names of the daemon's own refusals; AccessDenied stays the bus's standard one.
inline const QString BusyError = QStringLiteral("com.tevrin.offline.update.Error.Busy");
inline const QString NoPassedCheckError
    = QStringLiteral("com.tevrin.offline.update.Error.NoPassedCheck");
// The system changed since the check, so that apt now foresees another upgrade than planned.
inline const QString PlanChangedError = QStringLiteral("com.tevrin.offline.update.Error.PlanChanged");

// The item a check result names: the first that failed, or the last with its outcome.
enum CheckItem {
    PackageFileItem = 0, // the file exists, is yours, and fits on the disk
    PackageLayoutItem = 1, // the package mounts and holds a manifest and a repository
    PreHookItem = 2, // every pre-upgrade script succeeded
    SystemVersionItem = 3, // the system type fits
    ArchitectureItem = 4, // the package is built for this machine
    BackupSpaceItem = 5, // the backup fits beside the data
    UpgradableItem = 6, // the repository reads and offers at least one upgrade
    LastCheckItem = UpgradableItem,
};

// The first number of a progress pair: the stage the upgrade has reached.
enum ProgressStage {
    BackupStage = 30, // the backup starts (or is skipped)
    BackupEndStage = 50, // the backup ended; the upgrade starts
    BackupFailedStage = 70, // the backup failed or could not be asked for
    UpgradeFailedStage = 80, // the repair or the upgrade failed
    LastUpgradeStage = 99, // the highest value an intermediate pair carries
    DoneStage = 100, // the upgrade succeeded
};

// The second number of a progress pair.
enum ProgressCode {
    ProgressGoesOn = 1,
    BackupFailed = -1,
    UpgradeFailed = -2,
};

// What GetUpgradeType answers.
enum UpgradeType {
    UnknownUpgrade = 0, // nothing checked yet
    SystemUpgrade = 1,
    PatchUpgrade = 2,
};

// What GetPackageSignature answers first.
enum SignatureState {
    SignatureUnknown = 0, // nothing checked yet
    Unsigned = 1,
    SignatureVerified = 2, // the signer is the second answer
    SignatureRejected = 3, // bad signature, unknown key or altered content; why is the second
};

// Why the caller's last check failed, as GetCheckFailureReason answers it: a key that clients
// turn into their own words, and a detail that is shown as it stands.
namespace Reason {
inline const QString None = QString(); // the last check passed, or there was none of yours
inline const QString FileMissing = QStringLiteral("file-missing");
inline const QString NotRegularFile = QStringLiteral("not-regular-file");
inline const QString NotReadable = QStringLiteral("not-readable");
inline const QString NoSpace = QStringLiteral("no-space"); // detail: "needed GiB/free GiB"
inline const QString NotPackage = QStringLiteral("not-package");
inline const QString BadSignature = QStringLiteral("bad-signature");
inline const QString SignatureRequired = QStringLiteral("signature-required");
inline const QString CacheBusy = QStringLiteral("cache-busy");
inline const QString HookRefused = QStringLiteral("hook-refused"); // detail: "script: last line"
inline const QString WrongArchitecture = QStringLiteral("wrong-architecture"); // "package/machine"
inline const QString NoBackupSpace = QStringLiteral("no-backup-space"); // "needed GiB/free GiB"
inline const QString RepositoryUnreadable = QStringLiteral("repository-unreadable"); // apt's line
inline const QString NothingToUpgrade = QStringLiteral("nothing-to-upgrade");
inline const QString NotAuthorized = QStringLiteral("not-authorized");
// The file was written to while it was checked, or was still open for writing.
inline const QString PackageChanging = QStringLiteral("package-changing");
// Signatures are required, and the file lies where its content could change unseen. No longer
// sent: the daemon checks a private copy of the package.
inline const QString PackageUnguarded = QStringLiteral("package-unguarded");
// apt or dpkg is at work; detail: who holds its lock ("pid N").
inline const QString PackageManagerRunning = QStringLiteral("package-manager-running");
// Reading the file made no progress for a long while (a file system that does not answer).
inline const QString PackageStalled = QStringLiteral("package-stalled");
// apt's simulation of the upgrade finds no solution; detail: apt's first error lines.
inline const QString PlanUnsolvable = QStringLiteral("plan-unsolvable");
// The upgrade would remove an essential or required package, or the running kernel's;
// detail: their names.
inline const QString PlanRemovesEssential = QStringLiteral("plan-removes-essential");
// The upgrade would leave some of what the package offers at the installed version; detail:
// their names.
inline const QString PlanKeepsBack = QStringLiteral("plan-keeps-back");
// A file system lacks the room the upgrade needs; detail: "mount point: needed GiB/free GiB".
inline const QString NoUpgradeSpace = QStringLiteral("no-upgrade-space");
} // namespace Reason

// Why the caller's last upgrade failed, as GetUpgradeFailureReason answers it.
namespace UpgradeReason {
// The system changed since the check, so that its plan no longer holds; nothing was installed.
inline const QString PlanChanged = QStringLiteral("plan-changed");
// Installations an earlier run of dpkg left half-way could not be finished; detail: their
// names. The package being installed is not at fault.
inline const QString RepairFailed = QStringLiteral("repair-failed");
// The upgrade ran but left packages at other versions than planned; detail: their names.
inline const QString PlanNotMet = QStringLiteral("plan-not-met");
// apt failed; detail: its last line of output.
inline const QString UpgradeFailed = QStringLiteral("upgrade-failed");
// apt or dpkg was at work when the upgrade was to start; detail: who holds its lock.
inline const QString PackageManagerRunning = QStringLiteral("package-manager-running");
// apt was killed (by a signal) before it ended; detail: how it ended.
inline const QString AptKilled = QStringLiteral("apt-killed");
// A package's maintainer script failed; detail: the package's name.
inline const QString ScriptFailed = QStringLiteral("script-failed");
// Only in the history: the backup failed or was refused, so the upgrade did not run; detail:
// the recovery service's message.
inline const QString BackupFailed = QStringLiteral("backup-failed");
// Only in the history: the upgrade was made, but its post-upgrade scripts did not run (their
// user's home moved); detail: why.
inline const QString PostHooksRefused = QStringLiteral("post-hooks-refused");
// Only in the history: an upgrade cut short could not be finished at boot; detail: why.
inline const QString ResumeFailed = QStringLiteral("resume-failed");
// Only in the history: an upgrade cut short failed at two boots and is left as it is.
inline const QString ResumeGivenUp = QStringLiteral("resume-given-up");
} // namespace UpgradeReason

// The stage NotifyUpgradeStage names.
namespace UpgradeStage {
inline const QString Backup = QStringLiteral("backup");
inline const QString Repair = QStringLiteral("repair");
inline const QString Upgrade = QStringLiteral("upgrade");
inline const QString PostHooks = QStringLiteral("post-hooks");
inline const QString Done = QStringLiteral("done");
} // namespace UpgradeStage

} // namespace OfflineUpdate
