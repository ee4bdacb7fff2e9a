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

    static PackageFile open(const CallerIdentity &caller, const QString &path);

    Outcome outcome() const { return m_outcome; }
    QString reason() const { return m_reason; }
    int fd() const { return m_fd.get(); }
    qint64 size() const { return m_size; }

private:
    Outcome m_outcome = Missing;
    QString m_reason;
    FileDescriptor m_fd;
    qint64 m_size = 0;
};
