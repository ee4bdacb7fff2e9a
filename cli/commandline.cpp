#include "commandline.h"

#include <QDir>

namespace {

struct CommandSpec
{
    const char *name;
    CommandLine::Command command;
    bool takesPackage;
    QStringList switches;
};

const QList<CommandSpec> &commands()
{
    static const QList<CommandSpec> specs {
        { "check", CommandLine::Check, true, { QStringLiteral("--json") } },
        { "upgrade", CommandLine::Upgrade, true,
            { QStringLiteral("--yes"), QStringLiteral("--reboot"), QStringLiteral("--verbose"),
                QStringLiteral("--json") } },
        { "status", CommandLine::Status, false, { QStringLiteral("--json") } },
        { "history", CommandLine::History, false, { QStringLiteral("--json") } },
    };
    return specs;
}

} // namespace

CommandLine CommandLine::parse(const QStringList &arguments, const QString &workingDirectory)
{
    CommandLine line;
    // Even a wrong command line is answered in JSON when JSON was asked for.
    line.json = arguments.contains(QLatin1String("--json"));
    if (arguments.contains(QLatin1String("--help")) || arguments.contains(QLatin1String("-h"))) {
        line.command = Help;
        return line;
    }
    if (arguments.isEmpty()) {
        line.error = QStringLiteral("no command given");
        return line;
    }
    line.commandName = arguments.first();
    const CommandSpec *definition = nullptr;
    for (const CommandSpec &candidate : commands()) {
        if (line.commandName == QLatin1String(candidate.name))
            definition = &candidate;
    }
    if (!definition) {
        line.error = QStringLiteral("unknown command \"%1\"").arg(line.commandName);
        return line;
    }
    line.command = definition->command;

    QStringList positional;
    bool optionsEnded = false;
    for (const QString &argument : arguments.mid(1)) {
        if (optionsEnded || !argument.startsWith(QLatin1Char('-'))
            || argument == QLatin1String("-")) {
            positional << argument;
        } else if (argument == QLatin1String("--")) {
            optionsEnded = true;
        } else if (definition->switches.contains(argument)) {
            line.yes |= argument == QLatin1String("--yes");
            line.reboot |= argument == QLatin1String("--reboot");
            line.verbose |= argument == QLatin1String("--verbose");
            line.json |= argument == QLatin1String("--json");
        } else {
            line.error = QStringLiteral("%1 does not take %2").arg(line.commandName, argument);
            return line;
        }
    }

    if (!definition->takesPackage && !positional.isEmpty()) {
        line.error = QStringLiteral("%1 takes no file").arg(line.commandName);
    } else if (definition->takesPackage && positional.size() != 1) {
        line.error = QStringLiteral("%1 takes exactly one package file").arg(line.commandName);
    } else if (definition->takesPackage) {
        line.packagePath = QDir(workingDirectory).absoluteFilePath(positional.first());
    }
    return line;
}

QString CommandLine::usage()
{
    return QStringLiteral(
        "Usage: tevrin-offline-update check FILE [--json]\n"
        "       tevrin-offline-update upgrade FILE [--yes] [--reboot] [--verbose] [--json]\n"
        "       tevrin-offline-update status [--json]\n"
        "       tevrin-offline-update history [--json]\n"
        "       tevrin-offline-update --help\n"
        "\n"
        "Checks an offline update package (.oup) or upgrades the system from it through the\n"
        "offline update service, and tells what the service last recorded.\n"
        "\n"
        "  check FILE    check the package for this machine, and show what an upgrade\n"
        "                from it would change\n"
        "  upgrade FILE  check, confirm, back up where possible, upgrade, run the package's\n"
        "                post-upgrade scripts\n"
        "  status        whether the service answers, whether dpkg was left interrupted, and\n"
        "                what the last check recorded\n"
        "  history       the checks and upgrades the service recorded, oldest first: yours,\n"
        "                or everyone's for an administrator\n"
        "\n"
        "  --yes         upgrade without asking (needed without a terminal)\n"
        "  --reboot      restart the machine after a successful upgrade\n"
        "  --verbose     show apt's output on a terminal as well\n"
        "  --json        one JSON object per line, the last one the result; for history,\n"
        "                one JSON array of the entries\n"
        "\n"
        "Exit status: 0 passed or done, 1 refused or failed, 2 usage error,\n"
        "3 service unreachable, busy or authorization refused, 130 cancelled.\n");
}
