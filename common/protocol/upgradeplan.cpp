#include "upgradeplan.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QJsonArray>
#include <QJsonObject>

namespace OfflineUpdate {

namespace {

QJsonArray packagesJson(const QList<PlannedPackage> &packages)
{
    QJsonArray array;
    for (const PlannedPackage &package : packages) {
        QJsonObject entry { { QStringLiteral("name"), package.name },
            { QStringLiteral("architecture"), package.architecture } };
        if (!package.fromVersion.isEmpty())
            entry.insert(QStringLiteral("from"), package.fromVersion);
        if (!package.toVersion.isEmpty())
            entry.insert(QStringLiteral("to"), package.toVersion);
        array.append(entry);
    }
    return array;
}

QList<PlannedPackage> packagesFromJson(const QJsonValue &value)
{
    QList<PlannedPackage> packages;
    for (const QJsonValue &entry : value.toArray()) {
        const QJsonObject object = entry.toObject();
        packages << PlannedPackage { object.value(QStringLiteral("name")).toString(),
            object.value(QStringLiteral("architecture")).toString(),
            object.value(QStringLiteral("from")).toString(),
            object.value(QStringLiteral("to")).toString() };
    }
    return packages;
}

QStringList stringsFromJson(const QJsonValue &value)
{
    QStringList strings;
    for (const QJsonValue &entry : value.toArray())
        strings << entry.toString();
    return strings;
}

} // namespace

bool PlannedPackage::operator==(const PlannedPackage &other) const
{
    return name == other.name && architecture == other.architecture
        && fromVersion == other.fromVersion && toVersion == other.toVersion;
}

bool ReplacedConfigFile::operator==(const ReplacedConfigFile &other) const
{
    return package == other.package && path == other.path;
}

bool SpaceNeed::operator==(const SpaceNeed &other) const
{
    return mountPoint == other.mountPoint && neededBytes == other.neededBytes
        && freeBytes == other.freeBytes;
}

bool UpgradePlan::isEmpty() const
{
    return upgraded.isEmpty() && installed.isEmpty() && removed.isEmpty() && keptBack.isEmpty()
        && interrupted.isEmpty() && replacedConfigFiles.isEmpty() && space.isEmpty();
}

bool UpgradePlan::sameChanges(const UpgradePlan &other) const
{
    return upgraded == other.upgraded && installed == other.installed && removed == other.removed;
}

bool UpgradePlan::operator==(const UpgradePlan &other) const
{
    return sameChanges(other) && keptBack == other.keptBack && interrupted == other.interrupted
        && replacedConfigFiles == other.replacedConfigFiles && space == other.space;
}

QJsonObject UpgradePlan::toJson() const
{
    QJsonArray files;
    for (const ReplacedConfigFile &file : replacedConfigFiles)
        files.append(QJsonObject { { QStringLiteral("package"), file.package },
            { QStringLiteral("path"), file.path } });
    QJsonArray room;
    for (const SpaceNeed &need : space)
        room.append(QJsonObject { { QStringLiteral("mountPoint"), need.mountPoint },
            { QStringLiteral("neededBytes"), double(need.neededBytes) },
            { QStringLiteral("freeBytes"), double(need.freeBytes) } });
    return QJsonObject { { QStringLiteral("upgraded"), packagesJson(upgraded) },
        { QStringLiteral("installed"), packagesJson(installed) },
        { QStringLiteral("removed"), packagesJson(removed) },
        { QStringLiteral("keptBack"), QJsonArray::fromStringList(keptBack) },
        { QStringLiteral("interrupted"), QJsonArray::fromStringList(interrupted) },
        { QStringLiteral("replacedConfigFiles"), files }, { QStringLiteral("space"), room } };
}

UpgradePlan UpgradePlan::fromJson(const QJsonObject &object)
{
    UpgradePlan plan;
    plan.upgraded = packagesFromJson(object.value(QStringLiteral("upgraded")));
    plan.installed = packagesFromJson(object.value(QStringLiteral("installed")));
    plan.removed = packagesFromJson(object.value(QStringLiteral("removed")));
    plan.keptBack = stringsFromJson(object.value(QStringLiteral("keptBack")));
    plan.interrupted = stringsFromJson(object.value(QStringLiteral("interrupted")));
    for (const QJsonValue &entry : object.value(QStringLiteral("replacedConfigFiles")).toArray())
        plan.replacedConfigFiles << ReplacedConfigFile {
            entry.toObject().value(QStringLiteral("package")).toString(),
            entry.toObject().value(QStringLiteral("path")).toString() };
    for (const QJsonValue &entry : object.value(QStringLiteral("space")).toArray()) {
        const QJsonObject need = entry.toObject();
        plan.space << SpaceNeed { need.value(QStringLiteral("mountPoint")).toString(),
            qint64(need.value(QStringLiteral("neededBytes")).toDouble()),
            qint64(need.value(QStringLiteral("freeBytes")).toDouble()) };
    }
    return plan;
}

void registerUpgradePlanTypes()
{
    qDBusRegisterMetaType<PlannedPackage>();
    qDBusRegisterMetaType<QList<PlannedPackage>>();
    qDBusRegisterMetaType<ReplacedConfigFile>();
    qDBusRegisterMetaType<QList<ReplacedConfigFile>>();
    qDBusRegisterMetaType<SpaceNeed>();
    qDBusRegisterMetaType<QList<SpaceNeed>>();
    qDBusRegisterMetaType<UpgradePlan>();
}

QDBusArgument &operator<<(QDBusArgument &argument, const PlannedPackage &package)
{
    argument.beginStructure();
    argument << package.name << package.architecture << package.fromVersion << package.toVersion;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, PlannedPackage &package)
{
    argument.beginStructure();
    argument >> package.name >> package.architecture >> package.fromVersion >> package.toVersion;
    argument.endStructure();
    return argument;
}

QDBusArgument &operator<<(QDBusArgument &argument, const ReplacedConfigFile &file)
{
    argument.beginStructure();
    argument << file.package << file.path;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, ReplacedConfigFile &file)
{
    argument.beginStructure();
    argument >> file.package >> file.path;
    argument.endStructure();
    return argument;
}

QDBusArgument &operator<<(QDBusArgument &argument, const SpaceNeed &need)
{
    argument.beginStructure();
    argument << need.mountPoint << need.neededBytes << need.freeBytes;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, SpaceNeed &need)
{
    argument.beginStructure();
    argument >> need.mountPoint >> need.neededBytes >> need.freeBytes;
    argument.endStructure();
    return argument;
}

QDBusArgument &operator<<(QDBusArgument &argument, const UpgradePlan &plan)
{
    argument.beginStructure();
    argument << plan.upgraded << plan.installed << plan.removed << plan.keptBack
             << plan.interrupted << plan.replacedConfigFiles << plan.space;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, UpgradePlan &plan)
{
    argument.beginStructure();
    argument >> plan.upgraded >> plan.installed >> plan.removed >> plan.keptBack
        >> plan.interrupted >> plan.replacedConfigFiles >> plan.space;
    argument.endStructure();
    return argument;
}

} // namespace OfflineUpdate
