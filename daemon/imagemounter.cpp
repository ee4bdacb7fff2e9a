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

ImageMounter::ImageMounter(const QString &mountProgram, const QString &umountProgram,
                           const QString &losetupProgram)
    : m_mountProgram(mountProgram)
    , m_umountProgram(umountProgram)
    , m_losetupProgram(losetupProgram)
{
}

bool ImageMounter::mount(int imageFd, int targetDirFd, int timeoutMs, QString *error) const
{
    QProcess losetup;
    {
        InheritedDescriptors inherited { imageFd };
        losetup.start(m_losetupProgram,
                      { QStringLiteral("--find"), QStringLiteral("--show"),
                        QStringLiteral("--read-only"), descriptorPath(imageFd) });
        losetup.waitForStarted(CommandOutput::WaitMs);
    }
    if (!losetup.waitForFinished(CommandOutput::WaitMs)
        || losetup.exitStatus() == QProcess::CrashExit) {
        *error = losetup.errorString();
        return false;
    }
    // No loop device: nothing gets mounted, which the caller finds in the empty mount point.
    const QString device = CommandOutput::decode(losetup.readAllStandardOutput());
    if (losetup.exitCode() != 0 || !device.startsWith(QLatin1String("/dev/loop")))
        return true;

    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    {
        InheritedDescriptors inherited { targetDirFd };
        process.start(m_mountProgram,
                      { QStringLiteral("--no-canonicalize"), QStringLiteral("-o"),
                        QStringLiteral("ro,nosuid,nodev"), device, descriptorPath(targetDirFd) });
        process.waitForStarted(CommandOutput::WaitMs);
    }
    const bool finished =
        process.waitForFinished(timeoutMs) && process.exitStatus() != QProcess::CrashExit;
    if (!finished)
        *error = process.errorString();

    // Detaching a device that is mounted only marks it to go when its last mount goes; one
    // that did not get mounted goes at once.
    QProcess detach;
    detach.start(m_losetupProgram, { QStringLiteral("--detach"), device });
    detach.waitForFinished(CommandOutput::WaitMs);
    return finished;
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
