#include "diskspace.h"

#include <QString>
#include <QStringList>
#include <QVector>

namespace DiskSpace {

QString dfField(const QString &dfOutput, int field)
{
    const QVector<QStringRef> lines = dfOutput.splitRef(QLatin1Char('\n'));
    if (lines.size() < 2)
        return {};
    const QVector<QStringRef> fields = lines.at(1).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (field < 0 || field >= fields.size())
        return {};
    return fields.at(field).toString();
}

qint64 parseKiB(const QString &text)
{
    bool ok = false;
    const qint64 value = text.toLongLong(&ok, 10);
    return ok && value >= 0 ? value : 0;
}

bool packageFits(qint64 packageBytes, qint64 freeKiB)
{
    const qint64 packageMiB = qMax<qint64>(packageBytes, 0) / 1048576;
    const qint64 freeMiB = freeKiB / 1024;
    return 2 * packageMiB + PackageReserveMiB < freeMiB;
}

bool backupFits(qint64 freeKiB, qint64 rootUsedKiB)
{
    // Written so that no sum can overflow, whatever df printed.
    return freeKiB >= BackupReserveKiB && freeKiB - BackupReserveKiB >= rootUsedKiB;
}

} // namespace DiskSpace
