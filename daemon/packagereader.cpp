#include "packagereader.h"

#include "calleridentity.h"
#include "sha256.h"

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <linux/fs.h>
#include <memory>
#include <mutex>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace PackageReader;

namespace {

constexpr size_t BlockSize = 1024 * 1024;
// Often enough that a slow but moving read is never taken for a stalled one.
constexpr qint64 ProgressEveryBytes = 32 * 1024 * 1024;
// The reader's own descriptors, fixed so that it keeps nothing else of the daemon's.
constexpr int ReaderSocket = 3;
constexpr int ReaderCopy = 4;

// Only the socket, the copy and /dev/null (as 0, 1 and 2) stay open in the reader. It runs no
// program, so close-on-exec does not help: every descriptor of the daemon's would stay open in
// it, and a path such as /proc/self/fd/N would let the caller read, with the reader's rights on
// that open file, a file of the daemon's that no path of the caller's reaches.
bool keepOnly(int socket, int copy, int devNull)
{
    const int movedSocket = fcntl(socket, F_DUPFD, 10);
    const int movedCopy = fcntl(copy, F_DUPFD, 10);
    if (movedSocket < 0 || movedCopy < 0 || dup2(devNull, 0) < 0 || dup2(devNull, 1) < 0
        || dup2(devNull, 2) < 0 || dup2(movedSocket, ReaderSocket) < 0
        || dup2(movedCopy, ReaderCopy) < 0)
        return false;
    if (close_range(ReaderCopy + 1, ~0U, 0) == 0)
        return true;
    rlimit limit {};
    if (getrlimit(RLIMIT_NOFILE, &limit) < 0)
        return false;
    for (rlim_t fd = ReaderCopy + 1; fd < limit.rlim_cur; ++fd)
        close(int(fd));
    return true;
}

bool sameContent(const struct stat &before, const struct stat &after)
{
    return before.st_size == after.st_size && before.st_mtim.tv_sec == after.st_mtim.tv_sec
        && before.st_mtim.tv_nsec == after.st_mtim.tv_nsec
        && before.st_ctim.tv_sec == after.st_ctim.tv_sec
        && before.st_ctim.tv_nsec == after.st_ctim.tv_nsec;
}

bool writeAll(int fd, const char *data, size_t size)
{
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= size_t(written);
    }
    return true;
}

// Hashes the copy from its start up to what the copying side says has arrived.
class CopyHasher
{
public:
    void arrived(qint64 bytes, bool last = false)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_arrived = bytes;
        m_last = last;
        m_moved.notify_one();
    }

    void run()
    {
        const std::unique_ptr<char[]> block(new char[BlockSize]);
        qint64 hashed = 0;
        for (;;) {
            qint64 available;
            bool last;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_moved.wait(lock, [&] { return m_arrived > hashed || m_last; });
                available = m_arrived;
                last = m_last;
            }
            while (hashed < available) {
                const ssize_t got = pread(ReaderCopy, block.get(),
                    size_t(qMin<qint64>(qint64(BlockSize), available - hashed)), hashed);
                if (got < 0 && errno == EINTR)
                    continue;
                if (got <= 0) {
                    m_error = got < 0 ? errno : EIO;
                    return;
                }
                m_hash.add(block.get(), size_t(got));
                hashed += got;
            }
            if (last && hashed >= available)
                return;
        }
    }

    bool failed() const { return m_error != 0 || !m_hash.isValid(); }
    int error() const { return m_error ? m_error : ENOMEM; }
    QByteArray digest() { return m_hash.digest(); }

private:
    std::mutex m_mutex;
    std::condition_variable m_moved;
    qint64 m_arrived = 0;
    bool m_last = false;
    int m_error = 0;
    Sha256 m_hash;
};

