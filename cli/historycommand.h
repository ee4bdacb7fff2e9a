#pragma once

#include "outcome.h"

class DaemonClient;
class SessionOutput;

// "history": the service's checks and upgrades, oldest first; the caller's own, or everyone's
// for root and the administrators the service lets see them.
class HistoryCommand
{
public:
    HistoryCommand(DaemonClient *daemon, SessionOutput *output);

    Outcome run();

private:
    DaemonClient *m_daemon;
    SessionOutput *m_output;
};
