// Verifies one unpacked package directory through PackageSignature, as the daemon does after
// mounting it, and exits 0 when it is Verified.
// Usage: tevrin-bench-verify PACKAGE_DIRECTORY TRUST_DIRECTORY RUN_DIRECTORY
#include "checkenvironment.h"
#include "filedescriptor.h"
#include "packagesignature.h"

#include <QCoreApplication>
#include <QFile>
#include <cstdio>
#include <fcntl.h>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() != 4) {
        std::fputs(
            "usage: tevrin-bench-verify PACKAGE_DIRECTORY TRUST_DIRECTORY RUN_DIRECTORY\n", stderr);
        return 2;
    }
    CheckEnvironment environment;
    environment.trustDirectory = arguments.at(2);
    environment.runDirectory = arguments.at(3);
    const FileDescriptor root(
        open(QFile::encodeName(arguments.at(1)).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!root.isValid()) {
        std::perror("open");
        return 1;
    }
    const PackageSignature signature = PackageSignature::verify(environment, root.get());
    std::fprintf(stderr, "state %d, signer %s%s\n", int(signature.state),
        qPrintable(signature.signer), qPrintable(signature.reason));
    return signature.state == PackageSignature::Verified ? 0 : 1;
}
