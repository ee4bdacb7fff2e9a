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
    // Checking a package no maker signed: never covered by an authorization kept from before.
    static const QString CheckUnsignedAction;

    using Answer = std::function<void(bool authorized, const QString &reason)>;

    explicit PolkitAuthority(const QDBusConnection &bus);

    // Asks whether |busName| may perform |actionId|; the authority may first have the desktop's
    // agent ask the user for a password, which takes as long as the user takes. |answer| comes
    // on the event loop (with the reason when refused), unless |context| is gone by then.
    // |cancellationId|, when given, lets cancel() withdraw the question (and its prompt).
    // Without |interactive|, nobody is asked: only what the policy grants outright counts.
    void check(const QString &busName, const QString &actionId, QObject *context, Answer answer,
        const QString &cancellationId = QString(), bool interactive = true) const;
    void cancel(const QString &cancellationId) const;

private:
    QDBusConnection m_bus;
};
