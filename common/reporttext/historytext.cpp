#include "historytext.h"

#include "checkfailuretext.h"
#include "historyentry.h"
#include "upgradefailuretext.h"

namespace {

// Two sentences as one message; the details of the second, which says why.
UserMessage joined(const QString &first, const UserMessage &why)
{
    if (why.isEmpty())
        return { first, QString() };
    return { first + QLatin1Char(' ') + why.sentence, why.details };
}

} // namespace

UserMessage HistoryText::outcome(const HistoryEntry &entry)
{
    const UserMessage reason = entry.isUpgrade()
        ? UpgradeFailureText::forReason(entry.reasonKey, entry.reasonDetail)
        : CheckFailureText::forReason(entry.reasonKey, entry.reasonDetail);
    if (!entry.isUpgrade()) {
        if (entry.succeeded())
            return { tr("The package passed the check."), QString() };
        if (!reason.isEmpty())
            return reason;
        return { entry.item >= 0 ? CheckFailureText::forItem(entry.item)
                                 : tr("The package failed the check."),
            QString() };
    }
    // A succeeded upgrade may still carry a reason: its post-upgrade scripts that could not run.
    if (entry.succeeded()) {
        return joined(entry.resumed ? tr("The upgrade was interrupted, and it was finished when "
                                         "the system started again.")
                                    : tr("The upgrade succeeded."),
            reason);
    }
    if (entry.resumed)
        return joined(tr("The upgrade was interrupted, and it could not be finished when the "
                         "system started again."),
            reason);
    if (!reason.isEmpty())
        return reason;
    return { tr("The upgrade failed."), QString() };
}
