#pragma once

#include "filedescriptor.h"

#include <QString>

struct CallerIdentity;

// The caller's home directory as the daemon resolved it once: the directory the caller named,
// held open, that the password database gives as the caller's home (matched by device and
// inode), under the one path with no symbolic link in it that leads there. Root hook scripts
// get that path and write below it; a user who can rename a directory on the way could swap
// a link in later and send those writes anywhere, so the path is checked again before every
// script.
class VerifiedHome
{
public:
    // Empty |error| and true when |homePath| may stand for |caller|'s home (see
    // CallerIdentity::openHome); the path is then resolved.
    bool open(const CallerIdentity &caller, const QString &homePath, QString *error);

    bool isValid() const { return m_home.isValid(); }
    // The resolved path: absolute, no link, no "." or "..".
    QString path() const { return m_path; }
    int fd() const { return m_home.get(); }

    // Whether path() still leads, without following any link, to the directory that was
    // verified; |error| says why not.
    bool stillLeadsHere(QString *error) const;

    // Opens |path| one component at a time, never following a link: the directory it names,
    // or an invalid descriptor with errno set.
    static FileDescriptor openWithoutLinks(const QString &path);

private:
    FileDescriptor m_home;
    QString m_path;
};
