#pragma once

#include <QString>

// The programs and fixed paths the check engine works with. The daemon always uses the
// defaults; tests hand in their own programs and paths.
struct CheckEnvironment
{
    QString df = QStringLiteral("/usr/bin/df");
    QString uname = QStringLiteral("uname");
    QString mount = QStringLiteral("mount");
    QString umount = QStringLiteral("umount");
    QString losetup = QStringLiteral("losetup");
    QString apt = QStringLiteral("apt");
    QString bash = QStringLiteral("/bin/bash");
    QString sourceList = QStringLiteral("/etc/tevrin-offline-update/update.list");
    QString listsDirectory = QStringLiteral("/var/lib/upgrade/lists/");
};
