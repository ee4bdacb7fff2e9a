#pragma once

#include "sessionoutput.h"

#include <cstdio>

class QJsonObject;

// One JSON object per line, flushed at once, for programs that follow a command as it runs.
// Every line has an "event" member; the last one is {"event":"result",...}. The history is
// the exception: one JSON array of the service's entries and nothing else.
class JsonEvents : public SessionOutput
{
public:
    explicit JsonEvents(FILE *stream);

    void checkReport(const CheckReport &report) override;
    void upgradeStarted(int expectedPackages) override;
    void upgradeProgress(int progress, int code) override;
    void upgradeStage(
        const QString &stage, int done, int total, const QString &package) override;
    void upgradeOutput(const QString &text) override;
    void notice(const QString &text) override;
    void serviceStatus(const ServiceStatus &status) override;
    void history(const QList<HistoryEntry> &entries) override;
    void result(const QString &command, const Outcome &outcome) override;

private:
    void write(const QString &event, QJsonObject object);

    FILE *m_stream;
    bool m_complete = false; // the output is whole without a result
};
