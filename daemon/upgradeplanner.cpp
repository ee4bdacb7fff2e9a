#include "upgradeplanner.h"

#include "aptsimulation.h"
#include "asynccommand.h"
#include "configfilereplacement.h"
#include "installedpackages.h"
#include "offlineupdateprotocol.h"
#include "privateaptsource.h"

#include <QDebug>
#include <QFutureWatcher>
#include <QHash>
#include <QSysInfo>
#include <QtConcurrent>
#include <algorithm>

using OfflineUpdate::PlannedPackage;
using OfflineUpdate::SpaceNeed;
using OfflineUpdate::UpgradePlan;
namespace Reason = OfflineUpdate::Reason;

namespace {

// A full system's simulation reads every installed package; it is given more time than a
// mount.
constexpr int SimulationWaitMs = 120000;
constexpr int ComplaintLines = 5;

void sortByName(QList<PlannedPackage> *packages)
{
    std::sort(packages->begin(), packages->end(),
        [](const PlannedPackage &a, const PlannedPackage &b) {
            return a.name != b.name ? a.name < b.name : a.architecture < b.architecture;
        });
}

QString gib(qint64 bytes)
{
    return QString::number(double(bytes) / 1073741824.0, 'f', 1);
}

// What apt printed to say why it cannot, or how it ended when it printed nothing of use.
QString complaint(const AptSimulation &simulation, const AsyncCommand::Result &result)
{
    QStringList lines = simulation.complaints.mid(0, ComplaintLines);
    if (lines.isEmpty())
        lines = AptSimulation::parse(QString::fromLocal8Bit(result.standardError))
                    .complaints.mid(0, ComplaintLines);
    return lines.isEmpty() ? result.describe() : lines.join(QLatin1Char('\n'));
}

// A relative path inside the repository, as a package index names an archive.
bool insideRepository(const QString &path)
{
    return !path.isEmpty() && !path.startsWith(QLatin1Char('/'))
        && !path.split(QLatin1Char('/')).contains(QLatin1String(".."));
}

struct Candidate
{
    qint64 installedKiB = 0;
    QString filename;
};

// apt-cache show's records, by "name=version=architecture".
QHash<QString, Candidate> parseRecords(const QString &output)
{
    QHash<QString, Candidate> records;
    QString name, version, architecture;
    Candidate candidate;
    const auto flush = [&] {
        if (!name.isEmpty())
            records.insert(name + QLatin1Char('=') + version + QLatin1Char('=') + architecture,
                candidate);
        name.clear();
        version.clear();
        architecture.clear();
        candidate = Candidate();
    };
    for (const QString &line : output.split(QLatin1Char('\n'))) {
        if (line.trimmed().isEmpty()) {
            flush();
            continue;
        }
        const int colon = line.indexOf(QLatin1String(": "));
        if (colon <= 0 || line.startsWith(QLatin1Char(' ')))
            continue;
        const QStringRef field = line.leftRef(colon);
        const QString value = line.mid(colon + 2).trimmed();
        if (field == QLatin1String("Package"))
            name = value;
        else if (field == QLatin1String("Version"))
            version = value;
        else if (field == QLatin1String("Architecture"))
            architecture = value;
        else if (field == QLatin1String("Installed-Size"))
            candidate.installedKiB = value.toLongLong();
        else if (field == QLatin1String("Filename"))
            candidate.filename = value;
    }
    flush();
    return records;
}

QString key(const PlannedPackage &package)
{
    return package.name + QLatin1Char('=') + package.toVersion + QLatin1Char('=')
        + package.architecture;
}

} // namespace

UpgradePlanner::UpgradePlanner(
    QObject *owner, const CheckEnvironment &environment, const QString &repository, Done done)
    : QObject(owner)
    , m_environment(environment)
    , m_repository(repository)
    , m_done(std::move(done))
{ }

void UpgradePlanner::plan(
    QObject *owner, const CheckEnvironment &environment, const QString &repository, Done done)
{
    (new UpgradePlanner(owner, environment, repository, std::move(done)))->simulate();
}

QStringList UpgradePlanner::simulationArguments(
    const CheckEnvironment &environment, const QStringList &command)
{
    // No lock: a simulation changes nothing, and the check must not keep a real upgrade
    // waiting. No cache file: the system's own would otherwise be rebuilt from the private list.
    return PrivateAptSource::arguments(environment,
        { QStringLiteral("-o"),
            QStringLiteral("Dir::State::status=") + environment.dpkgAdminDirectory
                + QStringLiteral("/status"),
            QStringLiteral("-o"), QStringLiteral("Debug::NoLocking=true"), QStringLiteral("-o"),
            QStringLiteral("Dir::Cache::pkgcache="), QStringLiteral("-o"),
            QStringLiteral("Dir::Cache::srcpkgcache=") })
        + command;
}

