#pragma once

#include "filedescriptor.h"

#include <QtGlobal>

class QByteArray;
class QString;

// File-system steps that root takes inside a user's home directory. None of them follows a
// symbolic link or crosses into another mounted file system, so nothing a user places there,
// before or during a run, can lead root to a file outside it.
namespace SafeTree {

// Opens the directory |name| below |parentFd|; fails on a symbolic link.
FileDescriptor openDirectory(int parentFd, const QByteArray &name);

// Identifies the mounted file system that holds |fd| (the directory itself when |name| is
// empty, else the entry |name| below it, not followed).
bool mountOf(int fd, const QByteArray &name, quint64 *mount);

constexpr int MaximumEntries = 1000000;

// Removes |name| below |parentFd| with everything in it. A mounted file system inside, and the
// directory that holds it, are left alone; then the result is false and |error| says why. So is
// a tree of more than MaximumEntries entries, of which only part is gone then. Memory and open
// descriptors do not grow with the depth of the tree: directories deeper down are moved up
// into the top one (under hidden names) instead of being descended into, so a mount that
// lies deeper than a directory inside the tree may show up under such a name afterwards.
bool removeTree(int parentFd, const QByteArray &name, QString *error);

} // namespace SafeTree
