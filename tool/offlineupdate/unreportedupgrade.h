#pragma once

#include "historyentry.h"

#include <QStringList>

// Which upgrade the tool should tell its user about when it starts: the user's newest upgrade
// in the daemon's history, unless the tool has told of it before. Older upgrades are never
// told of: once a newer one is known they say nothing about the system as it is.
class UnreportedUpgrade
{
public:
    // |entries| as GetHistory answers them, oldest first (an administrator's include other
    // users'); |reportedId| the id of the last upgrade told of. An entry with an empty kind
    // when there is nothing to tell.
    static HistoryEntry find(const QStringList &entries, int uid, const QString &reportedId);
};
