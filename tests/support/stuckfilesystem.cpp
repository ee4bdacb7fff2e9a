#include "stuckfilesystem.h"

#include <QFile>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

StuckFileSystem::StuckFileSystem(const QString &mountPoint)
    : m_mountPoint(mountPoint)
{
    m_device = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
    if (m_device < 0)
        return;
    // allow_other: the daemon reads as the calling user, who must be let in to get stuck.
    const QByteArray options = "fd=" + QByteArray::number(m_device)
        + ",rootmode=40000,user_id=0,group_id=0,allow_other";
    m_mounted = mount("tevrin-test-stuck", QFile::encodeName(mountPoint).constData(), "fuse",
                    MS_NOSUID | MS_NODEV, options.constData())
        == 0;
}

StuckFileSystem::~StuckFileSystem()
{
    if (m_device >= 0)
        close(m_device);
    if (m_mounted)
        umount2(QFile::encodeName(m_mountPoint).constData(), MNT_DETACH);
}
