#pragma once

#include <QByteArray>
#include <QtGlobal>

struct CallerIdentity;

// The reading side of PackageCopy, in a child forked from the daemon: it takes on the caller's
// identity, opens the package, waits to be told to go on, copies it into the daemon's unnamed
// file while hashing the copy, and reports, one datagram each way over a socket.
namespace PackageReader {

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

// |fd| goes along as an open descriptor when not negative.
bool send(int socket, const Message &message, int fd = -1);
// 1 with a message (and |fd| when one came along), 0 at the end, -1 when nothing is there yet.
int receive(int socket, Message *message, int *fd, int flags);

// In the forked child: keeps only |socket|, |copy| and |devNull|, reads |path| as |caller|
// into |copy| and reports through |socket|. Never returns.
[[noreturn]] void run(
    int socket, int copy, int devNull, const CallerIdentity &caller, const QByteArray &path);

} // namespace PackageReader
