#include "callerhome.h"
#include "commandline.h"
#include "daemonclient.h"
#include "exitstatus.h"
#include "historycommand.h"
#include "interruptwatcher.h"
#include "jsonevents.h"
#include "packagecommand.h"
#include "reporttexttranslation.h"
#include "statuscommand.h"
#include "terminalauthagent.h"
#include "textoutput.h"

#include <QCoreApplication>
#include <QDir>
#include <memory>
#include <unistd.h>

namespace {

int finish(SessionOutput *output, const CommandLine &commandLine, const Outcome &outcome)
{
    output->result(commandLine.commandName, outcome);
    return outcome.exitStatus;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tevrin-offline-update"));
    // The sentences it shares with the tool are translated; its own words are English.
    ReportTextTranslation::load(QLocale::system());

    const CommandLine commandLine
        = CommandLine::parse(QCoreApplication::arguments().mid(1), QDir::currentPath());
    if (commandLine.command == CommandLine::Help) {
        fputs(qPrintable(CommandLine::usage()), stdout);
        return ExitStatus::Success;
    }
    const bool inputIsTerminal = isatty(STDIN_FILENO);
    std::unique_ptr<SessionOutput> output;
    if (commandLine.json)
        output = std::make_unique<JsonEvents>(stdout);
    else
        output = std::make_unique<TextOutput>(
            stdout, stderr, isatty(STDOUT_FILENO), commandLine.verbose);

    if (!commandLine.error.isEmpty())
        return finish(output.get(), commandLine,
            { ExitStatus::Usage, QStringLiteral("usage"),
                commandLine.error + QStringLiteral("; see tevrin-offline-update --help"), {} });
    // Refused before the check: a check runs the package's scripts as root, which is not worth
    // doing for an upgrade that nobody can confirm.
    if (commandLine.command == CommandLine::Upgrade && !commandLine.yes && !inputIsTerminal)
        return finish(output.get(), commandLine,
            { ExitStatus::Usage, QStringLiteral("usage"),
                QStringLiteral("without a terminal to confirm on, an upgrade needs --yes"), {} });
    const QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return finish(output.get(), commandLine,
            { ExitStatus::Unreachable, QStringLiteral("unreachable"),
                QStringLiteral("cannot connect to the system bus: ") + bus.lastError().message(),
                {} });
    DaemonClient daemon(bus);

    if (commandLine.command == CommandLine::Status)
        return finish(output.get(), commandLine, StatusCommand(&daemon, output.get()).run());
    if (commandLine.command == CommandLine::History)
        return finish(output.get(), commandLine, HistoryCommand(&daemon, output.get()).run());

    const QString home = CallerHome::current();
    if (home.isEmpty())
        return finish(output.get(), commandLine,
            { ExitStatus::Usage, QStringLiteral("usage"),
                QStringLiteral("the password database does not know the user %1").arg(getuid()),
                {} });

    TerminalAuthAgent authAgent;
    InterruptWatcher interrupts;
    PackageCommand command(
        commandLine, home, &daemon, output.get(), inputIsTerminal ? &authAgent : nullptr);
    Outcome outcome;
    QObject::connect(
        &interrupts, &InterruptWatcher::interrupted, &command, &PackageCommand::interrupt);
    QObject::connect(&command, &PackageCommand::finished, &app, [&](const Outcome &result) {
        outcome = result;
        QCoreApplication::quit();
    });
    command.start();
    QCoreApplication::exec();
    authAgent.stop();
    return finish(output.get(), commandLine, outcome);
}
