#pragma once

#include "outcome.h"

class DaemonClient;
class SessionOutput;
struct ServiceStatus;

// "status": whether the service answers, whether dpkg was left interrupted (an upgrade cut
// short leaves it so) and what the service's last check recorded. dpkg's state comes from the
// service; only where it cannot tell does |dpkgProgram| --audit, and only an audit that ran to
// its end counts. A state nobody learned is reported as unknown, never as consistent.
class StatusCommand
{
public:
    StatusCommand(DaemonClient *daemon, SessionOutput *output,
        const QString &dpkgProgram = QStringLiteral("dpkg"));

    Outcome run();

private:
    void learnDpkgState(ServiceStatus *status);

    DaemonClient *m_daemon;
    SessionOutput *m_output;
    QString m_dpkgProgram;
};
