#include "safetree.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace SafeTree {

namespace {

QString describe(const QByteArray &name, int error)
{
    return QStringLiteral("%1: %2").arg(QFile::decodeName(name),
                                        QString::fromLocal8Bit(std::strerror(error)));
}

// A mount of the same file system (a bind mount) shares the device number, so the mount id
// is what tells two mounts apart; the device number covers kernels that do not report it.
bool statMount(int fd, const char *name, int flags, quint64 *mount, unsigned *type)
{
    struct statx status {};
    if (statx(fd, name, flags | AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_TYPE | STATX_MNT_ID,
              &status)
        < 0)
        return false;
    quint64 id = (quint64(status.stx_dev_major) << 44) ^ (quint64(status.stx_dev_minor) << 24);
    if (status.stx_mask & STATX_MNT_ID)
        id ^= status.stx_mnt_id;
    *mount = id;
    if (type)
        *type = status.stx_mode & S_IFMT;
    return true;
}

bool removeEntry(int parentFd, const char *name, quint64 parentMount, const QByteArray &path,
                 QString *error)
{
    quint64 mount = 0;
    unsigned type = 0;
    if (!statMount(parentFd, name, 0, &mount, &type)) {
        if (errno == ENOENT)
            return true;
        *error = describe(path, errno);
        return false;
    }
    if (type != S_IFDIR) {
        if (unlinkat(parentFd, name, 0) < 0 && errno != ENOENT) {
            *error = describe(path, errno);
            return false;
        }
        return true;
    }
    if (mount != parentMount) {
        *error = QStringLiteral("%1 is still a mounted file system").arg(QFile::decodeName(path));
        return false;
    }
    FileDescriptor directory(openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!directory.isValid()) {
        *error = describe(path, errno);
        return false;
    }
    // Checked again on the opened directory: something may have been mounted on it since.
    if (!statMount(directory.get(), "", AT_EMPTY_PATH, &mount, nullptr) || mount != parentMount) {
        *error = QStringLiteral("%1 is still a mounted file system").arg(QFile::decodeName(path));
        return false;
    }

    const int listFd = fcntl(directory.get(), F_DUPFD_CLOEXEC, 0);
    DIR *list = listFd >= 0 ? fdopendir(listFd) : nullptr;
    if (!list) {
        if (listFd >= 0)
            close(listFd);
        *error = describe(path, errno);
        return false;
    }
    bool complete = true;
    while (dirent *entry = readdir(list)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        complete = removeEntry(directory.get(), entry->d_name, parentMount,
                               path + '/' + QByteArray(entry->d_name), error)
                   && complete;
    }
    closedir(list);
    if (!complete)
        return false;
    if (unlinkat(parentFd, name, AT_REMOVEDIR) < 0 && errno != ENOENT) {
        *error = describe(path, errno);
        return false;
    }
    return true;
}

} // namespace

FileDescriptor openDirectory(int parentFd, const QByteArray &name)
{
    return FileDescriptor(
        openat(parentFd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

FileDescriptor makeDirectory(int parentFd, const QByteArray &name, int mode)
{
    if (mkdirat(parentFd, name.constData(), mode_t(mode)) < 0 && errno != EEXIST)
        return FileDescriptor();
    return openDirectory(parentFd, name);
}

bool mountOf(int fd, const QByteArray &name, quint64 *mount)
{
    return statMount(fd, name.constData(), name.isEmpty() ? AT_EMPTY_PATH : 0, mount, nullptr);
}

bool removeTree(int parentFd, const QByteArray &name, QString *error)
{
    quint64 parentMount = 0;
    if (!mountOf(parentFd, QByteArray(), &parentMount)) {
        *error = describe(name, errno);
        return false;
    }
    return removeEntry(parentFd, name.constData(), parentMount, name, error);
}

} // namespace SafeTree
