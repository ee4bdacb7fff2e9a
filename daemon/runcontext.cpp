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

QString lastError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
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

FileDescriptor RunContext::rootsDirectory(
    int parentFd, const QByteArray &name, mode_t mode, QString *error)
{
    if (mkdirat(parentFd, name.constData(), mode) < 0 && errno != EEXIST) {
        *error = QStringLiteral("cannot make %1: %2").arg(QFile::decodeName(name), lastError());
        return {};
    }
    // Opened without following a link: a directory of the daemon's is root's, writable by
    // nobody else, and enterable by no more than |mode| allows.
    FileDescriptor directory = SafeTree::openDirectory(parentFd, name);
    struct stat status
    {
    };
    if (!directory.isValid() || fstat(directory.get(), &status) < 0 || !S_ISDIR(status.st_mode)
        || status.st_uid != 0 || (status.st_mode & (S_IWGRP | S_IWOTH)) != 0
        || ((status.st_mode & 07777 & ~mode) != 0 && fchmod(directory.get(), mode) < 0)) {
        *error = QStringLiteral("%1 is not a directory that only root may change")
                     .arg(QFile::decodeName(name));
        return {};
    }
    return directory;
}

RunContext::Failure RunContext::prepare(
    const CheckEnvironment &environment, uid_t uid, QString *error)
{
    const QFileInfo runInfo(QDir::cleanPath(environment.runDirectory));
    const FileDescriptor runParent(
        ::open(QFile::encodeName(runInfo.path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!runParent.isValid()) {
        *error = QStringLiteral("cannot open %1: %2").arg(runInfo.path(), lastError());
        return DirectoryRefused;
    }
    const FileDescriptor runDirectory = rootsDirectory(
        runParent.get(), QFile::encodeName(runInfo.fileName()), 0755, error);
    if (!runDirectory.isValid())
        return DirectoryRefused;
    m_run = rootsDirectory(runDirectory.get(), QByteArray::number(uid), 0700, error);
    if (!m_run.isValid())
        return DirectoryRefused;
    m_runPath = runInfo.filePath() + QLatin1Char('/') + QString::number(uid);

    for (const QByteArray &name : { RepositoryMount, HooksMount, PackageMount }) {
        if (!unmount(m_run.get(), name)) {
            *error = QStringLiteral("%1 is still mounted").arg(path(name));
            return StillMounted;
        }
        if (!rootsDirectory(m_run.get(), name, 0755, error).isValid())
            return DirectoryRefused;
    }
    return NoFailure;
}

void RunContext::unmountAll()
{
    if (!m_run.isValid())
        return;
    for (const QByteArray &name : { RepositoryMount, HooksMount, PackageMount })
        unmount(m_run.get(), name);
}

QString RunContext::path(const QByteArray &mount) const
{
    return m_runPath + QLatin1Char('/') + QFile::decodeName(mount);
}
