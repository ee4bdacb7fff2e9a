#pragma once

#include "filedescriptor.h"

#include <QString>

struct CallerIdentity;

// Opens the package file with the caller's own file-system rights, so that root never reads
// a file for a user that the user could not read, and keeps it open: every later step works on
// this one file, whatever happens to the path afterwards.
class PackageFile
{
public:
    enum Outcome { Opened, Missing, Refused };
    enum Guard { Guarded, BeingWritten, Unguardable };

    static PackageFile open(const CallerIdentity &caller, const QString &path);

    Outcome outcome() const { return m_outcome; }
    QString reason() const { return m_reason; }
    int fd() const { return m_fd.get(); }
    qint64 size() const { return m_size; }

    // The file's owner can rewrite it at any time, and the loop devices read what is there
    // now: what was checked, verified and confirmed would not be what runs. A read lease
    // guards it. The kernel refuses one while anyone has the file open for writing, and
    // breaks it when anyone opens it for writing or truncates it. Unguardable: a file system
    // that cannot take a lease, or whose content a server changes without opening the file
    // here (user-space and network file systems); |why| says which.
    Guard guard(QString *why);
    // Whether the file may have been written since guard(). A broken lease is let go of at
    // once, so that the writer does not wait for the kernel's time-out.
    bool changed();

private:
    Outcome m_outcome = Missing;
    QString m_reason;
    FileDescriptor m_fd;
    qint64 m_size = 0;
    bool m_guarded = false;
    bool m_changed = false;
};
