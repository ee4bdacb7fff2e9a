#include "terminalauthagent.h"

#include <QCoreApplication>
#include <QStandardPaths>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

constexpr int RegistrationTimeoutMs = 10000;

} // namespace

TerminalAuthAgent::TerminalAuthAgent(const QString &program)
    : m_program(program)
{ }

TerminalAuthAgent::~TerminalAuthAgent()
{
    stop();
}

bool TerminalAuthAgent::start()
{
    if (m_process.state() != QProcess::NotRunning)
        return true;
    const QString path = QStandardPaths::findExecutable(m_program);
    if (!isatty(STDIN_FILENO) || path.isEmpty())
        return false;

    // The agent closes the write end of this pipe once it has registered (or has given up);
    // a privileged call made earlier would find no agent and be refused.
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0)
        return false;
    fcntl(ready[1], F_SETFD, 0);
    m_process.setProcessChannelMode(QProcess::ForwardedChannels);
    m_process.setInputChannelMode(QProcess::ForwardedInputChannel);
    m_process.start(path,
        { QStringLiteral("--process"), QString::number(QCoreApplication::applicationPid()),
            QStringLiteral("--notify-fd"), QString::number(ready[1]),
            QStringLiteral("--fallback") });
    close(ready[1]);
    bool started = m_process.waitForStarted();
    if (started) {
        pollfd registered { ready[0], POLLIN, 0 };
        (void)poll(&registered, 1, RegistrationTimeoutMs);
        started = m_process.state() == QProcess::Running;
    }
    close(ready[0]);
    return started;
}

void TerminalAuthAgent::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(3000))
        m_process.kill();
    m_process.waitForFinished(3000);
}
