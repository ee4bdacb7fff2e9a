#include "dpkglock.h"

#include "filedescriptor.h"

#include <QFile>
#include <fcntl.h>

QString DpkgLock::holder(const QString &adminDirectory)
{
    for (const char *name : { "lock-frontend", "lock" }) {
        const QByteArray path = QFile::encodeName(adminDirectory) + '/' + name;
        const FileDescriptor lock(
            ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
        if (!lock.isValid())
            continue;
        // A write lock is what dpkg and apt take; asking for one tells who holds it.
        struct flock question = {};
        question.l_type = F_WRLCK;
        question.l_whence = SEEK_SET;
        if (fcntl(lock.get(), F_GETLK, &question) == 0 && question.l_type != F_UNLCK)
            return QStringLiteral("pid %1").arg(question.l_pid);
    }
    return QString();
}
