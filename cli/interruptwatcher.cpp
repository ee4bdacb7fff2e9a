#include "interruptwatcher.h"

#include <QSocketNotifier>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

int InterruptWatcher::s_pipe[2] = { -1, -1 };

InterruptWatcher::InterruptWatcher(QObject *parent)
    : QObject(parent)
{
    if (pipe2(s_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        qWarning("cannot watch for Ctrl-C: %s", strerror(errno));
        return;
    }
    m_notifier = new QSocketNotifier(s_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &InterruptWatcher::readPipe);
    struct sigaction action
    {
    };
    action.sa_handler = &InterruptWatcher::handleSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &m_previous);
}

InterruptWatcher::~InterruptWatcher()
{
    if (!m_notifier)
        return;
    sigaction(SIGINT, &m_previous, nullptr);
    close(s_pipe[0]);
    close(s_pipe[1]);
    s_pipe[0] = s_pipe[1] = -1;
}

void InterruptWatcher::handleSignal(int)
{
    const int savedErrno = errno;
    const char byte = 1;
    // A full pipe already holds an interruption nobody has read yet.
    (void)!write(s_pipe[1], &byte, 1);
    errno = savedErrno;
}

void InterruptWatcher::readPipe()
{
    char bytes[16];
    while (read(s_pipe[0], bytes, sizeof bytes) > 0) { }
    emit interrupted();
}
