#pragma once

#include <QProcess>
#include <csignal>
#include <sys/prctl.h>

// A process the test starts and that must not outlive it: a crashed test would otherwise leave
// its bus daemons running, holding CTest's output pipe open until someone kills them.
class ChildProcess : public QProcess
{
protected:
    void setupChildProcess() override { prctl(PR_SET_PDEATHSIG, SIGTERM); }
};
