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

    // The report is on standard output; a warning on standard error (a configuration file this
    // user may not read, say) is no sign of an interrupted dpkg, and goes to ours.
    QProcess audit;
    audit.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    audit.start(m_dpkgProgram, { QStringLiteral("--audit") });
    status.auditRan = audit.waitForFinished(30000) && audit.exitStatus() == QProcess::NormalExit;
    status.dpkgAudit = QString::fromLocal8Bit(audit.readAllStandardOutput());

    m_output->serviceStatus(status);
    if (!status.reachable)
        return { ExitStatus::Unreachable, QStringLiteral("unreachable"),
            QStringLiteral("The offline update service does not answer: ") + error.message(), {} };
    if (status.dpkgInterrupted())
        return { ExitStatus::Refused, QStringLiteral("dpkg-interrupted"),
            QStringLiteral("dpkg was left interrupted; run \"dpkg --configure -a\" as root."), {} };
    return { ExitStatus::Success, QStringLiteral("ok"), QString(), {} };
}
