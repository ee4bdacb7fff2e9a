#pragma once

#include "filedescriptor.h"
#include "upgradeplan.h"

#include <QJsonObject>
#include <QString>
#include <sys/types.h>

struct CheckEnvironment;

// The record of the one upgrade under way, kept where a reboot does not lose it: who asked,
// the package (its private copy is kept beside the record, under a name), what was planned and
// the stage reached. Written before the first change to the system and at each stage, so that
// an upgrade cut short by a crash or a power loss is finished at the next boot; removed with
// the copy when the run ends.
class RunJournal
{
public:
    struct Record
    {
        uid_t uid = 0;
        QString user;
        QString home; // as the check verified it
        QString packageName; // the checked file's name, for the history
        QString sha256;
        QString signer;
        int upgradeType = 0;
        QString patchSerial;
        OfflineUpdate::UpgradePlan plan;
        QString stage; // OfflineUpdate::UpgradeStage
        int attempts = 0; // at boot
        qint64 startedAt = 0; // seconds since the epoch
        QJsonObject stageSeconds; // stage -> seconds spent in it
        qint64 stageStartedAt = 0;
        QStringList postHooksDone; // the post-upgrade scripts that have ended
        QString id; // the run's own name in the history

        QJsonObject toJson() const;
        static Record fromJson(const QJsonObject &object);
        // Moves on to |stage|, adding the time spent in the one before to stageSeconds.
        void enter(const QString &stage, qint64 now);
    };

    static constexpr const char *RecordName = "run.json";
    static constexpr const char *CopyName = "run.oup";

    // Keeps |copyFd| (the run's private copy, possibly unnamed) under a name beside the record,
    // then writes |record|.
    static bool begin(const CheckEnvironment &environment, int copyFd, const Record &record,
        QString *error);
    static bool update(const CheckEnvironment &environment, const Record &record, QString *error);
    // False when there is no record, or it cannot be read.
    static bool load(const CheckEnvironment &environment, Record *record);
    static bool exists(const CheckEnvironment &environment);
    // The kept copy, read-only; invalid when there is none.
    static FileDescriptor openCopy(const CheckEnvironment &environment);
    // The history's entry for the upgrade |record| describes, ended with |outcome| ("succeeded"
    // or "failed", with the reason |key| and |detail|).
    static QJsonObject historyEntry(const Record &record, const QString &outcome, const QString &key,
        const QString &detail, bool resumed);
    // Removes the record, then the copy's name unless |keepCopy| (its run may try again).
    static void end(const CheckEnvironment &environment, bool keepCopy = false);
};
