#include "statuscommand.h"

#include "daemonclient.h"
#include "exitstatus.h"
#include "servicestatus.h"
#include "sessionoutput.h"

#include <QDBusError>
#include <QProcess>

StatusCommand::StatusCommand(
    DaemonClient *daemon, SessionOutput *output, const QString &dpkgProgram)
    : m_daemon(daemon)
    , m_output(output)
    , m_dpkgProgram(dpkgProgram)
{ }

Outcome StatusCommand::run()
{
    ServiceStatus status;
    QDBusError error;
    status.reachable = m_daemon->readLastCheck(&status.lastCheck, &error);
    if (!status.reachable)
        status.unreachableReason = error.message();
    learnDpkgState(&status);

    m_output->serviceStatus(status);
    if (!status.reachable)
        return { ExitStatus::Unreachable, QStringLiteral("unreachable"),
            QStringLiteral("The offline update service does not answer: ") + error.message(), {} };
    if (status.dpkg == ServiceStatus::DpkgInterrupted)
        return { ExitStatus::Refused, QStringLiteral("dpkg-interrupted"),
            QStringLiteral("dpkg was left interrupted%1; run \"dpkg --configure -a\" as root.")
                .arg(status.dpkgPackages.isEmpty()
                        ? QString()
                        : QStringLiteral(" (%1)").arg(
                            status.dpkgPackages.join(QStringLiteral(", ")))),
            {} };
    if (status.dpkg == ServiceStatus::DpkgUnknown)
        return { ExitStatus::Refused, QStringLiteral("dpkg-unknown"),
            QStringLiteral("Whether dpkg was left interrupted is unknown: ")
                + status.dpkgUnknownReason,
            {} };
    return { ExitStatus::Success, QStringLiteral("ok"), QString(), {} };
}

void StatusCommand::learnDpkgState(ServiceStatus *status)
{
    // The service reads dpkg's state as root; a user's own dpkg --audit may not be allowed to
    // (its lock file is root's), and says nothing then.
    bool interrupted = false;
    QDBusError error;
    if (m_daemon->readDpkgState(&interrupted, &status->dpkgPackages, &error)) {
        status->dpkg
            = interrupted ? ServiceStatus::DpkgInterrupted : ServiceStatus::DpkgConsistent;
        status->dpkgSource = QStringLiteral("service");
        return;
    }
    const QString serviceSaid = QStringLiteral("the service could not tell (%1)")
                                    .arg(error.message().isEmpty() ? error.name()
                                                                   : error.message());
    status->dpkgPackages.clear();

    // The report is on standard output; a warning on standard error (a configuration file this
    // user may not read, say) is no sign of an interrupted dpkg, and goes to ours.
    QProcess audit;
    audit.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    audit.start(m_dpkgProgram, { QStringLiteral("--audit") });
    const bool finished = audit.waitForFinished(30000);
    // dpkg --audit ends with 0 whether or not it found anything; anything else means it did
    // not get to look.
    if (!finished || audit.exitStatus() != QProcess::NormalExit || audit.exitCode() != 0) {
        if (audit.state() != QProcess::NotRunning) {
            audit.kill();
            audit.waitForFinished();
        }
        const QString why = audit.error() == QProcess::FailedToStart
            ? QStringLiteral("could not be started")
            : !finished || audit.exitStatus() != QProcess::NormalExit
            ? QStringLiteral("did not finish")
            : QStringLiteral("ended with status %1").arg(audit.exitCode());
        status->dpkgUnknownReason
            = serviceSaid + QStringLiteral(", and %1 --audit %2").arg(m_dpkgProgram, why);
        return;
    }
    status->dpkgAudit = QString::fromLocal8Bit(audit.readAllStandardOutput());
    status->dpkgSource = QStringLiteral("dpkg --audit");
    status->dpkg = status->dpkgAudit.trimmed().isEmpty() ? ServiceStatus::DpkgConsistent
                                                          : ServiceStatus::DpkgInterrupted;
    status->dpkgPackages = ServiceStatus::packagesInAudit(status->dpkgAudit);
}
