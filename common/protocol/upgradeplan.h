#pragma once

#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>

class QDBusArgument;
class QJsonObject;

namespace OfflineUpdate {

// One package the upgrade changes. An installed package has no |fromVersion|, a removed one
// no |toVersion|.
struct PlannedPackage
{
    QString name;
    QString architecture;
    QString fromVersion;
    QString toVersion;

    bool operator==(const PlannedPackage &other) const;
};

// A configuration file the administrator changed that the upgrade replaces with the package's
// new version; the changed text is kept beside it as "<path>.dpkg-old".
struct ReplacedConfigFile
{
    QString package;
    QString path;

    bool operator==(const ReplacedConfigFile &other) const;
};

// The room the upgrade needs on one file system, and what it had when the plan was made.
struct SpaceNeed
{
    QString mountPoint;
    qint64 neededBytes = 0;
    qint64 freeBytes = 0;

    bool operator==(const SpaceNeed &other) const;
};

// What a passed check foresees the upgrade will do, from apt's simulation against the system's
// own dpkg state and the package's repository alone. On the bus as
// (a(ssss)a(ssss)a(ssss)asasa(ss)a(sxx)), in the order of the members.
struct UpgradePlan
{
    QList<PlannedPackage> upgraded;
    QList<PlannedPackage> installed;
    QList<PlannedPackage> removed;
    // Offered by the package but left at their installed version.
    QStringList keptBack;
    // Left half-installed by an earlier run of dpkg; finished before anything else.
    QStringList interrupted;
    QList<ReplacedConfigFile> replacedConfigFiles;
    QList<SpaceNeed> space;

    bool isEmpty() const;
    // The packages whose versions change, in the order of the members: what the upgrade must
    // bring about, and what a second simulation must foresee again.
    bool sameChanges(const UpgradePlan &other) const;
    bool operator==(const UpgradePlan &other) const;

    QJsonObject toJson() const;
    // The plan toJson() wrote; what it cannot read stays empty.
    static UpgradePlan fromJson(const QJsonObject &object);
};

// Makes the plan's types known to Qt's D-Bus; once per program, before the first call.
void registerUpgradePlanTypes();

QDBusArgument &operator<<(QDBusArgument &argument, const PlannedPackage &package);
const QDBusArgument &operator>>(const QDBusArgument &argument, PlannedPackage &package);
QDBusArgument &operator<<(QDBusArgument &argument, const ReplacedConfigFile &file);
const QDBusArgument &operator>>(const QDBusArgument &argument, ReplacedConfigFile &file);
QDBusArgument &operator<<(QDBusArgument &argument, const SpaceNeed &need);
const QDBusArgument &operator>>(const QDBusArgument &argument, SpaceNeed &need);
QDBusArgument &operator<<(QDBusArgument &argument, const UpgradePlan &plan);
const QDBusArgument &operator>>(const QDBusArgument &argument, UpgradePlan &plan);

} // namespace OfflineUpdate

Q_DECLARE_METATYPE(OfflineUpdate::PlannedPackage)
Q_DECLARE_METATYPE(OfflineUpdate::ReplacedConfigFile)
Q_DECLARE_METATYPE(OfflineUpdate::SpaceNeed)
Q_DECLARE_METATYPE(OfflineUpdate::UpgradePlan)
