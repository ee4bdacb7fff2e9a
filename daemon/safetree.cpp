#include "safetree.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace SafeTree {

namespace {

QString describe(const QByteArray &name, int error)
{
    return QStringLiteral("%1: %2").arg(
        QFile::decodeName(name), QString::fromLocal8Bit(std::strerror(error)));
}

// A mount of the same file system (a bind mount) shares the device number, so the mount id
// is what tells two mounts apart; the device number covers kernels that do not report it.
bool statMount(int fd, const char *name, int flags, quint64 *mount, unsigned *type)
{
    struct statx status = {};
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

QString stillMounted(const QByteArray &name)
{
    return QStringLiteral("%1 is still a mounted file system").arg(QFile::decodeName(name));
}

// One removal: the top directory of the tree, held open for the whole run, and the work
// done so far. Everything deeper is reached from the top in one step, never by walking down
// or back up, so nothing here grows with the depth of the tree.
struct Removal
{
    int topFd = -1;
    quint64 mount = 0;
    QByteArray topName;
    qint64 visited = 0;
    quint64 nextName = 0; // the next name for a directory moved up into the top
    quint64 nextToClear = 0; // the first moved-up directory not yet emptied
    bool progress = false;
    bool overLimit = false;
    QString error;

    bool visit()
    {
        if (++visited <= MaximumEntries)
            return true;
        overLimit = true;
        error = QStringLiteral("%1 holds more than %2 entries; gave up")
                    .arg(QFile::decodeName(topName))
                    .arg(MaximumEntries);
        return false;
    }
    void fail(const QString &why)
    {
        if (error.isEmpty())
            error = why;
    }
    void fail(const QByteArray &name, int code) { fail(describe(topName + '/' + name, code)); }
};

QByteArray movedName(quint64 number)
{
    return ".tevrin-removing-" + QByteArray::number(number);
}

// The entry's type (a directory or not) and mount, for DT_DIR and DT_UNKNOWN; other types
// are taken from readdir as they are. False when the entry has gone.
bool entryType(Removal *removal, int dirFd, const dirent *entry, bool *isDirectory, quint64 *mount)
{
    *mount = removal->mount;
    if (entry->d_type != DT_DIR && entry->d_type != DT_UNKNOWN) {
        *isDirectory = false;
        return true;
    }
    unsigned type = 0;
    if (!statMount(dirFd, entry->d_name, 0, mount, &type)) {
        if (errno != ENOENT)
            removal->fail(entry->d_name, errno);
        return false;
    }
    *isDirectory = type == S_IFDIR;
    return true;
}

void unlinkEntry(Removal *removal, int dirFd, const char *name)
{
    if (unlinkat(dirFd, name, 0) == 0)
        removal->progress = true;
    else if (errno != ENOENT)
        removal->fail(name, errno);
}

// Moves the directory |name| from |dirFd| into the top directory under a name of its own.
// The kernel refuses to move a mount point or to move across file systems, so a move never
// takes anything out of the tree's own file system.
void hoist(Removal *removal, int dirFd, const char *name)
{
    // A name already taken costs a try, counted like an entry: a user who fills the top
    // directory with those names must not keep the daemon trying.
    for (bool first = true; first || removal->visit(); first = false) {
        const QByteArray target = movedName(removal->nextName++);
        int rc = renameat2(dirFd, name, removal->topFd, target.constData(), RENAME_NOREPLACE);
        if (rc < 0 && errno == EINVAL) {
            // A file system without RENAME_NOREPLACE; a name taken meanwhile can at worst be
            // an empty directory, which the move then replaces.
            struct stat status = {};
            if (fstatat(removal->topFd, target.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0)
                continue;
            rc = renameat(dirFd, name, removal->topFd, target.constData());
        }
        if (rc == 0) {
            removal->progress = true;
        } else if (errno == EEXIST || errno == ENOTEMPTY || errno == ENOTDIR) {
            continue;
        } else if (errno == EBUSY) {
            removal->fail(stillMounted(removal->topName + '/' + name));
        } else if (errno != ENOENT) {
            removal->fail(name, errno);
        }
        return;
    }
}

// Empties the directory |name| of the top directory: files go, directories move up into the
// top directory, where a later turn of the pass empties them in the same way. Then it goes.
bool clearDirectory(Removal *removal, const char *name)
{
    const int fd = openat(removal->topFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    DIR *list = fd >= 0 ? fdopendir(fd) : nullptr;
    if (!list) {
        // A moved-up name may have been taken by a file before the move.
        if (fd >= 0)
            close(fd);
        else if (errno != ENOENT && errno != ENOTDIR)
            removal->fail(name, errno);
        return true;
    }
    // Checked again on the opened directory: something may have been mounted on it since.
    quint64 mount = 0;
    if (!statMount(dirfd(list), "", AT_EMPTY_PATH, &mount, nullptr) || mount != removal->mount) {
        removal->fail(stillMounted(removal->topName + '/' + name));
        closedir(list);
        return true;
    }
    while (const dirent *entry = readdir(list)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        if (!removal->visit())
            break;
        bool isDirectory = false;
        if (!entryType(removal, dirfd(list), entry, &isDirectory, &mount))
            continue;
        if (!isDirectory)
            unlinkEntry(removal, dirfd(list), entry->d_name);
        else if (mount != removal->mount)
            removal->fail(stillMounted(removal->topName + '/' + name + '/' + entry->d_name));
        else
            hoist(removal, dirfd(list), entry->d_name);
    }
    closedir(list);
    if (removal->overLimit)
        return false;
    if (unlinkat(removal->topFd, name, AT_REMOVEDIR) == 0)
        removal->progress = true;
    else if (errno != ENOENT && errno != ENOTEMPTY)
        removal->fail(name, errno);
    return true;
}

// One pass over the top directory, then over the directories moved up into it meanwhile, in
// the order they were moved: those are found by their names, not by listing the top
// directory again, which a file system may have grown large by then.
bool clearPass(Removal *removal)
{
    const int fd = fcntl(removal->topFd, F_DUPFD_CLOEXEC, 0);
    DIR *list = fd >= 0 ? fdopendir(fd) : nullptr;
    if (!list) {
        if (fd >= 0)
            close(fd);
        removal->fail(QByteArray(), errno);
        return false;
    }
    rewinddir(list);
    bool goOn = true;
    while (const dirent *entry = readdir(list)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        if (!(goOn = removal->visit()))
            break;
        bool isDirectory = false;
        quint64 mount = 0;
        if (!entryType(removal, removal->topFd, entry, &isDirectory, &mount))
            continue;
        if (!isDirectory)
            unlinkEntry(removal, removal->topFd, entry->d_name);
        else if (mount != removal->mount)
            removal->fail(stillMounted(removal->topName + '/' + entry->d_name));
        else if (!(goOn = clearDirectory(removal, entry->d_name)))
            break;
    }
    closedir(list);
    while (goOn && removal->nextToClear < removal->nextName)
        goOn = clearDirectory(removal, movedName(removal->nextToClear++).constData());
    return goOn;
}

} // namespace

FileDescriptor openDirectory(int parentFd, const QByteArray &name)
{
    return FileDescriptor(
        openat(parentFd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

bool mountOf(int fd, const QByteArray &name, quint64 *mount)
{
    return statMount(fd, name.constData(), name.isEmpty() ? AT_EMPTY_PATH : 0, mount, nullptr);
}

bool removeTree(int parentFd, const QByteArray &name, QString *error)
{
    quint64 parentMount = 0;
    quint64 mount = 0;
    unsigned type = 0;
    if (!mountOf(parentFd, QByteArray(), &parentMount)) {
        *error = describe(name, errno);
        return false;
    }
    if (!statMount(parentFd, name.constData(), 0, &mount, &type)) {
        if (errno == ENOENT)
            return true;
        *error = describe(name, errno);
        return false;
    }
    if (type != S_IFDIR) {
        if (unlinkat(parentFd, name.constData(), 0) < 0 && errno != ENOENT) {
            *error = describe(name, errno);
            return false;
        }
        return true;
    }
    if (mount != parentMount) {
        *error = stillMounted(name);
        return false;
    }
    const FileDescriptor top = openDirectory(parentFd, name);
    if (!top.isValid()) {
        *error = describe(name, errno);
        return false;
    }
    if (!mountOf(top.get(), QByteArray(), &mount) || mount != parentMount) {
        *error = stillMounted(name);
        return false;
    }

    Removal removal;
    removal.topFd = top.get();
    removal.mount = parentMount;
    removal.topName = name;
    do {
        removal.progress = false;
        if (!clearPass(&removal)) {
            *error = removal.error;
            return false;
        }
    } while (removal.progress);

    if (unlinkat(parentFd, name.constData(), AT_REMOVEDIR) < 0 && errno != ENOENT) {
        *error = removal.error.isEmpty() ? describe(name, errno) : removal.error;
        return false;
    }
    return true;
}

} // namespace SafeTree
