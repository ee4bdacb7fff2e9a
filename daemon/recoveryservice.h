#pragma once

#include <QDBusConnection>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>

class QDBusServiceWatcher;

// The daemon's side of one conversation with the A/B recovery service: may a backup be made,
// make one, and when did it end. Only the end of the backup this daemon asked for counts, from
// the service that accepted the request: not a backup someone else started, nor one from a
// service that has restarted since. A service that leaves the bus before the end ends it as
// failed.
class RecoveryService : public QObject
{
    Q_OBJECT

public:
    static const QString Name; // "com.tevrin.ABRecovery", also its interface
    static const QString Path;

    explicit RecoveryService(const QDBusConnection &bus, QObject *parent = nullptr);

    // Whether the system supports a backup now; false on any doubt (no service, an error).
    void canBackup(std::function<void(bool possible)> answer);
    // Asks for a backup; backupRefused() or backupEnded() follows exactly once.
    void startBackup();
    bool isBackingUp() const { return m_requested; }

    // A "JobEnd" signal of the service, from |sender| (a unique bus name).
    void acceptJobEnd(const QString &sender, const QString &kind, bool success, const QString &errMsg);

signals:
    void backupRefused(const QString &errMsg); // the service did not take the request
    void backupStarted(); // the service took it; its end follows
    void backupEnded(bool success, const QString &errMsg);

private:
    void end(bool success, const QString &errMsg);

    QDBusConnection m_bus;
    bool m_requested = false;
    bool m_awaitingAnswer = false;
    QString m_owner;
    QDBusServiceWatcher *m_watcher = nullptr;
    struct EarlyJobEnd
    {
        QString sender;
        bool success = false;
        QString errMsg;
    };
    QList<EarlyJobEnd> m_earlyJobEnds;
};
