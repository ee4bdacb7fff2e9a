#pragma once

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

    bool isRoot() const { return uid == 0; }

    static CallerIdentity root();
    // False, with the reason in |error|, when the uid has no entry in the password database.
    static bool lookUp(uid_t uid, CallerIdentity *identity, QString *error);

    // Empty when |homePath| may be used as this caller's home directory, else the reason it
    // may not: a user names only their own home, root any existing directory.
    QString refuseHome(const QString &homePath) const;
};
