#include "packagecopy.h"

#include "sha256.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QPointer>
#include <QSocketNotifier>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <linux/fs.h>
#include <memory>
#include <mutex>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// What the reader and the daemon tell each other, one datagram each.
struct Message
{
    enum Kind : int { Opened = 1, Progress, Done, Go };
    int kind = 0;
    int error = 0; // errno, or one of the values below
    qint64 value = 0; // Opened: the size; Progress and Done: the bytes read
    char digest[32] = {};
};
constexpr int NotRegularError = -1;
constexpr int ChangedError = -2;

constexpr size_t BlockSize = 1024 * 1024;
// Often enough that a slow but moving read is never taken for a stalled one.
constexpr qint64 ProgressEveryBytes = 32 * 1024 * 1024;
// The reader's own descriptors, fixed so that it keeps nothing else of the daemon's.
constexpr int ReaderSocket = 3;
constexpr int ReaderCopy = 4;

QString errorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

PackageCopy::Result ended(PackageCopy::Outcome outcome, const QString &reason, qint64 size = 0)
{
    PackageCopy::Result result;
    result.outcome = outcome;
    result.reason = reason;
    result.size = size;
    return result;
}

bool sendMessage(int socket, const Message &message, int fd = -1)
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

// 1 with a message (and |fd| when one came along), 0 at the end, -1 when nothing is there yet.
int receiveMessage(int socket, Message *message, int *fd, int flags)
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
        _exit(sendMessage(ReaderSocket, opened) ? 0 : 1);
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
    if (!sendMessage(ReaderSocket, opened, opened.error == 0 ? source : -1) || opened.error != 0)
        _exit(0);

    Message go;
    if (receiveMessage(ReaderSocket, &go, nullptr, 0) != 1 || go.kind != Message::Go)
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
            sendMessage(ReaderSocket, progress);
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
    _exit(sendMessage(ReaderSocket, done) ? 0 : 1);
}

// Collects an ended (or killed) reader without ever waiting for it: one stuck in a file system
// that does not answer goes when its kill is through.
void reapLater(pid_t child)
{
    if (waitpid(child, nullptr, WNOHANG) != 0)
        return;
    if (!QCoreApplication::instance()) {
        while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) { }
        return;
    }
    QTimer::singleShot(20, QCoreApplication::instance(), [child] { reapLater(child); });
}

FileDescriptor unnamedFile(int directoryFd)
{
    FileDescriptor file(openat(directoryFd, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    if (file.isValid() || (errno != EOPNOTSUPP && errno != EISDIR))
        return file;
    // A file system without unnamed files: a name that is gone again at once.
    for (int attempt = 0; attempt < 100 && !file.isValid(); ++attempt) {
        const QByteArray name = ".copy-" + QByteArray::number(qint64(getpid())) + '-'
            + QByteArray::number(attempt);
        file.reset(openat(directoryFd, name.constData(),
            O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC | O_NOFOLLOW, 0600));
        if (file.isValid())
            unlinkat(directoryFd, name.constData(), 0);
    }
    return file;
}

int s_lookupNamespace = -1;

} // namespace

void PackageCopy::setLookupNamespace(int mountNamespaceFd)
{
    s_lookupNamespace = mountNamespaceFd;
}

PackageCopy::PackageCopy(QObject *parent)
    : QObject(parent)
{
    m_stallTimer.setSingleShot(true);
    connect(&m_stallTimer, &QTimer::timeout, this, [this] {
        qWarning() << "PackageCopy" << "the package's reader made no progress in"
                   << m_stallTimer.interval() << "ms; it was killed";
        finish(ended(Stalled, QStringLiteral("reading the file took more than %1 seconds without progress")
                .arg(m_stallTimer.interval() / 1000),
            m_size));
    });
}

PackageCopy::~PackageCopy()
{
    stop();
}

void PackageCopy::start(const CallerIdentity &caller, const QString &path, int directoryFd,
    int stallLimitMs, SizeKnown sizeKnown, Done done)
{
    stop();
    m_sizeKnown = std::move(sizeKnown);
    m_done = std::move(done);
    m_size = 0;
    m_copy = unnamedFile(directoryFd);
    const FileDescriptor devNull(::open("/dev/null", O_RDWR | O_CLOEXEC));
    int sockets[2];
    if (!m_copy.isValid() || !devNull.isValid()
        || socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, sockets) < 0) {
        finish(ended(Failed, QStringLiteral("cannot make the private copy: ") + errorText(errno)));
        return;
    }
    FileDescriptor readerEnd(sockets[1]);
    m_socket.reset(sockets[0]);
    // Set up before the fork, so that the reader allocates nothing it could deadlock on.
    { Sha256 warmUp; }
    const QByteArray encodedPath = QFile::encodeName(path);
    m_child = fork();
    if (m_child < 0) {
        finish(ended(Failed, QStringLiteral("cannot start the package's reader: ") + errorText(errno)));
        return;
    }
    if (m_child == 0) {
        // The daemon's own mount namespace may not have seen what was mounted since it started
        // (a disk plugged in later, where the machine's mounts do not propagate): the path is
        // looked up among the machine's mounts, as the caller sees them.
        if (s_lookupNamespace >= 0 && setns(s_lookupNamespace, CLONE_NEWNS) < 0)
            _exit(1);
        if (!keepOnly(readerEnd.get(), m_copy.get(), devNull.get()))
            _exit(1);
        readAsCaller(caller, encodedPath);
    }
    readerEnd.reset();
    fcntl(m_socket.get(), F_SETFL, fcntl(m_socket.get(), F_GETFL) | O_NONBLOCK);
    m_notifier = std::make_unique<QSocketNotifier>(m_socket.get(), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &PackageCopy::readMessage);
    m_stallTimer.start(stallLimitMs);
}

