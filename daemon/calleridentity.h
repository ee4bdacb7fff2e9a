#pragma once

#include "filedescriptor.h"

#include <QString>
#include <sys/types.h>
#include <vector>

// Who a D-Bus caller is on this machine, from the password and group databases. The daemon
// acts as root on the strings a caller sends; this is what those strings are checked against.
struct CallerIdentity
{
    uid_t uid = 0;
    gid_t gid = 0;
    std::vector<gid_t> groups;
    QString home;
    QString name; // the user's login name

    bool isRoot() const { return uid == 0; }

    static CallerIdentity root();
    // False, with the reason in |error|, when the uid has no entry in the password database.
    static bool lookUp(uid_t uid, CallerIdentity *identity, QString *error);

    // Opens |homePath| as this caller's home directory: a user may name only the directory
    // that is their home in the password database (compared by device and inode, so no
    // spelling of another directory, "/home/alice/link/.." included, passes), root any
    // existing directory. A final symbolic link is not followed for a user. On refusal the
    // descriptor is invalid and |refusal| says why.
    FileDescriptor openHome(const QString &homePath, QString *refusal) const;

    // Empty when |homePath| may be used as this caller's home directory (openHome), else the
    // reason it may not.
    QString refuseHome(const QString &homePath) const;
};
