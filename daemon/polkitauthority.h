#pragma once

#include <QDBusConnection>
#include <QString>

// Asks the system's authority whether a bus client may do something. The client is named by
// its unique bus name, never by a process id that could be reused by another process. Every
// doubt means no: no authority on the bus, an error, a time-out, a refusal.
class PolkitAuthority
{
public:
    static const QString CheckAction;
    static const QString UpgradeAction;

    explicit PolkitAuthority(const QDBusConnection &bus);

    // True when |busName| may perform |actionId|; the authority may first have the desktop's
    // agent ask the user for a password. Otherwise |reason| says why not.
    bool isAuthorized(const QString &busName, const QString &actionId, QString *reason) const;

private:
    QDBusConnection m_bus;
};
