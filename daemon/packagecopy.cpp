#include "packagecopy.h"

#include "packagereader.h"
#include "sha256.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QPointer>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sched.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

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
        PackageReader::run(readerEnd.get(), m_copy.get(), devNull.get(), caller, encodedPath);
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
        PackageReader::Message message;
        int fd = -1;
        const int got = PackageReader::receive(m_socket.get(), &message, &fd, MSG_DONTWAIT);
        if (got < 0)
            return;
        if (got == 0) {
            if (fd >= 0)
                close(fd);
            finish(ended(Failed, QStringLiteral("the package's reader ended early"), m_size));
            return;
        }
        switch (message.kind) {
        case PackageReader::Message::Opened:
            opened(message.value, message.error, fd);
            return; // the reader waits for the answer
        case PackageReader::Message::Progress:
            m_stallTimer.start();
            break;
        case PackageReader::Message::Done: {
            Result result = ended(Copied, QString(), message.value);
            // While a break is under way the kernel reports the lease it is being broken to.
            const bool leaseBroken
                = m_source.isValid() && fcntl(m_source.get(), F_GETLEASE) != F_RDLCK;
            if (message.error == PackageReader::ChangedError || (message.error == 0 && leaseBroken))
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
            finish(ended(Refused, error == PackageReader::NotRegularError ? QStringLiteral("not a regular file") : errorText(error)));
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
        PackageReader::Message go;
        go.kind = PackageReader::Message::Go;
        PackageReader::send(m_socket.get(), go);
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
        PackageReader::Message go;
        go.kind = PackageReader::Message::Go;
        PackageReader::send(self->m_socket.get(), go);
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
