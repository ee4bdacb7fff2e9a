#include "calleridentity.h"

#include <QDir>
#include <QFileInfo>
#include <grp.h>
#include <pwd.h>
#include <unistd.h>

CallerIdentity CallerIdentity::root()
{
    CallerIdentity identity;
    identity.home = QStringLiteral("/root");
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

QString CallerIdentity::refuseHome(const QString &homePath) const
{
    if (homePath.isEmpty() || !homePath.startsWith(QLatin1Char('/')))
        return QStringLiteral("the home path %1 is not an absolute path").arg(homePath);
    if (isRoot()) {
        if (!QFileInfo(homePath).isDir())
            return QStringLiteral("%1 is not a directory").arg(homePath);
        return {};
    }
    if (QDir::cleanPath(homePath) != QDir::cleanPath(home))
        return QStringLiteral("%1 is not the home directory of uid %2 (%3)")
            .arg(homePath)
            .arg(uid)
            .arg(home);
    return {};
}
