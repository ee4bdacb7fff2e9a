#pragma once

#include "calleridentity.h"
#include "filedescriptor.h"
#include "runcontext.h"
#include "runjournal.h"
#include "upgradeplan.h"
#include "verifiedhome.h"

#include <QString>

// Everything one check of one package, its upgrade and its post-upgrade scripts act on, for
// the one user who asked: who that is, their verified home, the daemon's private copy of the
// package and its mounts, the verified signature and what the check found. It lives until its
// post-upgrade scripts have run or its user starts another check; another user's check never
// touches it. Its mounts and its copy go with it.
class CheckRun
{
public:
    // What the check found, answered only to its user (and root).
    struct Record
    {
        bool ended = false; // the check has reported its result
        bool passed = false;
        QString reasonKey; // OfflineUpdate::Reason; empty when it passed
        QString reasonDetail;
        int signatureState = 0; // OfflineUpdate::SignatureState
        QString signer; // the signer, or why the signature was rejected
        int upgradeType = 0; // OfflineUpdate::UpgradeType
        QString patchSerial;
        int upgradeSum = 0;
        QString packageName; // the checked file's name
        QString sha256; // of the private copy
        OfflineUpdate::UpgradePlan plan; // what item 6 foresees the upgrade will do
        // Why the last upgrade from this check failed (OfflineUpdate::UpgradeReason); empty
        // while none failed.
        QString upgradeReasonKey;
        QString upgradeReasonDetail;
    };

    CheckRun(const CallerIdentity &caller, const QString &busName);
    ~CheckRun();
    CheckRun(const CheckRun &) = delete;
    CheckRun &operator=(const CheckRun &) = delete;

    const CallerIdentity &caller() const { return m_caller; }
    uid_t uid() const { return m_caller.uid; }
    // The caller's unique bus name: the only one told of this run's progress.
    QString busName() const { return m_busName; }

    VerifiedHome &home() { return m_home; }
    RunContext &directory() { return m_directory; }
    Record &record() { return m_record; }
    const Record &record() const { return m_record; }

    void setCopy(FileDescriptor copy) { m_copy = std::move(copy); }
    int copyFd() const { return m_copy.get(); }
    // The package's root, open while the check reads it.
    FileDescriptor &packageRoot() { return m_packageRoot; }
    // The keyring that verified the package; empty for an unsigned one.
    QString signedBy() const { return m_signedBy; }
    void setSignedBy(const QString &keyring) { m_signedBy = keyring; }

    // The record of its upgrade under way, as the journal keeps it.
    RunJournal::Record &journal() { return m_journal; }

    // A failed check keeps only its record: its mounts and copy go at once.
    void release();

    // Its user may then choose to upgrade without one.
    bool backupFailed() const { return m_backupFailed; }
    void setBackupFailed() { m_backupFailed = true; }
    // Its post-upgrade scripts may run; the run ends with them, so they run once.
    bool upgradeSucceeded() const { return m_upgradeSucceeded; }
    void setUpgradeSucceeded() { m_upgradeSucceeded = true; }

private:
    CallerIdentity m_caller;
    QString m_busName;
    VerifiedHome m_home;
    RunContext m_directory;
    FileDescriptor m_copy;
    FileDescriptor m_packageRoot;
    QString m_signedBy;
    Record m_record;
    RunJournal::Record m_journal;
    bool m_upgradeSucceeded = false;
    bool m_backupFailed = false;
};
