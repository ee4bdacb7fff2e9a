#pragma once

#include "upgradeplan.h"

#include <functional>

// The room an upgrade needs, per file system. Package contents land below /usr (the kernel's
// also in /boot), so that is where the growth is counted; a file system that only one of the
// other places lies on is checked when it is a separate one.
namespace UpgradeSpace {

// Tells the file system |path| lies on (its device) and the bytes an unprivileged writer may
// still use there; false when |path| cannot be looked at.
using Probe = std::function<bool(const QString &path, quint64 *device, qint64 *freeBytes)>;

// stat() and statvfs() of the running system.
bool probeSystem(const QString &path, quint64 *device, qint64 *freeBytes);

// What the file systems of "/", "/usr", "/var" and "/boot" need: |contentKiB| on the one
// holding /usr, |bootKiB| more on the one holding /boot. One entry per file system, named by
// the first of those paths on it, and only where something is needed.
QList<OfflineUpdate::SpaceNeed> needs(qint64 contentKiB, qint64 bootKiB, const Probe &probe);

// The first need that does not fit, or null.
const OfflineUpdate::SpaceNeed *shortage(const QList<OfflineUpdate::SpaceNeed> &needs);

} // namespace UpgradeSpace
