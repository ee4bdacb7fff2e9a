#include "verifiedhome.h"

#include "calleridentity.h"

#include <QFile>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString errorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool sameDirectory(int a, int b)
{
    struct stat first = {};
    struct stat second = {};
    return fstat(a, &first) == 0 && fstat(b, &second) == 0 && first.st_dev == second.st_dev
        && first.st_ino == second.st_ino;
}

} // namespace

FileDescriptor VerifiedHome::openWithoutLinks(const QString &path)
{
    constexpr int Flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
    if (!path.startsWith(QLatin1Char('/'))) {
        errno = EINVAL;
        return {};
    }
    FileDescriptor current(::open("/", Flags));
    const QList<QByteArray> parts = QFile::encodeName(path).split('/');
    for (const QByteArray &part : parts) {
        if (!current.isValid())
            break;
        if (part.isEmpty() || part == ".")
            continue;
        if (part == "..") {
            errno = EINVAL;
            return {};
        }
        current = FileDescriptor(openat(current.get(), part.constData(), Flags));
    }
    return current;
}

bool VerifiedHome::open(const CallerIdentity &caller, const QString &homePath, QString *error)
{
    m_path.clear();
    m_home = caller.openHome(homePath, error);
    if (!m_home.isValid())
        return false;
    // The kernel's own name for what was opened: every link on the way already resolved.
    char target[PATH_MAX + 1] = {};
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(m_home.get());
    const ssize_t length = readlink(self.constData(), target, PATH_MAX);
    const QString resolved = length > 0 ? QFile::decodeName(QByteArray(target, int(length))) : QString();
    // The password database's spelling where it has no link in it, so that scripts see the
    // home they know; else the resolved one.
    for (const QString &candidate : { caller.isRoot() ? homePath : caller.home, resolved }) {
        const FileDescriptor check = openWithoutLinks(candidate);
        if (check.isValid() && sameDirectory(check.get(), m_home.get())) {
            m_path = candidate;
            return true;
        }
    }
    *error = QStringLiteral("%1 has no path without links that leads to it").arg(homePath);
    m_home.reset();
    return false;
}

bool VerifiedHome::stillLeadsHere(QString *error) const
{
    if (!m_home.isValid()) {
        *error = QStringLiteral("no home directory was verified");
        return false;
    }
    const FileDescriptor now = openWithoutLinks(m_path);
    if (!now.isValid()) {
        *error = QStringLiteral("%1 no longer leads to the home directory: %2")
                     .arg(m_path, errorText(errno));
        return false;
    }
    if (!sameDirectory(now.get(), m_home.get())) {
        *error = QStringLiteral("%1 now leads to another directory").arg(m_path);
        return false;
    }
    return true;
}
