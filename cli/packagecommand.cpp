#include "packagecommand.h"

#include "checkreport.h"
#include "checksession.h"
#include "confirmation.h"
#include "exitstatus.h"
#include "sessionoutput.h"
#include "terminalauthagent.h"
#include "upgradesession.h"

#include <QJsonObject>
#include <unistd.h>

PackageCommand::PackageCommand(const CommandLine &commandLine, const QString &home,
    DaemonClient *daemon, SessionOutput *output, TerminalAuthAgent *authAgent, QObject *parent)
    : QObject(parent)
    , m_commandLine(commandLine)
    , m_home(home)
    , m_daemon(daemon)
    , m_output(output)
    , m_authAgent(authAgent)
{ }

void PackageCommand::start()
{
    if (m_authAgent)
        m_authAgent->start();
    auto *check = new CheckSession(m_daemon, m_home, m_commandLine.packagePath, this);
    connect(check, &CheckSession::checked, this, &PackageCommand::acceptCheck);
    connect(check, &CheckSession::failed, this, &PackageCommand::finish);
    check->start();
}

void PackageCommand::acceptCheck(const CheckFacts &facts)
{
    if (m_done)
        return;
    const CheckReport report(facts);
    m_output->checkReport(report);
    if (!report.passed()) {
        // The reason is in the report already; scripts reading only the result get it here.
        const QString reason = report.reasonSentence();
        finish({ ExitStatus::Refused, QStringLiteral("refused"),
            QStringLiteral("The package was refused."),
            reason.isEmpty() ? QJsonObject()
                             : QJsonObject { { QStringLiteral("reasonText"), reason } } });
        return;
    }
    if (m_commandLine.command == CommandLine::Check) {
        finish({ ExitStatus::Success, QStringLiteral("passed"),
            QStringLiteral("The package passed every check."), {} });
        return;
    }
    if (m_commandLine.yes) {
        startUpgrade(facts.upgradable);
        return;
    }
    m_confirmation = new Confirmation(STDIN_FILENO, stderr, this);
    connect(m_confirmation, &Confirmation::answered, this, [this, facts](bool yes) {
        if (m_done)
            return;
        if (yes)
            startUpgrade(facts.upgradable);
        else
            finish({ ExitStatus::Refused, QStringLiteral("declined"),
                QStringLiteral("Nothing was changed."), {} });
    });
    m_confirmation->ask(QStringLiteral(
        "Back up the system where possible and upgrade it now? Do not switch the machine off "
        "until the upgrade has finished."));
}

void PackageCommand::startUpgrade(int expectedPackages)
{
    m_upgrade = new UpgradeSession(m_daemon, m_output, m_home, m_commandLine.reboot, this);
    connect(m_upgrade, &UpgradeSession::finished, this, &PackageCommand::finish);
    m_upgrade->start(expectedPackages);
}

void PackageCommand::interrupt()
{
    if (m_done)
        return;
    if (m_upgrade) {
        m_upgrade->interrupt();
        return;
    }
    if (m_confirmation)
        m_confirmation->abandon();
    // A check still running in the service ends there on its own; without our upgrade
    // request it changes nothing but the service's own copy of the package.
    finish({ ExitStatus::Interrupted, QStringLiteral("cancelled"),
        QStringLiteral("Cancelled; the system was not changed."), {} });
}

void PackageCommand::finish(const Outcome &outcome)
{
    if (m_done)
        return;
    m_done = true;
    emit finished(outcome);
}
