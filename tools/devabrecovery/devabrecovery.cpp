#include "devabrecovery.h"

#include "abrecoveryadaptor.h"
#include "recordline.h"

#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QTimer>
#include <cstdio>

const QString DevABRecovery::ServiceName = QStringLiteral("com.tevrin.ABRecovery");
const QString DevABRecovery::ObjectPath = QStringLiteral("/com/tevrin/ABRecovery");
const QString DevABRecovery::ErrorName = QStringLiteral("com.tevrin.ABRecovery.Error.Failed");

namespace {

QString yesNo(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

} // namespace

DevABRecovery::DevABRecovery(const DevABRecoveryOptions &options, QObject *parent)
    : QObject(parent)
    , m_options(options)
{
    new ABRecoveryAdaptor(this);
}

bool DevABRecovery::registerOn(QDBusConnection connection, QString *error)
{
    if (!connection.registerObject(ObjectPath, this)) {
        *error = QStringLiteral("cannot export %1: %2")
                     .arg(ObjectPath, connection.lastError().message());
        return false;
    }
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply
        = connection.interface()->registerService(ServiceName);
    if (!reply.isValid()) {
        *error = QStringLiteral("cannot own the name %1: %2")
                     .arg(ServiceName, reply.error().message());
        return false;
    }
    if (reply.value() != QDBusConnectionInterface::ServiceRegistered) {
        *error = QStringLiteral("cannot own the name %1: another program owns it").arg(ServiceName);
        return false;
    }
    return true;
}

void DevABRecovery::start()
{
    report(QStringLiteral("ready"));
    if (m_options.unpromptedJobEndMs >= 0)
        QTimer::singleShot(m_options.unpromptedJobEndMs, this, &DevABRecovery::endJob);
}

bool DevABRecovery::CanBackup()
{
    switch (m_options.canBackup) {
    case DevABRecoveryOptions::Answer::Error:
        sendErrorReply(ErrorName, QStringLiteral("CanBackup fails, as --can-backup error asks"));
        report(QStringLiteral("CanBackup -> error ") + ErrorName);
        return false;
    case DevABRecoveryOptions::Answer::No:
        report(QStringLiteral("CanBackup -> false"));
        return false;
    case DevABRecoveryOptions::Answer::Yes:
        break;
    }
    report(QStringLiteral("CanBackup -> true"));
    return true;
}

void DevABRecovery::StartBackup()
{
    if (m_options.startBackupFails) {
        sendErrorReply(
            ErrorName, QStringLiteral("StartBackup fails, as --start-backup error asks"));
        report(QStringLiteral("StartBackup -> error ") + ErrorName);
        return;
    }
    report(QStringLiteral("StartBackup accepted"));
    // The reply leaves when this returns; the job ends later, as the real service's does.
    if (m_options.jobEndAfterStart)
        QTimer::singleShot(m_options.jobDelayMs, this, &DevABRecovery::endJob);
}

void DevABRecovery::endJob()
{
    report(QStringLiteral("JobEnd %1 %2 %3")
               .arg(m_options.jobKind, yesNo(m_options.jobSuccess),
                   quotedForRecord(m_options.jobMessage)));
    emit JobEnd(m_options.jobKind, m_options.jobSuccess, m_options.jobMessage);
}

void DevABRecovery::report(const QString &line)
{
    // Flushed at once: whoever follows the output is waiting for this very line.
    std::fputs(line.toLocal8Bit().append('\n').constData(), stdout);
    std::fflush(stdout);
}
