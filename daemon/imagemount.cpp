#include "imagemount.h"

#include "asynccommand.h"
#include "checkenvironment.h"
#include "commandoutput.h"
#include "runcontext.h"

#include <QPointer>
#include <unistd.h>

void ImageMount::mount(QObject *context, const CheckEnvironment &environment, int imageFd,
    const RunContext &run, const QByteArray &mountPoint, Done done)
{
    const QString image = QStringLiteral("/proc/%1/fd/%2").arg(getpid()).arg(imageFd);
    const QString target = run.path(mountPoint);
    const int runFd = run.runFd();
    const QString losetup = environment.losetup;
    const QString mountProgram = environment.mount;
    AsyncCommand::start(context, losetup,
        { QStringLiteral("--find"), QStringLiteral("--show"), QStringLiteral("--read-only"),
            image },
        CommandOutput::WaitMs,
        [=](const AsyncCommand::Result &attached) {
            const QString device = CommandOutput::decode(attached.standardOutput);
            if (!attached.succeeded() || !device.startsWith(QLatin1String("/dev/loop"))) {
                done(false, QStringLiteral("losetup: ") + attached.describe());
                return;
            }
            AsyncCommand::start(context, mountProgram,
                { QStringLiteral("--no-canonicalize"), QStringLiteral("-t"),
                    QStringLiteral("squashfs"), QStringLiteral("-o"),
                    QStringLiteral("ro,nosuid,nodev"), device, target },
                CommandOutput::WaitMs,
                [=](const AsyncCommand::Result &mounted) {
                    // A mounted device goes with its last mount, one that did not get mounted
                    // goes at once; either way it is let go of before the answer, so that
                    // nothing is left attached when the caller stops soon after.
                    AsyncCommand::start(context, losetup, { QStringLiteral("--detach"), device },
                        CommandOutput::WaitMs, [=](const AsyncCommand::Result &) {
                            if (!mounted.succeeded())
                                done(false, QStringLiteral("mount: ") + mounted.describe());
                            else if (!RunContext::isMountPoint(runFd, mountPoint))
                                done(false,
                                    target + QStringLiteral(" is not a mount point after mount"));
                            else
                                done(true, QString());
                        });
                });
        });
}
