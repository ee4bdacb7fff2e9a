#pragma once

#include "aptstatusprogress.h"
#include "checkenvironment.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <memory>

class QProcess;
class QSocketNotifier;
class QTextDecoder;

// One unattended upgrade from the package's repository: an interrupted dpkg is repaired first
// (dpkg --configure -a), then apt dist-upgrade runs against the private source list and lists
// directory. Everything runs asynchronously; the caller's event loop keeps serving the bus.
class UpgradeRun : public QObject
{
    Q_OBJECT

public:
    explicit UpgradeRun(const CheckEnvironment &environment, QObject *parent = nullptr);
    // Destroying a running upgrade kills apt or dpkg half-way (the next run repairs what that
    // leaves); keep it alive until finished().
    ~UpgradeRun() override;

    // Progress is mapped onto fromStage..99; fromStage itself counts as already shown. Ignored
    // while a run is going on.
    void start(int fromStage);
    bool isRunning() const;
    // After a failed run: whether it failed finishing what an earlier dpkg run left half-way,
    // before anything of the package was installed.
    bool repairFailed() const { return m_repairFailed; }
    // After a failed run: whether apt was killed by a signal.
    bool killed() const { return m_killed; }
    // The first package whose maintainer script dpkg reported failing, or empty.
    QString failedScript() const { return m_failedScript; }
    // The last line apt or dpkg printed, for why the run failed.
    QString lastOutputLine() const
    {
        return m_partialLine.trimmed().isEmpty() ? m_lastLine : m_partialLine.trimmed();
    }

    // Whether dpkg was left half-way: `dpkg --audit` reports something, or its journal of
    // unfinished updates is not empty. Synchronous, bounded; for the check's log note.
    static bool dpkgInterrupted(const CheckEnvironment &environment);
    // Whether dpkg's journal of unfinished updates holds anything.
    static bool dpkgJournalHasEntries(const CheckEnvironment &environment);
    // The dpkg command line whose output lists what an interrupted run left half-done.
    static QStringList auditArguments(const CheckEnvironment &environment);

signals:
    void output(const QString &text); // apt's and dpkg's output, stdout and stderr merged
    void progress(int percent); // strictly increasing, at most 99, a few per second at most
    // The repair (|repair|) or the upgrade itself begins.
    void stepStarted(bool repair);
    // apt's status names another package it works on (by name, no architecture).
    void workingOn(const QString &package);
    void finished(bool success, const QString &why); // why: a line for the log

private:
    enum class Step { Idle, Audit, Repair, Upgrade };

    void startAudit();
    void afterAudit();
    void startRepair();
    void startUpgrade();
    void startStep(
        Step step, QProcess *process, const QString &program, const QStringList &arguments);
    void onProcessOutput();
    void onProcessFinished();
    void onProcessError();
    void onStatusReadable();
    void readStatusLine(const QByteArray &line);
    void emitDueProgress();
    void closeStatusPipe();
    void end(bool success, const QString &why);
    void finish();
    QString describeEnd(const QString &what) const;

    CheckEnvironment m_environment;
    Step m_step = Step::Idle;
    QProcess *m_process = nullptr; // one per step, so that no signal of a finished step lingers
    std::unique_ptr<QTextDecoder> m_decoder;
    QByteArray m_auditOutput;
    int m_statusRead = -1;
    int m_statusWrite = -1;
    std::unique_ptr<QSocketNotifier> m_statusNotifier;
    QByteArray m_statusLine;
    AptStatusProgress m_progress;
    QElapsedTimer m_clock;
    QTimer m_progressTimer;
    bool m_ending = false;
    bool m_repairFailed = false;
    bool m_killed = false;
    QString m_failedScript;
    QString m_package;
    QString m_lastLine;
    QString m_partialLine;
    bool m_endSuccess = false;
    QString m_endWhy;
};
