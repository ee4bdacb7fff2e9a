#pragma once

#include <QtGlobal>

class QString;

// Reading df's table and the space rules of the check. Sizes are 64-bit throughout: a /home
// with more than 2 TiB free is a large disk, not an empty one.
namespace DiskSpace {

constexpr int UsedField = 2;
constexpr int AvailableField = 3;
constexpr qint64 PackageReserveMiB = 10240;
constexpr qint64 BackupReserveKiB = 10485760;

// Field |field| of df's second line (the file system's row), or empty text when df printed
// fewer lines or fields than that.
QString dfField(const QString &dfOutput, int field);

// A size in KiB as df prints it; text that is not a non-negative decimal number counts as 0.
qint64 parseKiB(const QString &text);

// Room for the package: twice its size plus the reserve must stay below the free space.
bool packageFits(qint64 packageBytes, qint64 freeKiB);

// Room for a backup of the root file system next to the reserve; equality passes.
bool backupFits(qint64 freeKiB, qint64 rootUsedKiB);

} // namespace DiskSpace
