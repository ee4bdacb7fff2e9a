#pragma once

#include "outcome.h"

#include <QJsonObject>
#include <QObject>

class DaemonClient;
class QDBusPendingCall;
class SessionOutput;

// The service's backup-then-upgrade sequence after a passed check: BackupSystem, its progress
// pairs and apt's output to the end, the post-upgrade scripts, and the reboot when asked for.
// Ends with one finished().
class UpgradeSession : public QObject
{
    Q_OBJECT

public:
    UpgradeSession(DaemonClient *daemon, SessionOutput *output, const QString &home, bool reboot,
        QObject *parent = nullptr);

    void start(int expectedPackages);
    // Ctrl-C: the service goes on whatever this program does, so it keeps reporting.
    void interrupt();

signals:
    void finished(const Outcome &outcome);

private:
    void acceptProgress(int progress, int code);
    // The upgrade failed: the service's reason, in the words the tool uses too, is the last
    // thing said.
    void finishFailed(QJsonObject details);
    void runPostHooks();
    void requestReboot();
    void finish(const Outcome &outcome);
    // Runs |then| with the reply of |call|, or finishes with its error.
    template <typename Then>
    void onReply(const QDBusPendingCall &call, const QString &action, Then then);

    DaemonClient *m_daemon;
    SessionOutput *m_output;
    QString m_home;
    bool m_reboot;
    bool m_upgraded = false;
    bool m_done = false;
};
