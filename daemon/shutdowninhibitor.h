#pragma once

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QObject>

class QDBusPendingCallWatcher;

// Keeps the machine from shutting down or sleeping while an upgrade is being installed, through
// the login manager's inhibitor lock on the system bus: the lock holds for as long as the
// descriptor it hands out stays open, also when this process dies.
class ShutdownInhibitor : public QObject
{
    Q_OBJECT

public:
    explicit ShutdownInhibitor(const QDBusConnection &bus, QObject *parent = nullptr);
    ~ShutdownInhibitor() override;

    // Asynchronous; without a login manager it logs one line and the upgrade goes on unguarded.
    void take();
    // Closes the descriptor; a lock still on its way is dropped as soon as it arrives.
    void release();
    bool isHeld() const;

signals:
    void taken(); // the lock is held
    void unavailable(const QString &why); // the login manager refused or is not there

private:
    void onReply(QDBusPendingCallWatcher *watcher);

    QDBusConnection m_bus;
    QDBusUnixFileDescriptor m_lock;
    QDBusPendingCallWatcher *m_pending = nullptr;
    bool m_wanted = false;
};