void UpgradePlanner::simulate()
{
    AsyncCommand::start(this, m_environment.aptGet,
        simulationArguments(
            m_environment, { QStringLiteral("--simulate"), QStringLiteral("dist-upgrade") }),
        SimulationWaitMs, [this](const AsyncCommand::Result &result) {
            const QString output = QString::fromLocal8Bit(result.standardOutput);
            if (!result.succeeded()) {
                refuse(Reason::PlanUnsolvable, complaint(AptSimulation::parse(output), result));
                return;
            }
            readInstalled(output);
        });
}

void UpgradePlanner::readInstalled(const QString &simulationOutput)
{
    m_simulationOutput = simulationOutput;
    AsyncCommand::start(this, m_environment.dpkgQuery,
        InstalledPackages::queryArguments(m_environment), SimulationWaitMs,
        [this](const AsyncCommand::Result &result) {
            if (!result.succeeded()) {
                refuse(Reason::PlanUnsolvable,
                    QStringLiteral("dpkg-query: ") + result.describe());
                return;
            }
            m_installedOutput = QString::fromLocal8Bit(result.standardOutput);
            const InstalledPackages installed = InstalledPackages::parse(m_installedOutput);
            const AptSimulation simulation = AptSimulation::parse(m_simulationOutput);
            UpgradePlan &plan = m_outcome.plan;
            plan.upgraded = simulation.upgraded;
            plan.installed = simulation.installed;
            plan.removed = simulation.removed;
            for (PlannedPackage &removed : plan.removed) {
                if (const InstalledPackages::Package *package = installed.find(removed.name))
                    removed.architecture = package->architecture;
            }
            sortByName(&plan.upgraded);
            sortByName(&plan.installed);
            sortByName(&plan.removed);
            plan.keptBack = simulation.keptBack;
            plan.keptBack.sort();
            for (const InstalledPackages::Package &package : installed.all()) {
                if (package.interrupted())
                    plan.interrupted << package.name;
            }

            const QStringList vital = vitalRemovals(simulation, installed);
            if (!vital.isEmpty()) {
                refuse(Reason::PlanRemovesEssential, vital.join(QStringLiteral(", ")));
                return;
            }
            if (!plan.keptBack.isEmpty()) {
                explainKeptBack();
                return;
            }
            readCandidates();
        });
}

QStringList UpgradePlanner::vitalRemovals(
    const AptSimulation &simulation, const InstalledPackages &installed) const
{
    const QString kernel = QStringLiteral("linux-image-")
        + (m_environment.kernelRelease.isEmpty() ? QSysInfo::kernelVersion()
                                                 : m_environment.kernelRelease);
    QStringList vital;
    for (const PlannedPackage &removed : simulation.removed) {
        const InstalledPackages::Package *package = installed.find(removed.name);
        if (removed.name == kernel
            || (package
                && (package->essential || package->priority == QLatin1String("required"))))
            vital << removed.name;
    }
    return vital;
}

void UpgradePlanner::explainKeptBack()
{
    // What apt says when asked for the kept-back packages themselves tells why it kept them.
    AsyncCommand::start(this, m_environment.aptGet,
        simulationArguments(m_environment,
            QStringList { QStringLiteral("--simulate"), QStringLiteral("install") }
                + m_outcome.plan.keptBack),
        SimulationWaitMs, [this](const AsyncCommand::Result &result) {
            const AptSimulation simulation
                = AptSimulation::parse(QString::fromLocal8Bit(result.standardOutput));
            if (!result.succeeded()) {
                refuse(Reason::PlanUnsolvable, complaint(simulation, result));
                return;
            }
            const QStringList vital
                = vitalRemovals(simulation, InstalledPackages::parse(m_installedOutput));
            if (!vital.isEmpty()) {
                refuse(Reason::PlanRemovesEssential, vital.join(QStringLiteral(", ")));
                return;
            }
            refuse(Reason::PlanKeepsBack, m_outcome.plan.keptBack.join(QStringLiteral(", ")));
        });
}

