#pragma once

#include "checkenvironment.h"

#include <QJsonObject>
#include <QStringList>
#include <sys/types.h>

class CheckRun;

// What is written down of runs: the journal of the one upgrade under way, which outlives a
// crash, and the history of every check and upgrade.
class RunRecords
{
public:
    explicit RunRecords(const CheckEnvironment &environment);

    void checkEnded(const CheckRun &run, int item, bool passed);

    // Writes the journal of |run|'s upgrade, which begins with |stage|, before anything of the
    // system changes; false, with |error| set, when it cannot be kept.
    bool beginJournal(CheckRun *run, const QString &stage, QString *error);
    // The run whose upgrade the journal records, or null.
    CheckRun *upgrading() const { return m_upgrading; }
    // |run|'s upgrade reached |stage|.
    void enterStage(CheckRun *run, const QString &stage);
    // Its upgrade ended: what is left after a success is its post-upgrade scripts, which run at
    // the next boot unless asked for before; a failure ends the journal.
    void upgradeEnded(CheckRun *run, bool success);
    // One of its post-upgrade scripts ended: it is not run again at boot.
    void postHookEnded(CheckRun *run, const QString &script);
    // |run|'s upgrade ended with |outcome| ("succeeded", or "failed" with why): into the
    // history, and the journal goes.
    void endJournal(CheckRun *run, const QString &outcome, const QString &key, const QString &detail);
    // |uid|'s run is replaced by a new check: a copy kept for it goes.
    void runReplaced(uid_t uid);
    // At the daemon's start: a copy kept for a run that failed before it stopped, with no
    // journal to finish, is nobody's any more.
    void dropOrphanedCopy();

    // The history's entries: everyone's, or only |uid|'s.
    QStringList history(bool all, uid_t uid) const;

private:
    void addToHistory(const QJsonObject &entry);

    CheckEnvironment m_environment;
    CheckRun *m_upgrading = nullptr;
    static constexpr uid_t NoUser = uid_t(-1);
    uid_t m_copyNamedFor = NoUser; // whose failed run's copy still has the journal's name
};
