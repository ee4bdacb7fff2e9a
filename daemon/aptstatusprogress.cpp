#include "aptstatusprogress.h"

#include <QByteArray>
#include <QList>
#include <cmath>

namespace {

constexpr int Top = 99; // 100 is the final pair, which only the end of the whole run may send

} // namespace

AptStatusProgress::AptStatusProgress(int fromStage, int minIntervalMs)
    : m_fromStage(qBound(0, fromStage, Top))
    , m_minIntervalMs(minIntervalMs)
    , m_target(m_fromStage)
    , m_emitted(m_fromStage)
{ }

double AptStatusProgress::percentOf(const QByteArray &line)
{
    const QList<QByteArray> fields = line.split(':');
    if (fields.size() < 4 || fields.first() != "pmstatus")
        return -1;
    // An arch-qualified package ("name:amd64") shifts the percentage one field to the right;
    // a package name is never a bare number, an architecture never is either.
    for (int index : { 2, 3 }) {
        bool ok = false;
        const double percent = fields.value(index).toDouble(&ok);
        if (ok && std::isfinite(percent))
            return qBound(0.0, percent, 100.0);
    }
    return -1;
}

int AptStatusProgress::map(double percent) const
{
    return qMin(Top, m_fromStage + int(std::floor(percent * (Top - m_fromStage) / 100.0)));
}

void AptStatusProgress::readLine(const QByteArray &line)
{
    const double percent = percentOf(line.trimmed());
    if (percent >= 0)
        m_target = qMax(m_target, map(percent));
}

int AptStatusProgress::pendingDelay(qint64 nowMs) const
{
    if (m_target <= m_emitted)
        return -1;
    if (!m_emittedOnce)
        return 0;
    return int(qMax<qint64>(0, m_lastEmitMs + m_minIntervalMs - nowMs));
}

int AptStatusProgress::take(qint64 nowMs)
{
    if (pendingDelay(nowMs) != 0)
        return -1;
    m_emitted = m_target;
    m_lastEmitMs = nowMs;
    m_emittedOnce = true;
    return m_emitted;
}
