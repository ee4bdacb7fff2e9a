#include "hookscript.h"

#include "commandoutput.h"

#include <QDir>
#include <QProcess>
#include <csignal>
#include <unistd.h>

namespace {

// A script runs in a process group of its own, so that a script killed for running too long
// takes whatever it started with it, instead of leaving it to hold the hooks image busy.
class ScriptProcess : public QProcess
{
protected:
    void setupChildProcess() override { setsid(); }
};

} // namespace

QStringList HookScript::entries(const QString &directory, Order order)
{
    const QDir::SortFlags sort = order == NameOrder ? QDir::Name | QDir::IgnoreCase : QDir::Unsorted;
    QStringList paths;
    const QFileInfoList list = QDir(directory).entryInfoList(
        QDir::Dirs | QDir::Files | QDir::Hidden | QDir::NoSymLinks | QDir::NoDotAndDotDot, sort);
    for (const QFileInfo &info : list)
        paths << info.absoluteFilePath();
    return paths;
}

HookScript HookScript::run(const QString &bash, const QString &script, const QString &homePath,
                           const QString &directory)
{
    HookScript result;
    ScriptProcess process;
    process.setWorkingDirectory(directory);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(bash, { script, homePath });
    result.finished = process.waitForFinished(TimeoutMs)
                      && process.exitStatus() == QProcess::NormalExit;
    if (!result.finished) {
        result.errorString = process.errorString();
        if (process.processId() > 0)
            ::kill(-pid_t(process.processId()), SIGKILL);
        process.kill();
        process.waitForFinished(CommandOutput::WaitMs);
        return result;
    }
    result.exitCode = process.exitCode();
    result.output = CommandOutput::decode(process.readAll());
    return result;
}
