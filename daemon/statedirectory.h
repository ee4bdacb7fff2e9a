#pragma once

#include "filedescriptor.h"

#include <QString>

struct CheckEnvironment;

// The daemon's root-only directory that outlives a reboot (CheckEnvironment::stateDirectory):
// the runs' private package copies, the journal of the run being upgraded, the history.
namespace StateDirectory {

extern const QByteArray PackagesName; // "packages": the private copies

// The directory, made 0700 and root's when missing; invalid, with |error| set, when it cannot
// be made or trusted (not root's own, or open to others).
FileDescriptor open(const CheckEnvironment &environment, QString *error);
// Its "packages" directory, the same way.
FileDescriptor packages(const CheckEnvironment &environment, QString *error);

// Replaces |name| in |directoryFd| with |content| so that a crash leaves the old or the new
// text, never a part: written beside it, synced, renamed over it, the directory synced.
bool replaceFile(int directoryFd, const QByteArray &name, const QByteArray &content, QString *error);
// The content of |name| in |directoryFd|, at most |limit| bytes; false when it cannot be read.
bool readFile(int directoryFd, const QByteArray &name, qint64 limit, QByteArray *content);

} // namespace StateDirectory
