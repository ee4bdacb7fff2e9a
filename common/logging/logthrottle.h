#pragma once

#include <QHash>
#include <QString>
#include <functional>
#include <list>

// Keeps a line that any caller can provoke at will (a refused call) from filling the disk:
//     if (m_refusals.allow(QStringLiteral("refusing BackupSystem to uid %1").arg(uid)))
//         qWarning() << "refusing BackupSystem to uid" << uid << ...;
// The first allow() of a key in a window says true; the others that window only count, and once
// the window is over the next allow() or flush() writes "<key>: N more times in the last S s".
// Call flush() from a timer so that a count is not held back until the next call. Keys must come
// from a small set (method, uid), never from a caller's string: each key held costs memory, and
// past maxKeys the oldest is summarised early and forgotten. One thread only; no event loop used.
class LogThrottle
{
public:
    // Milliseconds on a clock that never goes back.
    using Clock = std::function<qint64()>;
    using Sink = std::function<void(const QString &line)>;

    // The default sink logs a summary as a warning, the default clock is the monotonic one.
    explicit LogThrottle(
        qint64 windowMs = 60000, int maxKeys = 256, Sink sink = {}, Clock clock = {});
    // Summarises every count still held, so that nothing counted is lost at exit.
    ~LogThrottle();

    LogThrottle(const LogThrottle &) = delete;
    LogThrottle &operator=(const LogThrottle &) = delete;

    bool allow(const QString &key);
    void flush();

private:
    struct Window
    {
        QString key;
        qint64 start;
        int repeats;
    };
    using Windows = std::list<Window>;

    void summarise(const Window &window, qint64 now) const;
    void drop(Windows::iterator window, qint64 now);

    const qint64 m_windowMs;
    const int m_maxKeys;
    const Sink m_sink;
    const Clock m_clock;
    // Oldest first: a window is only ever added at the back, so the ended ones are at the front.
    Windows m_windows;
    QHash<QString, Windows::iterator> m_byKey;
};
