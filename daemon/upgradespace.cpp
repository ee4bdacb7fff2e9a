#include "upgradespace.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

using OfflineUpdate::SpaceNeed;

bool UpgradeSpace::probeSystem(const QString &path, quint64 *device, qint64 *freeBytes)
{
    const QByteArray name = path.toLocal8Bit();
    struct stat status = {};
    struct statvfs space = {};
    if (stat(name.constData(), &status) != 0 || statvfs(name.constData(), &space) != 0)
        return false;
    *device = status.st_dev;
    *freeBytes = qint64(space.f_bavail) * qint64(space.f_frsize);
    return true;
}

QList<SpaceNeed> UpgradeSpace::needs(qint64 contentKiB, qint64 bootKiB, const Probe &probe)
{
    struct Place
    {
        QString path;
        qint64 kib;
    };
    const Place places[] = { { QStringLiteral("/"), 0 }, { QStringLiteral("/usr"), contentKiB },
        { QStringLiteral("/var"), 0 }, { QStringLiteral("/boot"), bootKiB } };
    QList<SpaceNeed> result;
    QList<quint64> devices;
    for (const Place &place : places) {
        quint64 device = 0;
        qint64 freeBytes = 0;
        if (!probe(place.path, &device, &freeBytes))
            continue;
        const int known = devices.indexOf(device);
        if (known >= 0) {
            result[known].neededBytes += place.kib * 1024;
            continue;
        }
        devices << device;
        result << SpaceNeed { place.path, place.kib * 1024, freeBytes };
    }
    QList<SpaceNeed> needed;
    for (const SpaceNeed &need : result) {
        if (need.neededBytes > 0)
            needed << need;
    }
    return needed;
}

const SpaceNeed *UpgradeSpace::shortage(const QList<SpaceNeed> &needs)
{
    for (const SpaceNeed &need : needs) {
        if (need.neededBytes > need.freeBytes)
            return &need;
    }
    return nullptr;
}
