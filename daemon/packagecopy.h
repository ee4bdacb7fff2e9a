#pragma once

#include "calleridentity.h"
#include "filedescriptor.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

class QSocketNotifier;

// Reads the caller's package once, with the caller's own file-system rights, into an unnamed
// root-only file of the daemon's, hashing it in the same pass. Everything later in a run
// (signature, mounts, scripts, apt) reads that copy, so nothing the caller does to their file
// afterwards, on any file system, reaches the run.
//
// The open and every read happen in a child process that has taken on the caller's uid, gid
// and groups: the kernel then applies every permission on the way exactly as for the caller,
// and a file system that never answers (a stuck user-space server) stalls the child, never the
// daemon. A child that makes no progress for |stallLimitMs| is killed and reaped without
// waiting. While the copy is made the daemon holds a read lease on the caller's file: a file
// still open for writing is refused, and one written to meanwhile is reported as changed.
class PackageCopy : public QObject
{
    Q_OBJECT

public:
    enum Outcome {
        Copied,
        Missing, // no such file
        Refused, // the caller may not read it, or it is no regular file (|reason| says which)
        BeingWritten, // another program holds it open for writing
        Changed, // written to while it was read
        Stalled, // no progress within the limit; the reader was killed
        Failed, // no room, an I/O error, or the daemon could not make the copy
    };
    struct Result
    {
        Outcome outcome = Failed;
        QString reason;
        qint64 size = 0;
        QByteArray sha256; // hex, when Copied
    };
    // Told the package's size once it is open; answers whether to go on (say, whether it fits).
    using SizeKnown = std::function<void(qint64 size, std::function<void(bool proceed)>)>;
    using Done = std::function<void(const Result &result)>;

    // The mount namespace (an open descriptor of it) in which callers' paths are looked up;
    // without one, the daemon's own.
    static void setLookupNamespace(int mountNamespaceFd);

    explicit PackageCopy(QObject *parent = nullptr);
    // A copy still being read is given up, and its reader killed.
    ~PackageCopy() override;

    // |directoryFd|: a root-only directory on the file system that is to hold the copy.
    void start(const CallerIdentity &caller, const QString &path, int directoryFd,
        int stallLimitMs, SizeKnown sizeKnown, Done done);

    // The copy, opened for reading and writing; valid after a Copied result.
    FileDescriptor takeCopy() { return std::move(m_copy); }

private:
    void readMessage();
    void opened(qint64 size, int error, int sourceFd);
    void finish(Result result);
    void stop();

    FileDescriptor m_socket;
    FileDescriptor m_source; // the caller's file, for the lease only: never read here
    FileDescriptor m_copy;
    pid_t m_child = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QTimer m_stallTimer;
    SizeKnown m_sizeKnown;
    Done m_done;
    qint64 m_size = 0;
};
