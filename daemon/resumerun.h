#pragma once

#include "checkenvironment.h"
#include "runjournal.h"

#include <QObject>
#include <memory>

class CheckRun;
class PlannedUpgrade;
class ShutdownInhibitor;

// Finishes, at boot, the upgrade the journal says was cut short: waits for dpkg's lock, mounts
// the kept copy again (its signature verified again), points the private source list at it,
// finishes the interrupted installations and runs the planned upgrade, runs the post-upgrade
// scripts once, then records the outcome in the history and removes the journal and the copy.
// At most MaxAttempts boots try one run; after that its failure is recorded and the system left
// as it is, so that a package that cannot be installed never keeps a machine from starting.
class ResumeRun : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxAttempts = 2;

    // |inhibitor| (may be null) holds shutdown and sleep off while the run goes on.
    ResumeRun(const CheckEnvironment &environment, ShutdownInhibitor *inhibitor,
        QObject *parent = nullptr);
    ~ResumeRun() override;

    // finished() follows, also when there is nothing to resume.
    void start();

signals:
    // |success|: nothing was left to do, or the run was finished.
    void finished(bool success);

private:
    void waitForPackageManager();
    void mountCopy();
    void mountInner(const QByteArray &image, const QByteArray &mountPoint,
        std::function<void()> next);
    void pointSources();
    void upgrade();
    void runPostHooks();
    // Ends the run: its history entry, and the journal and the copy go (unless another boot
    // may still try it).
    void end(bool success, const QString &key, const QString &detail);

    CheckEnvironment m_environment;
    ShutdownInhibitor *m_inhibitor;
    RunJournal::Record m_journal;
    std::unique_ptr<CheckRun> m_run;
    PlannedUpgrade *m_upgrade = nullptr;
    int m_lockWaits = 0;
};
