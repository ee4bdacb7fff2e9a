#pragma once

#include <QProcess>
#include <csignal>
#include <sys/prctl.h>

// A process the test starts and that must not outlive it: a crashed test would otherwise leave
// its bus daemons running, holding CTest's output pipe open until someone kills them. Going out
// of scope asks it to end first, so that a daemon may take down what it mounted.
class ChildProcess : public QProcess
{
public:
    ~ChildProcess() override { stop(); }

    void stop(int msecs = 10000)
    {
        if (state() == NotRunning)
            return;
        terminate();
        if (!waitForFinished(msecs))
            kill();
        waitForFinished(msecs);
    }

    // Runs |command| to its end: its exit code, or -1 when it did not start, crashed or ran
    // longer than |msecs|. Standard output and error go to |output|.
    static int run(const QStringList &command, QByteArray *output = nullptr, int msecs = 300000)
    {
        ChildProcess process;
        process.setProcessChannelMode(MergedChannels);
        process.start(command.value(0), command.mid(1));
        const bool ended = process.waitForFinished(msecs);
        if (output)
            *output = process.readAll();
        return ended && process.exitStatus() == NormalExit ? process.exitCode() : -1;
    }

protected:
    void setupChildProcess() override { prctl(PR_SET_PDEATHSIG, SIGTERM); }
};
