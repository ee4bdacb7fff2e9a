#pragma once

#include "calleridentity.h"
#include "filedescriptor.h"

#include <QByteArray>
#include <QString>

struct CheckEnvironment;

// What one run acts on, resolved once when it starts: who asked, their home directory (held
// open), and the root-owned directory <run directory>/<uid>/ whose three mount points hold the
// package, its hooks image and its repository image. Users can neither write there nor place
// links there, so nothing they do during a run redirects a mount or an unmount.
class RunContext
{
public:
    static const QByteArray PackageMount; // "oup"
    static const QByteArray HooksMount; // "hooks"
    static const QByteArray RepositoryMount; // "repo"

    enum Failure { NoFailure, HomeRefused, DirectoryRefused, StillMounted };

    // Checks the home path against the caller, clears what an earlier run of this uid left
    // mounted (lazily where busy) and what an earlier version left in ~/.cache, and makes the
    // empty mount points. On failure, |error| says why.
    Failure prepare(const CheckEnvironment &environment, const CallerIdentity &caller,
        const QString &homePath, QString *error);

    const CallerIdentity &caller() const { return m_caller; }
    QString homePath() const { return m_homePath; }
    int runFd() const { return m_run.get(); }
    // <run directory>/<uid>/<mount>, for programs that take paths.
    QString path(const QByteArray &mount) const;

    // Whether something other than the directory's own file system is mounted on |name|.
    static bool isMountPoint(int directoryFd, const QByteArray &name);
    // Takes down every mount stacked on |name|, lazily when one is busy; true when nothing is
    // mounted there afterwards.
    static bool unmount(int directoryFd, const QByteArray &name);

private:
    bool checkHome(const QString &homePath, QString *error);
    void clearEarlierCache();

    CallerIdentity m_caller;
    QString m_homePath;
    QString m_runPath;
    FileDescriptor m_home;
    FileDescriptor m_run;
};
