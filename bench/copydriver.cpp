// Makes the daemon's private copy of one package (as root), mounts it and verifies its
// signature, as a check does before any of the package's code runs; exits 0 when it verified.
// Usage: tevrin-bench-copy PACKAGE COPY_DIRECTORY TRUST_DIRECTORY RUN_DIRECTORY
#include "calleridentity.h"
#include "checkenvironment.h"
#include "filedescriptor.h"
#include "imagemount.h"
#include "packagecopy.h"
#include "packagesignature.h"
#include "runcontext.h"
#include "safetree.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <cstdio>
#include <fcntl.h>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() != 5) {
        std::fputs("usage: tevrin-bench-copy PACKAGE COPY_DIRECTORY TRUST_DIRECTORY "
                   "RUN_DIRECTORY\n",
            stderr);
        return 2;
    }
    CheckEnvironment environment;
    environment.trustDirectory = arguments.at(3);
    environment.runDirectory = arguments.at(4);
    const FileDescriptor copies(
        open(QFile::encodeName(arguments.at(2)).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    RunContext run;
    QString error;
    if (!copies.isValid() || run.prepare(environment, 0, &error) != RunContext::NoFailure) {
        std::fprintf(stderr, "cannot set up: %s\n", qPrintable(error));
        return 1;
    }
    int status = 1;
    // Each phase's share goes to standard error, to tell where the time goes.
    QElapsedTimer clock;
    clock.start();
    PackageCopy copy;
    FileDescriptor held;
    copy.start(CallerIdentity::root(), arguments.at(1), copies.get(), 30000, {},
        [&](const PackageCopy::Result &result) {
            if (result.outcome != PackageCopy::Copied) {
                std::fprintf(stderr, "not copied: %s\n", qPrintable(result.reason));
                app.exit(1);
                return;
            }
            held = copy.takeCopy();
            std::fprintf(stderr, "copied in %lld ms\n", clock.restart());
            ImageMount::mount(&app, environment, held.get(), run, RunContext::PackageMount,
                [&](bool mounted, const QString &why) {
                    if (!mounted) {
                        std::fprintf(stderr, "not mounted: %s\n", qPrintable(why));
                        app.exit(1);
                        return;
                    }
                    std::fprintf(stderr, "mounted in %lld ms\n", clock.restart());
                    const FileDescriptor root
                        = SafeTree::openDirectory(run.runFd(), RunContext::PackageMount);
                    const PackageSignature signature
                        = PackageSignature::verify(environment, root.get());
                    std::fprintf(stderr, "verified in %lld ms\n", clock.restart());
                    std::fprintf(stderr, "state %d, signer %s%s\n", int(signature.state),
                        qPrintable(signature.signer), qPrintable(signature.reason));
                    status = signature.state == PackageSignature::Verified ? 0 : 1;
                    app.exit(status);
                });
        });
    app.exec();
    run.unmountAll();
    return status;
}
