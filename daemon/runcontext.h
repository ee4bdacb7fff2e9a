#pragma once

#include "filedescriptor.h"

#include <QByteArray>
#include <QString>
#include <sys/types.h>

struct CheckEnvironment;

// The root-only directory <run directory>/<uid>/ of one user's run, whose three mount points
// hold the package, its hooks image and its repository image. Nobody else can enter it, place
// links there or see what is mounted (the daemon's mounts live in a mount namespace of its
// own), so nothing another process does redirects a mount or an unmount, or reads a package.
class RunContext
{
public:
    static const QByteArray PackageMount; // "oup"
    static const QByteArray HooksMount; // "hooks"
    static const QByteArray RepositoryMount; // "repo"

    enum Failure { NoFailure, DirectoryRefused, StillMounted };

    // Clears what an earlier run of |uid| left mounted (lazily where busy) and makes the empty
    // mount points. On failure, |error| says why.
    Failure prepare(const CheckEnvironment &environment, uid_t uid, QString *error);
    // Takes down this run's mounts; what a process still works in goes when it leaves.
    void unmountAll();

    bool isValid() const { return m_run.isValid(); }
    int runFd() const { return m_run.get(); }
    // <run directory>/<uid>/<mount>, for programs that take paths.
    QString path(const QByteArray &mount) const;

    // Whether something other than the directory's own file system is mounted on |name|.
    static bool isMountPoint(int directoryFd, const QByteArray &name);
    // Takes down every mount stacked on |name|, lazily when one is busy; true when nothing is
    // mounted there afterwards.
    static bool unmount(int directoryFd, const QByteArray &name);
    // The root-owned directory |name| below |parentFd| with |mode|, made when missing; an
    // existing one that others may enter more than |mode| lets them is narrowed to it.
    static FileDescriptor rootsDirectory(
        int parentFd, const QByteArray &name, mode_t mode, QString *error);

private:
    QString m_runPath;
    FileDescriptor m_run;
};
