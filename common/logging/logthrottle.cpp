#include "logthrottle.h"

#include <QtGlobal>
#include <chrono>

namespace {

qint64 monotonicMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void logWarning(const QString &line)
{
    qWarning("%s", qUtf8Printable(line));
}

} // namespace

LogThrottle::LogThrottle(qint64 windowMs, int maxKeys, Sink sink, Clock clock)
    : m_windowMs(qMax<qint64>(windowMs, 1))
    , m_maxKeys(qMax(maxKeys, 1))
    , m_sink(sink ? std::move(sink) : Sink(logWarning))
    , m_clock(clock ? std::move(clock) : Clock(monotonicMs))
{ }

LogThrottle::~LogThrottle()
{
    const qint64 now = m_clock();
    for (const Window &window : m_windows)
        summarise(window, now);
}

bool LogThrottle::allow(const QString &key)
{
    // Ended windows go first, so that this call opens a new one for its key.
    flush();
    const auto found = m_byKey.constFind(key);
    if (found != m_byKey.constEnd()) {
        ++found.value()->repeats;
        return false;
    }
    const qint64 now = m_clock();
    if (m_windows.size() >= size_t(m_maxKeys))
        drop(m_windows.begin(), now);
    m_windows.push_back({ key, now, 0 });
    m_byKey.insert(key, std::prev(m_windows.end()));
    return true;
}

void LogThrottle::flush()
{
    const qint64 now = m_clock();
    while (!m_windows.empty() && now - m_windows.front().start >= m_windowMs)
        drop(m_windows.begin(), now);
}

void LogThrottle::summarise(const Window &window, qint64 now) const
{
    if (window.repeats == 0)
        return;
    // Rounded up and at least 1: every repeat counted happened within the seconds named.
    const qint64 seconds = qMax<qint64>((now - window.start + 999) / 1000, 1);
    m_sink(QStringLiteral("%1: %2 more %3 in the last %4 s")
               .arg(window.key)
               .arg(window.repeats)
               .arg(QLatin1String(window.repeats == 1 ? "time" : "times"))
               .arg(seconds));
}

void LogThrottle::drop(Windows::iterator window, qint64 now)
{
    summarise(*window, now);
    m_byKey.remove(window->key);
    m_windows.erase(window);
}