void PackageCopy::readMessage()
{
    for (;;) {
        Message message;
        int fd = -1;
        const int got = receiveMessage(m_socket.get(), &message, &fd, MSG_DONTWAIT);
        if (got < 0)
            return;
        if (got == 0) {
            if (fd >= 0)
                close(fd);
            finish(ended(Failed, QStringLiteral("the package's reader ended early"), m_size));
            return;
        }
        switch (message.kind) {
        case Message::Opened:
            opened(message.value, message.error, fd);
            return; // the reader waits for the answer
        case Message::Progress:
            m_stallTimer.start();
            break;
        case Message::Done: {
            Result result = ended(Copied, QString(), message.value);
            // While a break is under way the kernel reports the lease it is being broken to.
            const bool leaseBroken
                = m_source.isValid() && fcntl(m_source.get(), F_GETLEASE) != F_RDLCK;
            if (message.error == ChangedError || (message.error == 0 && leaseBroken))
                result = ended(Changed, QStringLiteral("the file was written to while it was read"));
            else if (message.error == ENOSPC)
                result = ended(Failed, QStringLiteral("no room left for the private copy"));
            else if (message.error != 0)
                result = ended(Failed, QStringLiteral("cannot read the file: ") + errorText(message.error));
            else if (message.value != m_size)
                result = ended(Changed, QStringLiteral("the file's size changed while it was read"));
            else
                result.sha256 = QByteArray(message.digest, sizeof message.digest).toHex();
            result.size = message.value;
            finish(result);
            return;
        }
        default:
            break;
        }
    }
}

void PackageCopy::opened(qint64 size, int error, int sourceFd)
{
    m_source.reset(sourceFd);
    m_size = size;
    if (error != 0) {
        if (error == ENOENT || error == ENOTDIR)
            finish(ended(Missing, errorText(error)));
        else
            finish(ended(Refused, error == NotRegularError ? QStringLiteral("not a regular file") : errorText(error)));
        return;
    }
    // The lease's break is told by a signal to its holder; the default one, SIGIO, would end the
    // daemon, SIGURG is ignored unless asked for. The lease only ever asks the kernel, never the
    // file's own file system, so a file system that does not answer cannot stall it.
    if (fcntl(m_source.get(), F_SETSIG, SIGURG) < 0
        || fcntl(m_source.get(), F_SETLEASE, F_RDLCK) < 0) {
        if (errno == EAGAIN) {
            finish(ended(BeingWritten, QStringLiteral("another program has the file open for writing")));
            return;
        }
        // Then the reader's own before-and-after comparison is what tells a change.
        m_source.reset();
    }
    m_stallTimer.stop();
    if (!m_sizeKnown) {
        Message go;
        go.kind = Message::Go;
        sendMessage(m_socket.get(), go);
        m_stallTimer.start();
        return;
    }
    const QPointer<PackageCopy> self(this);
    m_sizeKnown(size, [self](bool proceed) {
        if (!self || self->m_child <= 0)
            return;
        if (!proceed) {
            self->stop();
            return;
        }
        Message go;
        go.kind = Message::Go;
        sendMessage(self->m_socket.get(), go);
        self->m_stallTimer.start();
    });
}

void PackageCopy::finish(Result result)
{
    stop();
    if (result.outcome != Copied)
        m_copy.reset();
    if (m_done) {
        const Done done = std::move(m_done);
        m_done = nullptr;
        done(result);
    }
}

void PackageCopy::stop()
{
    m_stallTimer.stop();
    m_notifier.reset();
    m_socket.reset();
    if (m_source.isValid())
        fcntl(m_source.get(), F_SETLEASE, F_UNLCK);
    m_source.reset();
    if (m_child > 0) {
        // A reader that ended already is not there to kill; one that is stuck goes now.
        kill(m_child, SIGKILL);
        reapLater(m_child);
    }
    m_child = -1;
}
