#include "historyline.h"

#include "historyentry.h"
#include "historytext.h"

#include <QStringList>

QString HistoryLine::text(const HistoryEntry &entry)
{
    const QString time = entry.time.isValid()
        ? entry.time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"))
        : QStringLiteral("(no time)");
    const QString user = !entry.user.isEmpty() ? entry.user
        : entry.uid >= 0                       ? QStringLiteral("uid %1").arg(entry.uid)
                                               : QStringLiteral("(unknown user)");
    QString outcome = entry.outcome.isEmpty() ? QStringLiteral("(no outcome)") : entry.outcome;
    if (entry.resumed)
        outcome += QStringLiteral(", finished at boot");
    // A plain success needs no sentence; a failure, or a success with something that went
    // wrong after it (post-upgrade scripts that could not run), does.
    if (!entry.succeeded() || !entry.reasonKey.isEmpty())
        outcome += QStringLiteral(": ") + HistoryText::outcome(entry).inOneLine();
    return QStringList { time, user, entry.kind, entry.package, outcome }.join(
        QStringLiteral("  "));
}
