#include "hooksequence.h"

#include "checkenvironment.h"
#include "commandoutput.h"
#include "filedescriptor.h"
#include "verifiedhome.h"

#include <QDebug>
#include <QFile>
#include <QPointer>
#include <fcntl.h>
#include <memory>

namespace {

struct Sequence
{
    QPointer<QObject> context;
    CheckEnvironment environment;
    QString directory;
    QStringList scripts;
    QStringList skip;
    const VerifiedHome *home = nullptr;
    bool stopAtFailure = false;
    HookSequence::Done done;
    HookSequence::ScriptDone scriptDone;
};

void runFrom(const std::shared_ptr<Sequence> &sequence, int index)
{
    if (!sequence->context)
        return;
    if (index >= sequence->scripts.size()) {
        sequence->done(true, {});
        return;
    }
    const QString script = sequence->scripts.at(index);
    if (sequence->skip.contains(script)) {
        runFrom(sequence, index + 1);
        return;
    }
    QString moved;
    if (!sequence->home->stillLeadsHere(&moved)) {
        qWarning() << "HookSequence" << "not running" << script << ":" << moved;
        sequence->done(false, { script, moved, true });
        return;
    }
    auto *run = new HookRun(sequence->environment.bash, sequence->environment.hookTimeLimitMs,
        sequence->environment.setpriv, sequence->environment.unshare, sequence->context);
    QObject::connect(run, &HookRun::finished, run, [=](const HookRun::Result &result) {
        run->deleteLater();
        if (!result.finished)
            qWarning() << "OfflineCheck::runHook"
                       << QStringLiteral("Failed bash %1").arg(sequence->directory)
                       << result.errorString;
        qWarning() << sequence->directory + QLatin1Char('/') + script;
        qWarning() << CommandOutput::decode(result.outputTail);
        if (!result.ended.isEmpty())
            qWarning() << "OfflineCheck::runHook"
                       << "ended with" << script << ":" << result.ended;
        if (sequence->scriptDone)
            sequence->scriptDone(script);
        if (!(result.finished && result.exitCode == 0) && sequence->stopAtFailure) {
            sequence->done(
                false, { script, result.finished ? result.lastLine : result.errorString, false });
            return;
        }
        runFrom(sequence, index + 1);
    });
    run->start(sequence->directory, script, sequence->home->path());
}

} // namespace

void HookSequence::run(QObject *context, const CheckEnvironment &environment,
    const QString &hooksPath, const QByteArray &directory, HookScript::Order order,
    const VerifiedHome *home, bool stopAtFailure, Done done, const QStringList &skip,
    ScriptDone scriptDone)
{
    // Listed through a descriptor of the hooks mount inside the root-only run directory: a
    // "prehook" or "posthook" that is a link is refused, not followed.
    const FileDescriptor hooks(
        ::open(QFile::encodeName(hooksPath).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    bool refused = false;
    const QStringList scripts = hooks.isValid()
        ? HookScript::entries(hooks.get(), directory, order, &refused)
        : QStringList();
    if (refused) {
        qWarning() << "HookSequence" << "refusing to run scripts from" << hooksPath << directory
                   << ": not a directory of the package";
        done(false, { QFile::decodeName(directory), QStringLiteral("not a directory"), true });
        return;
    }
    auto sequence = std::make_shared<Sequence>();
    sequence->context = context;
    sequence->environment = environment;
    sequence->directory = hooksPath + QLatin1Char('/') + QFile::decodeName(directory);
    sequence->scripts = scripts;
    sequence->home = home;
    sequence->stopAtFailure = stopAtFailure;
    sequence->done = std::move(done);
    sequence->skip = skip;
    sequence->scriptDone = std::move(scriptDone);
    runFrom(sequence, 0);
}
