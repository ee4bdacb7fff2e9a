#include "asynccommand.h"

#include "commandoutput.h"

#include <QTimer>
#include <csignal>
#include <unistd.h>

namespace {

// A process group of its own, so that a program killed for running too long takes what it
// started with it instead of leaving it to hold an image or a lock.
class GroupLeaderProcess : public QProcess
{
public:
    using QProcess::QProcess;

protected:
    void setupChildProcess() override { setsid(); }
};

// Output kept for the result; a program that prints more is cut, never the daemon's memory.
constexpr int OutputLimit = 4 * 1024 * 1024;

void append(QByteArray *kept, const QByteArray &chunk)
{
    if (kept->size() < OutputLimit)
        kept->append(chunk.left(OutputLimit - kept->size()));
}

} // namespace

AsyncCommand::AsyncCommand(QObject *owner, Done done)
    : QObject(owner)
    , m_process(new GroupLeaderProcess(this))
    , m_timer(new QTimer(this))
    , m_done(std::move(done))
{ }

AsyncCommand *AsyncCommand::start(QObject *owner, const QString &program,
    const QStringList &arguments, int timeLimitMs, Done done, const QString &workingDirectory)
{
    auto *command = new AsyncCommand(owner, std::move(done));
    QProcess *process = command->m_process;
    connect(process, &QProcess::readyReadStandardOutput, command, [command] {
        const QByteArray chunk = command->m_process->readAllStandardOutput();
        append(&command->m_result.standardOutput, chunk);
        emit command->standardOutputRead(chunk);
    });
    connect(process, &QProcess::readyReadStandardError, command, [command] {
        const QByteArray chunk = command->m_process->readAllStandardError();
        append(&command->m_result.standardError, chunk);
        emit command->standardErrorRead(chunk);
    });
    connect(process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), command,
        [command](int code, QProcess::ExitStatus status) {
            command->m_result.finished = !command->m_timedOut && status == QProcess::NormalExit;
            command->m_result.exitCode = status == QProcess::NormalExit ? code : -1;
            if (!command->m_result.finished && command->m_result.errorString.isEmpty())
                command->m_result.errorString = command->m_process->errorString();
            command->deliver();
        });
    connect(process, &QProcess::errorOccurred, command, [command](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        command->m_result.errorString = command->m_process->errorString();
        command->deliver();
    });
    command->m_timer->setSingleShot(true);
    connect(command->m_timer, &QTimer::timeout, command, [command, program, timeLimitMs] {
        command->m_result.errorString
            = QStringLiteral("%1 did not end within %2 ms").arg(program).arg(timeLimitMs);
        command->kill();
    });
    if (!workingDirectory.isEmpty())
        process->setWorkingDirectory(workingDirectory);
    // The daemon reads what its programs print: always in the one language it reads.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    process->setProcessEnvironment(environment);
    // Nothing the daemon runs may wait for input that nobody gives.
    process->setStandardInputFile(QProcess::nullDevice());
    process->start(program, arguments, QIODevice::ReadOnly);
    if (timeLimitMs >= 0)
        command->m_timer->start(timeLimitMs);
    return command;
}

void AsyncCommand::kill()
{
    if (m_process->state() == QProcess::NotRunning)
        return;
    m_timedOut = true;
    if (m_process->processId() > 0)
        ::kill(-pid_t(m_process->processId()), SIGKILL);
    m_process->kill();
}

void AsyncCommand::deliver()
{
    if (m_delivered)
        return;
    m_delivered = true;
    m_timer->stop();
    // Whatever arrived with the end is still in the buffers.
    const QByteArray output = m_process->readAllStandardOutput();
    const QByteArray error = m_process->readAllStandardError();
    append(&m_result.standardOutput, output);
    append(&m_result.standardError, error);
    if (!output.isEmpty())
        emit standardOutputRead(output);
    if (!error.isEmpty())
        emit standardErrorRead(error);
    deleteLater();
    const Done done = std::move(m_done);
    done(m_result);
}

QString AsyncCommand::Result::describe() const
{
    if (!finished)
        return errorString;
    const QString said = CommandOutput::decode(standardError + standardOutput);
    return QStringLiteral("exit code %1%2")
        .arg(exitCode)
        .arg(said.isEmpty() ? QString() : QStringLiteral(": ") + said);
}
