#pragma once

#include <QDBusConnection>
#include <QString>
#include <functional>

class QObject;

// Asks the system's authority whether a bus client may do something. The client is named by
// its unique bus name, never by a process id that could be reused by another process. Every
// doubt means no: no authority on the bus, an error, a time-out, a refusal.
class PolkitAuthority
{
public:
    static const QString CheckAction;
    static const QString UpgradeAction;

    using Answer = std::function<void(bool authorized, const QString &reason)>;

    explicit PolkitAuthority(const QDBusConnection &bus);

    // Asks whether |busName| may perform |actionId|; the authority may first have the desktop's
    // agent ask the user for a password, which takes as long as the user takes. |answer| comes
    // on the event loop (with the reason when refused), unless |context| is gone by then.
    void check(
        const QString &busName, const QString &actionId, QObject *context, Answer answer) const;

private:
    QDBusConnection m_bus;
};
