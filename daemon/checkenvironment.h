#pragma once

#include "upgradespace.h"

#include <QString>

// The programs and fixed paths the check engine works with. The daemon always uses the
// defaults; tests hand in their own programs and paths.
struct CheckEnvironment
{
    QString df = QStringLiteral("/usr/bin/df");
    QString uname = QStringLiteral("uname");
    QString mount = QStringLiteral("mount");
    QString losetup = QStringLiteral("losetup");
    QString apt = QStringLiteral("apt");
    QString aptGet = QStringLiteral("apt-get"); // the plan's simulations
    QString aptCache = QStringLiteral("apt-cache");
    QString dpkgQuery = QStringLiteral("dpkg-query");
    QString dpkgDeb = QStringLiteral("dpkg-deb");
    QString tar = QStringLiteral("tar");
    // Where the upgrade's files land and how much room is left there.
    UpgradeSpace::Probe fileSystemOf = UpgradeSpace::probeSystem;
    // The running kernel's release (uname -r); empty: ask the kernel.
    QString kernelRelease;
    QString bash = QStringLiteral("/bin/bash");
    QString sourceList = QStringLiteral("/etc/tevrin-offline-update/update.list");
    QString listsDirectory = QStringLiteral("/var/lib/upgrade/lists/");
    // Root-owned; each user's mounts go into <runDirectory>/<uid>/.
    QString runDirectory = QStringLiteral("/run/tevrin-offline-update");
    // Root-only; the runs' private copies of their packages go into <stateDirectory>/packages/.
    QString stateDirectory = QStringLiteral("/var/lib/tevrin-offline-update");
    // How long reading the caller's package may go without progress before it is given up.
    int packageStallLimitMs = 30000;
    int hookTimeLimitMs = 30000;
    QString setpriv = QStringLiteral("setpriv");
    QString unshare = QStringLiteral("unshare");
    QString dpkg = QStringLiteral("dpkg");
    QString dpkgAdminDirectory = QStringLiteral("/var/lib/dpkg");
    QString gpgv = QStringLiteral("gpgv");
    QString gpg = QStringLiteral("gpg"); // only to read armored trusted keys
    QString trustDirectory = QStringLiteral("/etc/tevrin-offline-update/trusted.gpg.d");
    QString configFile = QStringLiteral("/etc/tevrin-offline-update/daemon.conf");
};
