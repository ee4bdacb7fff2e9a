#include "installedpackages.h"

#include "asynccommand.h"
#include "checkenvironment.h"
#include "commandoutput.h"
#include "upgraderun.h"

#include <QDebug>

bool InstalledPackages::Package::interrupted() const
{
    // Second letter: n not installed, c config files only, H half-installed, U unpacked,
    // F half-configured, W triggers awaited, t triggers pending, i installed.
    const QChar state = status.size() >= 2 ? status.at(1) : QChar();
    return state == QLatin1Char('H') || state == QLatin1Char('U') || state == QLatin1Char('F')
        || state == QLatin1Char('W') || state == QLatin1Char('t');
}

bool InstalledPackages::Package::configured() const
{
    return status.size() >= 2 && status.at(1) == QLatin1Char('i');
}

QStringList InstalledPackages::queryArguments(const CheckEnvironment &environment)
{
    // One line per package; its configuration files follow on lines that begin with a space.
    return { QStringLiteral("--admindir=") + environment.dpkgAdminDirectory,
        QStringLiteral("--show"),
        QStringLiteral("--showformat=${Package}\\t${Architecture}\\t${Version}\\t"
                       "${db:Status-Abbrev}\\t${Essential}\\t${Priority}\\t${Installed-Size}\\n"
                       "${Conffiles}\\n") };
}

InstalledPackages InstalledPackages::parse(const QString &output)
{
    InstalledPackages packages;
    Package *current = nullptr;
    for (const QString &line : output.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (line.startsWith(QLatin1Char(' '))) {
            const QStringList fields = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
            if (current && fields.size() >= 2)
                current->configFiles << ConfigFile { fields.at(0), fields.at(1),
                    fields.contains(QLatin1String("obsolete")) };
            continue;
        }
        const QStringList fields = line.split(QLatin1Char('\t'));
        if (fields.size() < 7 || fields.at(0).isEmpty()) {
            current = nullptr;
            continue;
        }
        Package package;
        package.name = fields.at(0);
        package.architecture = fields.at(1);
        package.version = fields.at(2);
        package.status = fields.at(3).trimmed();
        package.essential = fields.at(4) == QLatin1String("yes");
        package.priority = fields.at(5);
        package.installedKiB = fields.at(6).toLongLong();
        packages.m_packages << package;
        if (!packages.m_byName.contains(package.name))
            packages.m_byName.insert(package.name, packages.m_packages.size() - 1);
        current = &packages.m_packages.last();
    }
    return packages;
}

const InstalledPackages::Package *InstalledPackages::find(const QString &name) const
{
    const auto found = m_byName.constFind(name);
    return found == m_byName.constEnd() ? nullptr : &m_packages.at(*found);
}

void InstalledPackages::readState(QObject *context, const CheckEnvironment &environment,
    std::function<void(bool known, bool interrupted, const QStringList &packages)> done)
{
    AsyncCommand::start(context, environment.dpkgQuery, queryArguments(environment),
        CommandOutput::WaitMs, [environment, done](const AsyncCommand::Result &result) {
            if (!result.succeeded()) {
                qWarning() << "cannot read dpkg's state:" << result.describe();
                done(false, false, {});
                return;
            }
            QStringList unfinished;
            for (const Package &package :
                parse(QString::fromLocal8Bit(result.standardOutput)).all()) {
                if (package.interrupted())
                    unfinished << package.name;
            }
            done(true, !unfinished.isEmpty() || UpgradeRun::dpkgJournalHasEntries(environment),
                unfinished);
        });
}
