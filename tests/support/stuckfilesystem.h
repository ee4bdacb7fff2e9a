#pragma once

#include <QString>

// A user-space file system that never answers: mounted on a directory, with nobody reading its
// device. Anything that looks inside waits until the mount goes (or the waiter is killed), as
// with a server that hangs. Root only.
class StuckFileSystem
{
public:
    explicit StuckFileSystem(const QString &mountPoint);
    // Aborts the connection, which frees every waiter, and unmounts.
    ~StuckFileSystem();

    StuckFileSystem(const StuckFileSystem &) = delete;
    StuckFileSystem &operator=(const StuckFileSystem &) = delete;

    bool isMounted() const { return m_mounted; }

private:
    QString m_mountPoint;
    int m_device = -1;
    bool m_mounted = false;
};