// The reader, in the forked child. Answers through ReaderSocket and ends with _exit.
[[noreturn]] void readAsCaller(const CallerIdentity &caller, const QByteArray &path)
{
    Message opened;
    opened.kind = Message::Opened;

    if (!caller.isRoot()
        && (setgroups(caller.groups.size(), caller.groups.data()) < 0
            || setresgid(caller.gid, caller.gid, caller.gid) < 0
            || setresuid(caller.uid, caller.uid, caller.uid) < 0)) {
        opened.error = errno;
        _exit(send(ReaderSocket, opened) ? 0 : 1);
    }
    // O_NONBLOCK keeps a FIFO named as the package from stalling even the reader.
    const int source = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    struct stat before = {};
    if (source < 0)
        opened.error = errno;
    else if (fstat(source, &before) < 0)
        opened.error = errno;
    else if (!S_ISREG(before.st_mode))
        opened.error = NotRegularError;
    opened.value = before.st_size;
    if (!send(ReaderSocket, opened, opened.error == 0 ? source : -1) || opened.error != 0)
        _exit(0);

    Message go;
    if (receive(ReaderSocket, &go, nullptr, 0) != 1 || go.kind != Message::Go)
        _exit(0);
    fcntl(source, F_SETFL, fcntl(source, F_GETFL) & ~O_NONBLOCK);
    posix_fadvise(source, 0, 0, POSIX_FADV_SEQUENTIAL);

    Message done;
    done.kind = Message::Done;
    // The kernel copies (sharing the blocks where the file system can, as cp does); a second
    // thread hashes what has arrived in the copy meanwhile, from the page cache, so the hash
    // costs next to nothing on top of the copy.
    CopyHasher hasher;
    std::thread hashing([&hasher] { hasher.run(); });
    const bool cloned = ioctl(ReaderCopy, FICLONE, source) == 0;
    qint64 reported = 0;
    bool byKernel = true;
    const std::unique_ptr<char[]> block(new char[BlockSize]);
    for (;;) {
        ssize_t got;
        if (cloned) {
            got = qMin<qint64>(before.st_size - done.value, qint64(BlockSize) * 32);
        } else if (byKernel) {
            got = copy_file_range(source, nullptr, ReaderCopy, nullptr, BlockSize * 32, 0);
            if (got < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)
                && done.value == 0) {
                byKernel = false;
                continue;
            }
        } else {
            got = read(source, block.get(), BlockSize);
            if (got > 0 && !writeAll(ReaderCopy, block.get(), size_t(got))) {
                done.error = errno ? errno : EIO;
                break;
            }
        }
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            done.error = errno;
            break;
        }
        if (got == 0)
            break;
        done.value += got;
        hasher.arrived(done.value);
        if (done.value - reported >= ProgressEveryBytes) {
            reported = done.value;
            Message progress;
            progress.kind = Message::Progress;
            progress.value = done.value;
            send(ReaderSocket, progress);
        }
    }
    hasher.arrived(done.value, true);
    hashing.join();
    if (done.error == 0 && hasher.failed())
        done.error = hasher.error();
    struct stat after = {};
    if (done.error == 0 && (fstat(source, &after) < 0 || !sameContent(before, after)))
        done.error = ChangedError;
    if (done.error == 0) {
        const QByteArray digest = hasher.digest();
        std::memcpy(done.digest, digest.constData(), qMin<size_t>(digest.size(), 32));
    }
    _exit(send(ReaderSocket, done) ? 0 : 1);
}

} // namespace

bool PackageReader::send(int socket, const Message &message, int fd)
{
    msghdr header {};
    iovec payload { const_cast<Message *>(&message), sizeof message };
    header.msg_iov = &payload;
    header.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    if (fd >= 0) {
        header.msg_control = control;
        header.msg_controllen = sizeof control;
        cmsghdr *rights = CMSG_FIRSTHDR(&header);
        rights->cmsg_level = SOL_SOCKET;
        rights->cmsg_type = SCM_RIGHTS;
        rights->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(rights), &fd, sizeof fd);
    }
    ssize_t sent;
    do {
        sent = sendmsg(socket, &header, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    return sent == ssize_t(sizeof message);
}

int PackageReader::receive(int socket, Message *message, int *fd, int flags)
{
    msghdr header {};
    iovec payload { message, sizeof *message };
    header.msg_iov = &payload;
    header.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    header.msg_control = control;
    header.msg_controllen = sizeof control;
    ssize_t received;
    do {
        received = recvmsg(socket, &header, MSG_CMSG_CLOEXEC | flags);
    } while (received < 0 && errno == EINTR);
    if (received < 0)
        return errno == EAGAIN || errno == EWOULDBLOCK ? -1 : 0;
    for (cmsghdr *rights = CMSG_FIRSTHDR(&header); rights;
         rights = CMSG_NXTHDR(&header, rights)) {
        if (rights->cmsg_level == SOL_SOCKET && rights->cmsg_type == SCM_RIGHTS) {
            int passed;
            std::memcpy(&passed, CMSG_DATA(rights), sizeof passed);
            if (fd)
                *fd = passed;
            else
                close(passed);
        }
    }
    return received == ssize_t(sizeof *message) ? 1 : 0;
}

void PackageReader::run(
    int socket, int copy, int devNull, const CallerIdentity &caller, const QByteArray &path)
{
    if (!keepOnly(socket, copy, devNull))
        _exit(1);
    readAsCaller(caller, path);
}
