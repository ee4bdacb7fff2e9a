#pragma once

#include "historyentry.h"
#include "outcome.h"

#include <QList>

class CheckReport;
struct ServiceStatus;

// Where a command's events go: words for a person (TextOutput) or JSON lines for a program
// (JsonEvents). The commands do not know which.
class SessionOutput
{
public:
    virtual ~SessionOutput() = default;

    virtual void checkReport(const CheckReport &report) = 0;
    virtual void upgradeStarted(int expectedPackages) = 0;
    virtual void upgradeProgress(int progress, int code) = 0;
    // The stage the service announced (NotifyUpgradeStage).
    virtual void upgradeStage(const QString &stage, int done, int total, const QString &package)
        = 0;
    // A status text of the service or a chunk of apt's output, as it came.
    virtual void upgradeOutput(const QString &text) = 0;
    // Something the person or program should know while the command goes on.
    virtual void notice(const QString &text) = 0;
    virtual void serviceStatus(const ServiceStatus &status) = 0;
    virtual void history(const QList<HistoryEntry> &entries) = 0;
    // The last thing a command writes.
    virtual void result(const QString &command, const Outcome &outcome) = 0;
};
