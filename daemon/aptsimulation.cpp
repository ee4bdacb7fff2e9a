#include "aptsimulation.h"

#include <QRegularExpression>

using OfflineUpdate::PlannedPackage;

namespace {

// "Inst name[:arch] [installed] (candidate release... [arch])", the installed version only for
// an upgrade; a release may hold spaces ("Debian:12/stable, Debian-Security:12/...").
const QRegularExpression InstLine(
    QStringLiteral(R"(^Inst (\S+?)(?::\S+)? (?:\[([^\]]*)\] )?\((\S+) .*\[([^\]\s]+)\]\))"));
// "Remv name[:arch] [installed]"
const QRegularExpression RemvLine(QStringLiteral(R"(^Remv (\S+?)(?::\S+)?(?: \[([^\]]*)\])?\s*$)"));

// apt's headings of the lists it prints before the simulated actions; the names follow on lines
// indented by two spaces.
const QString KeptBackHeading = QStringLiteral("The following packages have been kept back:");

} // namespace

AptSimulation AptSimulation::parse(const QString &output)
{
    AptSimulation simulation;
    bool inKeptBack = false;
    for (const QString &line : output.split(QLatin1Char('\n'))) {
        if (inKeptBack && line.startsWith(QLatin1String("  "))) {
            for (const QString &name : line.split(QLatin1Char(' '), Qt::SkipEmptyParts))
                simulation.keptBack << name.section(QLatin1Char(':'), 0, 0);
            continue;
        }
        inKeptBack = line == KeptBackHeading;
        if (line.startsWith(QLatin1String("Inst "))) {
            const QRegularExpressionMatch match = InstLine.match(line);
            if (!match.hasMatch())
                continue;
            PlannedPackage package { match.captured(1), match.captured(4), match.captured(2),
                match.captured(3) };
            if (package.fromVersion.isEmpty())
                simulation.installed << package;
            else
                simulation.upgraded << package;
        } else if (line.startsWith(QLatin1String("Remv "))) {
            const QRegularExpressionMatch match = RemvLine.match(line);
            if (match.hasMatch())
                simulation.removed << PlannedPackage { match.captured(1), QString(),
                    match.captured(2), QString() };
        } else if (line.startsWith(QLatin1String("E: "))
            || (line.startsWith(QLatin1Char(' ')) && line.contains(QLatin1String(" : ")))) {
            simulation.complaints << line.trimmed();
        }
    }
    return simulation;
}
