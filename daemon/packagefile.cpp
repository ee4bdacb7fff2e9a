#include "packagefile.h"

#include "calleridentity.h"

#include <QFile>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <linux/magic.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// O_NONBLOCK keeps a FIFO named as the package from blocking the daemon in open().
constexpr int OpenFlags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;

bool sendDescriptor(int socket, int fd, int error)
{
    msghdr message {};
    iovec payload { &error, sizeof error };
    message.msg_iov = &payload;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    if (fd >= 0) {
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        cmsghdr *header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = SOL_SOCKET;
        header->cmsg_type = SCM_RIGHTS;
        header->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(header), &fd, sizeof fd);
    }
    return sendmsg(socket, &message, MSG_NOSIGNAL) == ssize_t(sizeof error);
}

int receiveDescriptor(int socket, int *error)
{
    msghdr message {};
    iovec payload { error, sizeof *error };
    message.msg_iov = &payload;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t received;
    do {
        received = recvmsg(socket, &message, MSG_CMSG_CLOEXEC);
    } while (received < 0 && errno == EINTR);
    if (received != ssize_t(sizeof *error)) {
        *error = EIO;
        return -1;
    }
    for (cmsghdr *header = CMSG_FIRSTHDR(&message); header;
         header = CMSG_NXTHDR(&message, header)) {
        if (header->cmsg_level == SOL_SOCKET && header->cmsg_type == SCM_RIGHTS) {
            int fd;
            std::memcpy(&fd, CMSG_DATA(header), sizeof fd);
            return fd;
        }
    }
    return -1;
}

// In the child, before it takes on the caller's identity: only the socket back to the daemon
// (as descriptor 3) and /dev/null (as 0, 1 and 2) stay open. The child never executes a
// program, so close-on-exec does not help it: every descriptor the daemon holds would stay
// open in it, and a path such as /proc/self/fd/N would let the caller open, with the child's
// rights on that open file, a file of the daemon's that no path of the caller's reaches.
bool keepOnlySocket(int socket, int devNull)
{
    const int kept = fcntl(socket, F_DUPFD, 3);
    if (kept < 0 || dup2(devNull, 0) < 0 || dup2(devNull, 1) < 0 || dup2(devNull, 2) < 0)
        return false;
    if (kept != 3 && dup2(kept, 3) < 0)
        return false;
    if (close_range(4, ~0U, 0) == 0)
        return true;
    rlimit limit {};
    if (getrlimit(RLIMIT_NOFILE, &limit) < 0)
        return false;
    for (rlim_t fd = 4; fd < limit.rlim_cur; ++fd)
        close(int(fd));
    return true;
}

// The open happens in a child that has taken on the caller's uid, gid and groups: the kernel
// then applies every permission on the way to the file exactly as it would for the caller.
// The daemon's own identity is never changed, since its D-Bus thread shares it.
int openAsCaller(const CallerIdentity &caller, const QByteArray &path, int *error)
{
    const FileDescriptor devNull(::open("/dev/null", O_RDWR | O_CLOEXEC));
    int sockets[2];
    if (!devNull.isValid() || socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, sockets) < 0) {
        *error = errno;
        return -1;
    }
    const pid_t child = fork();
    if (child < 0) {
        *error = errno;
        close(sockets[0]);
        close(sockets[1]);
        return -1;
    }
    if (child == 0) {
        int childError = 0;
        int fd = -1;
        if (!keepOnlySocket(sockets[1], devNull.get()))
            _exit(1);
        if (setgroups(caller.groups.size(), caller.groups.data()) < 0
            || setresgid(caller.gid, caller.gid, caller.gid) < 0
            || setresuid(caller.uid, caller.uid, caller.uid) < 0)
            childError = errno;
        else if ((fd = ::open(path.constData(), OpenFlags)) < 0)
            childError = errno;
        _exit(sendDescriptor(3, fd, childError) ? 0 : 1);
    }
    close(sockets[1]);
    const int fd = receiveDescriptor(sockets[0], error);
    close(sockets[0]);
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) { }
    return fd;
}

// File systems whose content is served by a process or another machine, which can change what
// a read returns without anyone opening the file for writing here.
bool servedFromElsewhere(int fd)
{
    // Not in the kernel's header.
    constexpr long Smb2 = 0xfe534d42;
    constexpr long Cifs = 0xff534d42;
    struct statfs status = {};
    if (fstatfs(fd, &status) < 0)
        return true;
    switch (long(status.f_type)) {
    case FUSE_SUPER_MAGIC:
    case NFS_SUPER_MAGIC:
    case SMB_SUPER_MAGIC:
    case Smb2:
    case Cifs:
    case V9FS_MAGIC:
    case CEPH_SUPER_MAGIC:
    case AFS_SUPER_MAGIC:
    case CODA_SUPER_MAGIC:
        return true;
    default:
        return false;
    }
}

} // namespace

PackageFile::Guard PackageFile::guard(QString *why)
{
    // The break is told by a signal to the lease holder; the default one, SIGIO, would end the
    // daemon, SIGURG is ignored unless asked for. changed() asks the kernel instead.
    if (fcntl(m_fd.get(), F_SETSIG, SIGURG) < 0 || fcntl(m_fd.get(), F_SETLEASE, F_RDLCK) < 0) {
        const int error = errno;
        if (error == EAGAIN) {
            *why = QStringLiteral("another program has the file open for writing");
            return BeingWritten;
        }
        *why = QStringLiteral("no lease: ") + QString::fromLocal8Bit(std::strerror(error));
        return Unguardable;
    }
    m_guarded = true;
    if (servedFromElsewhere(m_fd.get())) {
        *why = QStringLiteral("the package is on a user-space or network file system");
        return Unguardable;
    }
    return Guarded;
}

bool PackageFile::changed()
{
    if (!m_guarded || m_changed)
        return m_changed;
    // While a break is under way the kernel reports the lease it is being broken down to.
    if (fcntl(m_fd.get(), F_GETLEASE) != F_RDLCK) {
        m_changed = true;
        fcntl(m_fd.get(), F_SETLEASE, F_UNLCK);
    }
    return m_changed;
}

PackageFile PackageFile::open(const CallerIdentity &caller, const QString &path)
{
    PackageFile package;
    const QByteArray encoded = QFile::encodeName(path);
    int error = 0;
    int fd;
    if (caller.isRoot()) {
        fd = ::open(encoded.constData(), OpenFlags);
        error = errno;
    } else {
        fd = openAsCaller(caller, encoded, &error);
    }
    if (fd < 0) {
        package.m_outcome = error == ENOENT || error == ENOTDIR ? Missing : Refused;
        package.m_reason = QString::fromLocal8Bit(std::strerror(error));
        return package;
    }
    package.m_fd.reset(fd);

    struct stat status = {};
    if (fstat(fd, &status) < 0 || !S_ISREG(status.st_mode)) {
        package.m_outcome = Refused;
        package.m_reason = QStringLiteral("not a regular file");
        package.m_fd.reset();
        return package;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    package.m_outcome = Opened;
    package.m_size = status.st_size;
    return package;
}
