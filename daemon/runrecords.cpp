#include "runrecords.h"

#include "checkrun.h"
#include "offlineupdateprotocol.h"
#include "runhistory.h"
#include "runjournal.h"

#include <QDateTime>
#include <QDebug>
#include <QUuid>

using namespace OfflineUpdate;

RunRecords::RunRecords(const CheckEnvironment &environment)
    : m_environment(environment)
{ }

namespace {

// What the history and the journal say of |run|'s package and its user.
RunJournal::Record recordOf(const CheckRun &run)
{
    const CheckRun::Record &found = run.record();
    RunJournal::Record record;
    record.uid = run.uid();
    record.user = run.caller().name;
    record.packageName = found.packageName;
    record.sha256 = found.sha256;
    record.signer = found.signatureState == SignatureVerified ? found.signer : QString();
    record.upgradeType = found.upgradeType;
    record.patchSerial = found.patchSerial;
    record.plan = found.plan;
    return record;
}

} // namespace

void RunRecords::checkEnded(const CheckRun &run, int item, bool passed)
{
    QJsonObject entry = RunJournal::historyEntry(recordOf(run),
        passed ? QStringLiteral("passed") : QStringLiteral("failed"), run.record().reasonKey,
        run.record().reasonDetail, false);
    entry.insert(QStringLiteral("kind"), QStringLiteral("check"));
    entry.insert(QStringLiteral("item"), item);
    for (const char *upgradeOnly : { "id", "stageSeconds", "replacedConfigFiles", "attempts" })
        entry.remove(QLatin1String(upgradeOnly));
    addToHistory(entry);
}

bool RunRecords::beginJournal(CheckRun *run, const QString &stage, QString *error)
{
    RunJournal::Record &journal = run->journal();
    journal = recordOf(*run);
    journal.home = run->home().path();
    journal.startedAt = QDateTime::currentSecsSinceEpoch();
    journal.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    journal.enter(stage, journal.startedAt);
    m_upgrading = run;
    return RunJournal::begin(m_environment, run->copyFd(), journal, error);
}

void RunRecords::enterStage(CheckRun *run, const QString &stage)
{
    run->journal().enter(stage, QDateTime::currentSecsSinceEpoch());
    QString error;
    if (!RunJournal::update(m_environment, run->journal(), &error))
        qWarning() << "cannot record the upgrade's stage" << stage << ":" << error;
}

void RunRecords::upgradeEnded(CheckRun *run, bool success)
{
    if (success) {
        enterStage(run, UpgradeStage::PostHooks);
        return;
    }
    endJournal(run, QStringLiteral("failed"), run->record().upgradeReasonKey,
        run->record().upgradeReasonDetail);
}

void RunRecords::postHookEnded(CheckRun *run, const QString &script)
{
    if (run->journal().stage != UpgradeStage::PostHooks)
        return;
    run->journal().postHooksDone << script;
    QString error;
    if (!RunJournal::update(m_environment, run->journal(), &error))
        qWarning() << "cannot record the end of" << script << ":" << error;
}

void RunRecords::endJournal(
    CheckRun *run, const QString &outcome, const QString &key, const QString &detail)
{
    RunJournal::Record &journal = run->journal();
    if (journal.stage.isEmpty())
        return;
    // Done is kept before the history hears of it: a crash in between neither runs anything
    // again nor adds the entry twice.
    enterStage(run, UpgradeStage::Done);
    addToHistory(RunJournal::historyEntry(journal, outcome, key, detail, false));
    // A run that failed may be tried again (without a backup, say): its copy keeps its name
    // until the run is gone.
    const bool runGoesOn = outcome != QLatin1String("succeeded");
    RunJournal::end(m_environment, runGoesOn);
    m_copyNamedFor = runGoesOn ? run->uid() : NoUser;
    journal = RunJournal::Record();
    if (m_upgrading == run)
        m_upgrading = nullptr;
}

void RunRecords::runReplaced(uid_t uid)
{
    if (m_copyNamedFor == uid && !RunJournal::exists(m_environment)) {
        RunJournal::end(m_environment);
        m_copyNamedFor = NoUser;
    }
}

void RunRecords::dropOrphanedCopy()
{
    if (!RunJournal::exists(m_environment))
        RunJournal::end(m_environment);
}

QStringList RunRecords::history(bool all, uid_t uid) const
{
    return RunHistory::entries(m_environment, all, uid);
}

void RunRecords::addToHistory(const QJsonObject &entry)
{
    QString error;
    if (!RunHistory::append(m_environment, entry, &error))
        qWarning() << "cannot add to the history:" << error;
}
