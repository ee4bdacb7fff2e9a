#include "imagemounter.h"

#include "commandoutput.h"

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <fcntl.h>
#include <initializer_list>
#include <vector>

namespace {

QString descriptorPath(int fd)
{
    return QStringLiteral("/proc/self/fd/%1").arg(fd);
}

// The daemon opens every descriptor close-on-exec; only while one mount program starts are
// the ones it needs handed down to it.
class InheritedDescriptors
{
public:
    InheritedDescriptors(std::initializer_list<int> fds) : m_fds(fds)
    {
        for (int fd : m_fds)
            fcntl(fd, F_SETFD, fcntl(fd, F_GETFD) & ~FD_CLOEXEC);
    }
    ~InheritedDescriptors()
    {
        for (int fd : m_fds)
            fcntl(fd, F_SETFD, fcntl(fd, F_GETFD) | FD_CLOEXEC);
    }

private:
    std::vector<int> m_fds;
};

} // namespace

ImageMounter::ImageMounter(const QString &mountProgram, const QString &umountProgram)
    : m_mountProgram(mountProgram)
    , m_umountProgram(umountProgram)
{
}

bool ImageMounter::mount(int imageFd, int targetDirFd, int timeoutMs, QString *error) const
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    {
        InheritedDescriptors inherited { imageFd, targetDirFd };
        process.start(m_mountProgram,
                      { QStringLiteral("--no-canonicalize"), QStringLiteral("-o"),
                        QStringLiteral("ro,nosuid,nodev"), descriptorPath(imageFd),
                        descriptorPath(targetDirFd) });
        process.waitForStarted(CommandOutput::WaitMs);
    }
    if (!process.waitForFinished(timeoutMs) || process.exitStatus() == QProcess::CrashExit) {
        *error = process.errorString();
        return false;
    }
    return true;
}

void ImageMounter::unmount(int parentFd, const QByteArray &name) const
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    {
        InheritedDescriptors inherited { parentFd };
        process.start(m_umountProgram,
                      { QStringLiteral("--no-canonicalize"),
                        descriptorPath(parentFd) + QLatin1Char('/') + QFile::decodeName(name) });
        process.waitForStarted(CommandOutput::WaitMs);
    }
    process.waitForFinished(CommandOutput::WaitMs);
}