void UpgradePlanner::readCandidates()
{
    const UpgradePlan &plan = m_outcome.plan;
    QStringList wanted;
    for (const QList<PlannedPackage> *list : { &plan.upgraded, &plan.installed }) {
        for (const PlannedPackage &package : *list)
            wanted << package.name + QLatin1Char(':') + package.architecture + QLatin1Char('=')
                    + package.toVersion;
    }
    if (wanted.isEmpty()) {
        finish();
        return;
    }
    AsyncCommand::start(this, m_environment.aptCache,
        simulationArguments(m_environment, QStringList { QStringLiteral("show") } + wanted),
        SimulationWaitMs, [this](const AsyncCommand::Result &result) {
            if (!result.succeeded()) {
                refuse(Reason::PlanUnsolvable, QStringLiteral("apt-cache: ") + result.describe());
                return;
            }
            findReplacedConfigFiles(QString::fromLocal8Bit(result.standardOutput));
        });
}

void UpgradePlanner::findReplacedConfigFiles(const QString &candidates)
{
    const QHash<QString, Candidate> records = parseRecords(candidates);
    const InstalledPackages installed = InstalledPackages::parse(m_installedOutput);
    UpgradePlan &plan = m_outcome.plan;

    // The room: what the packages grow by, and a whole unpacked copy of the largest beside the
    // old one while dpkg replaces it.
    qint64 growthKiB = 0;
    qint64 largestKiB = 0;
    qint64 bootKiB = 0;
    QList<ConfigFileReplacement::Candidate> configFiles;
    for (const QList<PlannedPackage> *list : { &plan.upgraded, &plan.installed }) {
        for (const PlannedPackage &package : *list) {
            const Candidate candidate = records.value(key(package));
            const InstalledPackages::Package *old = installed.find(package.name);
            growthKiB += candidate.installedKiB - (old ? old->installedKiB : 0);
            largestKiB = qMax(largestKiB, candidate.installedKiB);
            if (package.name.startsWith(QLatin1String("linux-image-")))
                bootKiB += candidate.installedKiB;
            if (!old || package.fromVersion.isEmpty() || !insideRepository(candidate.filename))
                continue;
            for (const InstalledPackages::ConfigFile &file : old->configFiles) {
                if (!file.obsolete)
                    configFiles << ConfigFileReplacement::Candidate { package.name, file.path,
                        file.md5, m_repository + QLatin1Char('/') + candidate.filename };
            }
        }
    }
    plan.space = UpgradeSpace::needs(
        qMax<qint64>(growthKiB, 0) + largestKiB, bootKiB, m_environment.fileSystemOf);
    if (const SpaceNeed *need = UpgradeSpace::shortage(plan.space)) {
        refuse(Reason::NoUpgradeSpace,
            QStringLiteral("%1: %2/%3")
                .arg(need->mountPoint, gib(need->neededBytes), gib(need->freeBytes)));
        return;
    }
    if (configFiles.isEmpty()) {
        finish();
        return;
    }
    // Hashing the files and reading archives blocks: beside the event loop.
    auto *watcher = new QFutureWatcher<QList<OfflineUpdate::ReplacedConfigFile>>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher] {
        m_outcome.plan.replacedConfigFiles = watcher->result();
        finish();
    });
    const CheckEnvironment environment = m_environment;
    watcher->setFuture(QtConcurrent::run([environment, configFiles] {
        return ConfigFileReplacement::replaced(environment, configFiles);
    }));
}

QStringList UpgradePlanner::unmet(const UpgradePlan &plan, const InstalledPackages &installed)
{
    QStringList unmet;
    for (const QList<PlannedPackage> *list : { &plan.upgraded, &plan.installed }) {
        for (const PlannedPackage &planned : *list) {
            const InstalledPackages::Package *package = installed.find(planned.name);
            if (!package || !package->configured())
                unmet << planned.name + QStringLiteral(" (not installed)");
            else if (package->version != planned.toVersion)
                unmet << QStringLiteral("%1 (%2)").arg(planned.name, package->version);
        }
    }
    for (const PlannedPackage &planned : plan.removed) {
        const InstalledPackages::Package *package = installed.find(planned.name);
        if (package && (package->configured() || package->interrupted()))
            unmet << planned.name;
    }
    return unmet;
}

void UpgradePlanner::refuse(const QString &key, const QString &detail)
{
    m_outcome.refusalKey = key;
    m_outcome.refusalDetail = detail;
    qWarning() << "UpgradePlanner: the upgrade cannot be planned:" << key << detail.left(4096);
    finish();
}

void UpgradePlanner::finish()
{
    const Done done = std::move(m_done);
    const Outcome outcome = m_outcome;
    deleteLater();
    if (done)
        done(outcome);
}
