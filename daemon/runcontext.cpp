#include "runcontext.h"

#include "checkenvironment.h"
#include "safetree.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

const QByteArray RunContext::PackageMount = QByteArrayLiteral("oup");
const QByteArray RunContext::HooksMount = QByteArrayLiteral("hooks");
const QByteArray RunContext::RepositoryMount = QByteArrayLiteral("repo");

namespace {

const QByteArray EarlierCacheName = QByteArrayLiteral("tevrin-offline-update");

QString lastError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// A directory of the daemon's: root's, writable by nobody else, and not a link (the caller
// opened it without following one).
bool isRootsDirectory(int fd)
{
    struct stat status
    {
    };
    return fstat(fd, &status) == 0 && S_ISDIR(status.st_mode) && status.st_uid == 0
        && (status.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

FileDescriptor rootsDirectory(int parentFd, const QByteArray &name, QString *error)
{
    if (mkdirat(parentFd, name.constData(), 0755) < 0 && errno != EEXIST) {
        *error = QStringLiteral("cannot make %1: %2").arg(QFile::decodeName(name), lastError());
        return {};
    }
    FileDescriptor directory = SafeTree::openDirectory(parentFd, name);
    if (!directory.isValid() || !isRootsDirectory(directory.get())) {
        *error = QStringLiteral("%1 is not a directory that only root may change")
                     .arg(QFile::decodeName(name));
        return {};
    }
    return directory;
}

QString descriptorPath(int fd, const QByteArray &name)
{
    return QStringLiteral("/proc/self/fd/%1/").arg(fd) + QFile::decodeName(name);
}

} // namespace

bool RunContext::isMountPoint(int directoryFd, const QByteArray &name)
{
    quint64 own = 0;
    quint64 entry = 0;
    return SafeTree::mountOf(directoryFd, QByteArray(), &own)
        && SafeTree::mountOf(directoryFd, name, &entry) && own != entry;
}

bool RunContext::unmount(int directoryFd, const QByteArray &name)
{
    // Mounts may be stacked; a few rounds take down what any earlier run can have left.
    for (int round = 0; round < 8 && isMountPoint(directoryFd, name); ++round) {
        const QByteArray path = QFile::encodeName(descriptorPath(directoryFd, name));
        if (umount2(path.constData(), UMOUNT_NOFOLLOW) == 0)
            continue;
        // Busy (a process still works in it): detached now, gone when the last user leaves.
        if (umount2(path.constData(), MNT_DETACH | UMOUNT_NOFOLLOW) < 0) {
            qWarning() << Q_FUNC_INFO << "cannot unmount" << path << ":" << lastError();
            return false;
        }
    }
    return !isMountPoint(directoryFd, name);
}

bool RunContext::checkHome(const QString &homePath, QString *error)
{
    // Compared with the password database's home by device and inode of what was opened, so
    // no other spelling or a path swapped after a check passes.
    m_home = m_caller.openHome(homePath, error);
    return m_home.isValid();
}

void RunContext::clearEarlierCache()
{
    // Earlier versions mounted in ~/.cache/tevrin-offline-update; what they left is cleared,
    // and neither that directory nor ~/.cache is made again.
    const FileDescriptor dotCache
        = SafeTree::openDirectory(m_home.get(), QByteArrayLiteral(".cache"));
    if (!dotCache.isValid())
        return;
    const FileDescriptor cache = SafeTree::openDirectory(dotCache.get(), EarlierCacheName);
    if (!cache.isValid())
        return;
    // Only a directory root made can hold mounts of ours; in a user's own, a "mount point" could
    // be anything the user arranged.
    if (isRootsDirectory(cache.get())) {
        for (const QByteArray &name : { RepositoryMount, HooksMount, PackageMount })
            unmount(cache.get(), name);
    }
    QString error;
    if (!SafeTree::removeTree(dotCache.get(), EarlierCacheName, &error))
        qWarning() << Q_FUNC_INFO << "cannot clear what an earlier version left:" << error;
}

RunContext::Failure RunContext::prepare(const CheckEnvironment &environment,
    const CallerIdentity &caller, const QString &homePath, QString *error)
{
    m_caller = caller;
    m_homePath = homePath;
    if (!checkHome(homePath, error))
        return HomeRefused;
    clearEarlierCache();

    const QFileInfo runInfo(QDir::cleanPath(environment.runDirectory));
    const FileDescriptor runParent(
        ::open(QFile::encodeName(runInfo.path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!runParent.isValid()) {
        *error = QStringLiteral("cannot open %1: %2").arg(runInfo.path(), lastError());
        return DirectoryRefused;
    }
    const FileDescriptor runDirectory
        = rootsDirectory(runParent.get(), QFile::encodeName(runInfo.fileName()), error);
    if (!runDirectory.isValid())
        return DirectoryRefused;
    const QByteArray uidName = QByteArray::number(caller.uid);
    m_run = rootsDirectory(runDirectory.get(), uidName, error);
    if (!m_run.isValid())
        return DirectoryRefused;
    m_runPath = runInfo.filePath() + QLatin1Char('/') + QString::number(caller.uid);

    for (const QByteArray &name : { RepositoryMount, HooksMount, PackageMount }) {
        if (!unmount(m_run.get(), name)) {
            *error = QStringLiteral("%1 is still mounted").arg(path(name));
            return StillMounted;
        }
        if (!rootsDirectory(m_run.get(), name, error).isValid())
            return DirectoryRefused;
    }
    return NoFailure;
}

QString RunContext::path(const QByteArray &mount) const
{
    return m_runPath + QLatin1Char('/') + QFile::decodeName(mount);
}
