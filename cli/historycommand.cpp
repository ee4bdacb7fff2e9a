#include "historycommand.h"

#include "daemonclient.h"
#include "exitstatus.h"
#include "historyentry.h"
#include "sessionoutput.h"

#include <QDBusError>

HistoryCommand::HistoryCommand(DaemonClient *daemon, SessionOutput *output)
    : m_daemon(daemon)
    , m_output(output)
{ }

Outcome HistoryCommand::run()
{
    QStringList lines;
    QDBusError error;
    if (!m_daemon->readHistory(&lines, &error))
        return { ExitStatus::Unreachable, QStringLiteral("unreachable"),
            QStringLiteral("The offline update service cannot be reached for its history: ")
                + error.message(),
            { { QStringLiteral("error"), error.name() },
                { QStringLiteral("errorMessage"), error.message() } } };
    QList<HistoryEntry> entries;
    for (const QString &line : qAsConst(lines)) {
        HistoryEntry entry = HistoryEntry::fromJson(line);
        // A line that is no object is passed over rather than shown as an empty entry.
        if (!entry.json.isEmpty())
            entries << entry;
    }
    m_output->history(entries);
    return { ExitStatus::Success, QStringLiteral("ok"), QString(), {} };
}
