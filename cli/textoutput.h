#pragma once

#include "sessionoutput.h"

#include <cstdio>
#include <memory>

class ProgressLine;

// Words for a person. On a terminal an upgrade shows one progress line, redrawn in place, and
// apt's output only when asked for; elsewhere (a log, a pipe) one plain line per stage and all
// of apt's output, since nothing can be redrawn there.
class TextOutput : public SessionOutput
{
public:
    TextOutput(FILE *out, FILE *errors, bool terminal, bool verbose);
    ~TextOutput() override;

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
    void print(FILE *stream, const QString &text);
    // Takes the progress line off the screen, or ends a partial line of apt's output, so that
    // the next text starts on a line of its own.
    void startLine();
    void drawProgress();
    ProgressLine &progress();
    // Redraws the line on a terminal; elsewhere writes the stage when it changed.
    void showStage();

    FILE *m_out;
    FILE *m_errors;
    bool m_terminal;
    bool m_verbose;
    std::unique_ptr<ProgressLine> m_progress;
    bool m_progressShown = false;
    QString m_drawn;
    QString m_loggedStage;
    bool m_midLine = false;
};
