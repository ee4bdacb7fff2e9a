#include "upgradeplantext.h"

#include <cmath>

using namespace OfflineUpdate;

namespace {

constexpr qint64 MiB = 1024 * 1024;
constexpr qint64 GiB = 1024 * MiB;

} // namespace

QString UpgradePlanText::summary(const UpgradePlan &plan)
{
    QStringList parts;
    if (!plan.upgraded.isEmpty())
        parts << tr("%1 upgraded").arg(plan.upgraded.size());
    if (!plan.installed.isEmpty())
        parts << tr("%1 new").arg(plan.installed.size());
    if (!plan.removed.isEmpty())
        parts << tr("%1 removed").arg(plan.removed.size());
    if (parts.isEmpty())
        return tr("No package changes");
    return parts.join(tr(", ", "between the parts of the plan's summary"));
}

QString UpgradePlanText::packageLine(const PlannedPackage &package)
{
    if (package.fromVersion.isEmpty())
        return tr("%1 %2", "a new package: its name and version")
            .arg(package.name, package.toVersion);
    if (package.toVersion.isEmpty())
        return tr("%1 %2", "a removed package: its name and version")
            .arg(package.name, package.fromVersion);
    return tr("%1 %2 → %3").arg(package.name, package.fromVersion, package.toVersion);
}

QString UpgradePlanText::configFileLine(const ReplacedConfigFile &file)
{
    return tr("%1 (%2)", "a replaced configuration file and its package")
        .arg(file.path, file.package);
}

QString UpgradePlanText::replacedFilesNote(const UpgradePlan &plan)
{
    if (plan.replacedConfigFiles.isEmpty())
        return {};
    return tr("Your changed versions of the replaced configuration files are kept beside them, "
              "ending in .dpkg-old.");
}

QString UpgradePlanText::spaceLine(const SpaceNeed &need)
{
    return tr("%1: %2 needed, %3 free")
        .arg(need.mountPoint, size(need.neededBytes), size(need.freeBytes));
}

QString UpgradePlanText::size(qint64 bytes)
{
    if (bytes >= GiB)
        return tr("%1 GiB").arg(QString::number(double(bytes) / GiB, 'f', 1));
    // Rounded up, so that a need of a few bytes does not read as none.
    return tr("%1 MiB").arg(qint64(std::ceil(double(qMax<qint64>(bytes, 0)) / MiB)));
}

QList<UpgradePlanText::Section> UpgradePlanText::sections(const UpgradePlan &plan)
{
    QList<Section> sections;
    const auto add = [&sections](Part part, const QString &title, const QStringList &lines) {
        if (!lines.isEmpty())
            sections.append({ part, title, lines });
    };
    const auto packageLines = [](const QList<PlannedPackage> &packages) {
        QStringList lines;
        for (const PlannedPackage &package : packages)
            lines << packageLine(package);
        return lines;
    };
    add(Upgraded, tr("Upgraded (%1)").arg(plan.upgraded.size()), packageLines(plan.upgraded));
    add(Installed, tr("New (%1)").arg(plan.installed.size()), packageLines(plan.installed));
    add(Removed, tr("Removed (%1)").arg(plan.removed.size()), packageLines(plan.removed));
    add(KeptBack, tr("Left at the installed version (%1)").arg(plan.keptBack.size()),
        plan.keptBack);
    add(Interrupted,
        tr("Unfinished installations, completed first (%1)").arg(plan.interrupted.size()),
        plan.interrupted);
    QStringList files;
    for (const ReplacedConfigFile &file : plan.replacedConfigFiles)
        files << configFileLine(file);
    add(ReplacedConfigFiles, tr("Replaced configuration files (%1)").arg(files.size()), files);
    QStringList room;
    for (const SpaceNeed &need : plan.space)
        room << spaceLine(need);
    add(Space, tr("Disk space needed"), room);
    return sections;
}
