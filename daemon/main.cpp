#include "logmanager.h"
#include "packagecopy.h"
#include "resumerun.h"
#include "shutdowninhibitor.h"
#include "writedbusdata.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace {

// The daemon's mounts (users' packages, their hooks and repositories) live in a mount namespace
// of its own: no other process sees them, reads them through them, or pins them (a user's new
// namespace copies the machine's mounts, not these). Mounts made on the machine still reach the
// daemon. Must happen while the process has one thread: the kernel refuses it later.
// The namespace it started in stays where the paths callers name are looked up.
bool takePrivateMounts()
{
    const int machineMounts = open("/proc/self/ns/mnt", O_RDONLY | O_CLOEXEC);
    if (machineMounts < 0 || unshare(CLONE_NEWNS) < 0)
        return false;
    PackageCopy::setLookupNamespace(machineMounts);
    return mount(nullptr, "/", nullptr, MS_REC | MS_SLAVE, nullptr) == 0;
}

} // namespace

int main(int argc, char *argv[])
{
    // A user cannot mount anything, so a daemon started by one has nothing to keep private.
    if (geteuid() == 0 && !takePrivateMounts()) {
        std::fprintf(stderr, "tevrin-offline-update-daemon: no mount namespace of its own: %s\n",
            std::strerror(errno));
        return 1;
    }
    Karvo::LogManager::setlogFilePath(QStringLiteral("/var/log/tevrin-offline-update-daemon.log"));
    QCoreApplication app(argc, argv);
    app.setOrganizationName(QStringLiteral("tevrin"));
    app.setApplicationName(QStringLiteral("tevrin-offline-update-daemon"));
    Karvo::LogManager::registerConsoleAppender();
    Karvo::LogManager::registerFileAppender();

    // At boot, before anyone logs in: finish an upgrade that was cut short, then end.
    if (app.arguments().contains(QStringLiteral("--resume"))) {
        ShutdownInhibitor inhibitor(QDBusConnection::systemBus());
        ResumeRun resume(CheckEnvironment(), &inhibitor);
        QObject::connect(&resume, &ResumeRun::finished, &app,
            [](bool success) { QCoreApplication::exit(success ? 0 : 1); });
        resume.start();
        return app.exec();
    }

    WriteDBusData service(QDBusConnection::systemBus());
    // Another daemon already serves the bus (or this one may not): nothing to do here.
    if (!service.isRegistered())
        return 0;
    return app.exec();
}
