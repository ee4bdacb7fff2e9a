#pragma once

#include <QString>

// What both clients show of a running upgrade: the stage in words and a percentage. The stage
// follows the daemon's stage signal; a daemon that predates it is followed by its progress
// pairs alone. The pairs still say how the upgrade ends, and carry the percentage.
class UpgradeProgress
{
public:
    void setProgress(int progress, int code);
    void setStage(const QString &stage, int done, int total, const QString &package);

    // The daemon has sent a stage: its pairs no longer say which stage it is in.
    bool followsStages() const { return !m_stage.isEmpty(); }
    // The last pair had a failure code, which is no percentage.
    bool failed() const { return m_code < 0; }
    bool finished() const { return m_progress >= 100 && !failed(); }
    // apt is at work on the system: finishing interrupted installations, or upgrading.
    bool aptWorking() const;
    QString stage() const { return m_stage; }
    // The package apt works on now, by name; empty outside the upgrade stage and once it ended.
    QString package() const;
    QString text() const;
    // From 0 to 100; -1 after a failure, when there is none to show.
    int percent() const;

private:
    int m_progress = 0;
    int m_code = 1;
    QString m_stage;
    int m_done = 0;
    int m_total = 0;
    QString m_package;
};
