#pragma once

#include "outcome.h"

class DaemonClient;
class SessionOutput;

// "status": whether the service answers, whether dpkg was left interrupted (an upgrade cut
// short leaves it so) and what the service's last check recorded.
class StatusCommand
{
public:
    StatusCommand(DaemonClient *daemon, SessionOutput *output,
        const QString &dpkgProgram = QStringLiteral("dpkg"));

    Outcome run();

private:
    DaemonClient *m_daemon;
    SessionOutput *m_output;
    QString m_dpkgProgram;
};
