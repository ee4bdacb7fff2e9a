#pragma once

#include "hookscript.h"

#include <QString>
#include <functional>

class QObject;
class VerifiedHome;
struct CheckEnvironment;

// The scripts of one hook directory of a mounted hooks image, run one after the other as root,
// each with the caller's verified home as its argument. Before each script the home's path is
// checked again, so that a link swapped in meanwhile never sends a script's writes elsewhere.
namespace HookSequence {

struct Failure
{
    QString script;
    QString lastLine; // or why the script was not run
    bool refused = false; // not run at all: the home moved, or the directory is no directory
};
using Done = std::function<void(bool passed, const Failure &failure)>;
// A script has ended (however it ended), named as in the directory.
using ScriptDone = std::function<void(const QString &script)>;

// |directory| is "prehook" or "posthook" below the hooks mount |hooksPath|. With
// |stopAtFailure| the first failing script ends the sequence; without, every script runs and
// a failure is only logged. A home that no longer leads where it did stops the sequence either
// way. |done| comes on the event loop, unless |context| is gone by then; |home| must outlive
// the sequence. Scripts named in |skip| are not run again (they ended in an earlier attempt);
// |scriptDone| hears of each that ends.
void run(QObject *context, const CheckEnvironment &environment, const QString &hooksPath,
    const QByteArray &directory, HookScript::Order order, const VerifiedHome *home,
    bool stopAtFailure, Done done, const QStringList &skip = {}, ScriptDone scriptDone = {});

} // namespace HookSequence
