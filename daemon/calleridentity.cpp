#include "calleridentity.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

CallerIdentity CallerIdentity::root()
{
    CallerIdentity identity;
    identity.home = QStringLiteral("/root");
    identity.name = QStringLiteral("root");
    return identity;
}

bool CallerIdentity::lookUp(uid_t uid, CallerIdentity *identity, QString *error)
{
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? size_t(size) : 16384);
    passwd entry {};
    passwd *found = nullptr;
    int rc;
    while ((rc = getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found)) == ERANGE)
        buffer.resize(buffer.size() * 2);
    if (rc != 0 || !found) {
        *error = QStringLiteral("uid %1 has no entry in the password database").arg(uid);
        return false;
    }

    CallerIdentity result;
    result.uid = uid;
    result.gid = entry.pw_gid;
    result.home = QFile::decodeName(entry.pw_dir);
    result.name = QFile::decodeName(entry.pw_name);
    // The first call only asks how many groups there are.
    int count = 0;
    getgrouplist(entry.pw_name, entry.pw_gid, nullptr, &count);
    result.groups.resize(size_t(count));
    if (getgrouplist(entry.pw_name, entry.pw_gid, result.groups.data(), &count) < 0)
        count = 0;
    result.groups.resize(size_t(count));
    *identity = std::move(result);
    return true;
}

FileDescriptor CallerIdentity::openHome(const QString &homePath, QString *refusal) const
{
    if (homePath.isEmpty() || !homePath.startsWith(QLatin1Char('/'))) {
        *refusal = QStringLiteral("the home path %1 is not an absolute path").arg(homePath);
        return FileDescriptor();
    }
    // O_NONBLOCK: whatever the path names, opening it must not wait (a FIFO is no directory,
    // but the daemon should not have to rely on the order of the kernel's checks).
    const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK | (isRoot() ? 0 : O_NOFOLLOW);
    FileDescriptor directory(::open(QFile::encodeName(homePath).constData(), flags));
    if (!directory.isValid()) {
        *refusal = QStringLiteral("%1 is not a directory: %2")
                       .arg(homePath, QString::fromLocal8Bit(std::strerror(errno)));
        return FileDescriptor();
    }
    if (isRoot())
        return directory;

    struct stat named = {};
    struct stat own = {};
    if (fstat(directory.get(), &named) < 0 || ::stat(QFile::encodeName(home).constData(), &own) < 0
        || named.st_dev != own.st_dev || named.st_ino != own.st_ino) {
        *refusal = QStringLiteral("%1 is not the home directory of uid %2 (%3)")
                       .arg(homePath)
                       .arg(uid)
                       .arg(home);
        return FileDescriptor();
    }
    return directory;
}

QString CallerIdentity::refuseHome(const QString &homePath) const
{
    QString refusal;
    openHome(homePath, &refusal);
    return refusal;
}
