#pragma once

#include <QObject>
#include <csignal>

class QSocketNotifier;

// Turns SIGINT into a Qt signal. The handler only writes a byte to a pipe; the event loop reads
// it, so that nothing but that write happens inside the signal handler. One per process.
class InterruptWatcher : public QObject
{
    Q_OBJECT

public:
    explicit InterruptWatcher(QObject *parent = nullptr);
    ~InterruptWatcher() override;

    bool isActive() const { return m_notifier != nullptr; }

signals:
    void interrupted();

private:
    static void handleSignal(int signal);
    void readPipe();

    static int s_pipe[2];
    QSocketNotifier *m_notifier = nullptr;
    struct sigaction m_previous
    {
    };
};
