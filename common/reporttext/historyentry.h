#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>

// One entry of the daemon's history (GetHistory), a check or an upgrade, with the members the
// clients read; the whole object stays in |json| for those that pass it on.
struct HistoryEntry
{
    QString kind; // "check" or "upgrade"
    QString id; // upgrades only
    QDateTime time; // when it ended, in UTC; invalid when the entry has none
    int uid = -1;
    QString user;
    QString package; // the package's file name
    QString outcome; // "passed"/"failed" for checks, "succeeded"/"failed" for upgrades
    QString reasonKey;
    QString reasonDetail;
    int item = -1; // checks: the item the check ended on
    bool resumed = false; // finished at boot after an interruption
    QJsonObject json;

    bool isUpgrade() const { return kind == QLatin1String("upgrade"); }
    bool succeeded() const
    {
        return outcome == QLatin1String("succeeded") || outcome == QLatin1String("passed");
    }
    // An entry that is no JSON object has an empty kind and object.
    static HistoryEntry fromJson(const QString &text);
};
