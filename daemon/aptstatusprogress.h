#pragma once

#include <QtGlobal>

class QByteArray;

// Turns apt's status lines ("pmstatus:package:percent:text") into the progress values the
// clients see: fromStage..99, strictly increasing, and few enough per second that a fast
// upgrade does not flood the bus. Pure logic; the caller supplies the clock.
class AptStatusProgress
{
public:
    static constexpr int MinIntervalMs = 250;

    explicit AptStatusProgress(int fromStage = 0, int minIntervalMs = MinIntervalMs);

    // Reads one status line (without its newline); anything but a readable pmstatus line, or
    // a percentage that would not move the value forward, is ignored.
    void readLine(const QByteArray &line);
    // The value to emit at |nowMs|, or -1 when nothing new is due yet. A value held back by
    // the rate limit stays pending and comes out of a later call.
    int take(qint64 nowMs);
    // Milliseconds from |nowMs| until the pending value may go; -1 when none is pending.
    int pendingDelay(qint64 nowMs) const;

    // The percentage of a pmstatus line, or -1. The package field may carry ":arch".
    static double percentOf(const QByteArray &line);
    int map(double percent) const;

private:
    int m_fromStage;
    int m_minIntervalMs;
    int m_target;
    int m_emitted;
    qint64 m_lastEmitMs = 0;
    bool m_emittedOnce = false;
};
