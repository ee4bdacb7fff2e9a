#include "statedirectory.h"

#include "checkenvironment.h"
#include "runcontext.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

const QByteArray StateDirectory::PackagesName = QByteArrayLiteral("packages");

FileDescriptor StateDirectory::open(const CheckEnvironment &environment, QString *error)
{
    const QFileInfo state(QDir::cleanPath(environment.stateDirectory));
    QDir().mkpath(state.path());
    const FileDescriptor parent(
        ::open(QFile::encodeName(state.path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!parent.isValid()) {
        *error = QStringLiteral("cannot open %1").arg(state.path());
        return {};
    }
    return RunContext::rootsDirectory(parent.get(), QFile::encodeName(state.fileName()), 0700, error);
}

FileDescriptor StateDirectory::packages(const CheckEnvironment &environment, QString *error)
{
    const FileDescriptor state = open(environment, error);
    if (!state.isValid())
        return {};
    return RunContext::rootsDirectory(state.get(), PackagesName, 0700, error);
}

bool StateDirectory::replaceFile(
    int directoryFd, const QByteArray &name, const QByteArray &content, QString *error)
{
    const QByteArray temporary = name + QByteArrayLiteral(".new");
    unlinkat(directoryFd, temporary.constData(), 0);
    const FileDescriptor file(openat(directoryFd, temporary.constData(),
        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    qint64 written = 0;
    while (file.isValid() && written < content.size()) {
        const ssize_t count
            = ::write(file.get(), content.constData() + written, size_t(content.size() - written));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            break;
        written += count;
    }
    if (!file.isValid() || written != content.size() || fsync(file.get()) != 0
        || renameat(directoryFd, temporary.constData(), directoryFd, name.constData()) != 0
        || fsync(directoryFd) != 0) {
        *error = QStringLiteral("cannot write %1: %2")
                     .arg(QString::fromLocal8Bit(name), qt_error_string(errno));
        unlinkat(directoryFd, temporary.constData(), 0);
        return false;
    }
    return true;
}

bool StateDirectory::readFile(int directoryFd, const QByteArray &name, qint64 limit, QByteArray *content)
{
    const FileDescriptor fd(
        openat(directoryFd, name.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    struct stat status = {};
    if (!fd.isValid() || fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode))
        return false;
    QFile file;
    if (!file.open(fd.get(), QIODevice::ReadOnly))
        return false;
    *content = file.read(limit);
    return true;
}
