#pragma once

#include "lineassembler.h"
#include "upgradeprogress.h"
#include "usermessage.h"

#include <QObject>
#include <QStringList>

class OfflineUpdateModel;

// The way from a passed check to the end of its upgrade, without any window: asking whether
// a backup is possible, the user's confirmation, the backup and upgrade, the post-upgrade
// hooks, and then success (with the choice to restart) or a failure that says why. The check
// result page shows what this says; tests drive it alone.
//
// Ready -> AskingBackup -> Confirming -> Upgrading -> RunningHooks -> Succeeded
// Confirming -> Ready when the user declines; Upgrading -> Failed on any failure; Failed
// allows a new start, and after a failed backup the choice to go on without one, but not after
// the system changed since the check: only a new check can say what an upgrade would do then.
// Succeeded is final: the same package is not upgraded twice.
class UpgradeFlow : public QObject
{
    Q_OBJECT

public:
    enum State { Ready, AskingBackup, Confirming, Upgrading, RunningHooks, Succeeded, Failed };
    Q_ENUM(State)

    enum Failure {
        NoFailure,
        BackupFailed,
        UpgradeFailed,
        NotStarted, // the request did not reach a daemon that would take it
        ServiceStopped, // the daemon left the bus mid-upgrade
        PlanChanged, // the system changed since the check; nothing was installed
    };
    Q_ENUM(Failure)

    explicit UpgradeFlow(OfflineUpdateModel *model, QObject *parent = nullptr);

    State state() const { return m_state; }
    // From the confirmation on until success or failure: progress reports then belong to
    // this flow's upgrade, and nothing may take the page away.
    bool underWay() const { return m_state == Upgrading || m_state == RunningHooks; }
    Failure failure() const { return m_failure; }
    // Why the last upgrade failed, or a note about a success (hooks that failed).
    UserMessage message() const { return m_message; }
    // The latest lines of the upgrade's output, for the details of a failure.
    QStringList recentOutput() const { return m_recentOutput; }
    // The stage and percentage of this flow's upgrade, as the daemon reports them.
    const UpgradeProgress &progress() const { return m_progress; }

public slots:
    // Ready or Failed (but for PlanChanged): asks the daemon whether it can back up, then asks
    // for confirmation.
    void start();
    // Confirming: the user agreed; the upgrade is requested.
    void confirm();
    // Confirming: the user declined.
    void decline();
    // Failed for the backup: the user chose to upgrade without one.
    void continueWithoutBackup();
    // Succeeded: asks the session manager to restart the computer.
    void restartNow();

signals:
    void stateChanged(UpgradeFlow::State state);
    // Entering Confirming: the question to put to the user.
    void confirmationNeeded(bool backupSupported);
    // progress() changed.
    void progressChanged();
    // A piece of the upgrade's output; the daemon's status texts in the user's language.
    void outputReceived(const QString &piece);
    void restartFailed(const QString &reason);

private:
    void setState(State state);
    void beginUpgrade();
    void fail(Failure failure, const UserMessage &message);
    void acceptProgress(int progress, int code);
    void acceptStage(const QString &stage, int done, int total, const QString &package);
    // The daemon's reason for the failed upgrade, in place of the flow's own sentence when it
    // gives one.
    void failWithReason(const QString &key, const QString &detail);
    void acceptOutput(const QString &piece);
    void acceptHooksDone(const QString &error);

    OfflineUpdateModel *m_model;
    State m_state = Ready;
    Failure m_failure = NoFailure;
    // The upgrade has failed, and the daemon is being asked why: nothing else it reports
    // belongs to this upgrade any more.
    bool m_readingReason = false;
    UserMessage m_message;
    QStringList m_recentOutput;
    LineAssembler m_outputLines;
    UpgradeProgress m_progress;
};
