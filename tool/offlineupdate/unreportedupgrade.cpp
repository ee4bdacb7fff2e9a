#include "unreportedupgrade.h"

HistoryEntry UnreportedUpgrade::find(
    const QStringList &entries, int uid, const QString &reportedId)
{
    for (auto it = entries.crbegin(); it != entries.crend(); ++it) {
        const HistoryEntry entry = HistoryEntry::fromJson(*it);
        if (!entry.isUpgrade() || entry.uid != uid)
            continue;
        // Without an id it could not be remembered, and would be told of at every start.
        if (entry.id.isEmpty() || entry.id == reportedId)
            return {};
        return entry;
    }
    return {};
}
