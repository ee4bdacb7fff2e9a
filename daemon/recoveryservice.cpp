#include "recoveryservice.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QDebug>

namespace {

bool failed(const QDBusMessage &reply)
{
    return reply.type() != QDBusMessage::ReplyMessage || !reply.errorName().isEmpty()
        || !reply.errorMessage().isEmpty();
}

} // namespace

const QString RecoveryService::Name = QStringLiteral("com.tevrin.ABRecovery");
const QString RecoveryService::Path = QStringLiteral("/com/tevrin/ABRecovery");

RecoveryService::RecoveryService(const QDBusConnection &bus, QObject *parent)
    : QObject(parent)
    , m_bus(bus)
{ }

void RecoveryService::canBackup(std::function<void(bool possible)> answer)
{
    const QDBusMessage question
        = QDBusMessage::createMethodCall(Name, Path, Name, QStringLiteral("CanBackup"));
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(question), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [watcher, answer] {
        watcher->deleteLater();
        const QDBusMessage reply = watcher->reply();
        if (failed(reply))
            qWarning() << "bool WriteDBusData::IsAllowBackupSystem()" << reply.errorMessage();
        const QDBusReply<bool> allowed(reply);
        answer(!failed(reply) && allowed.isValid() && allowed.value());
    });
}

void RecoveryService::startBackup()
{
    m_requested = true;
    m_awaitingAnswer = true;
    m_earlyJobEnds.clear();
    const QDBusMessage request
        = QDBusMessage::createMethodCall(Name, Path, Name, QStringLiteral("StartBackup"));
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(request), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
        watcher->deleteLater();
        m_awaitingAnswer = false;
        const QDBusMessage answer = watcher->reply();
        if (failed(answer)) {
            qWarning() << "void WriteDBusData::BackupSystem()" << answer.errorMessage();
            m_requested = false;
            emit backupRefused(answer.errorMessage().left(4096));
            return;
        }
        m_owner = answer.service();
        m_watcher = new QDBusServiceWatcher(
            m_owner, m_bus, QDBusServiceWatcher::WatchForUnregistration, this);
        connect(m_watcher, &QDBusServiceWatcher::serviceUnregistered, this, [this] {
            qWarning() << "the recovery service" << m_owner
                       << "left the bus before the backup ended; no upgrade is made";
            end(false, QString());
        });
        emit backupStarted();
        // A job end that came before the answer to the request counts if the same service sent it.
        const QList<EarlyJobEnd> early = m_earlyJobEnds;
        m_earlyJobEnds.clear();
        for (const EarlyJobEnd &jobEnd : early) {
            if (jobEnd.sender == m_owner) {
                end(jobEnd.success, jobEnd.errMsg);
                return;
            }
        }
        // Gone before it could be watched, its job end can never come. Asked without waiting, so
        // that a job end it sent before leaving is handled first.
        const QString owner = m_owner;
        auto *probe = new QDBusPendingCallWatcher(
            m_bus.interface()->asyncCall(QStringLiteral("NameHasOwner"), owner), this);
        connect(probe, &QDBusPendingCallWatcher::finished, this, [this, probe, owner] {
            probe->deleteLater();
            const QDBusPendingReply<bool> present = *probe;
            if (m_owner != owner || !present.isValid() || present.value())
                return;
            qWarning() << "the recovery service" << owner
                       << "left the bus before the backup ended; no upgrade is made";
            end(false, QString());
        });
    });
}

void RecoveryService::acceptJobEnd(
    const QString &sender, const QString &kind, bool success, const QString &errMsg)
{
    if (kind != QLatin1String("backup"))
        return;
    if (m_awaitingAnswer) {
        m_earlyJobEnds.append({ sender, success, errMsg.left(4096) });
        return;
    }
    if (!m_requested || m_owner.isEmpty() || sender != m_owner) {
        qWarning() << "void WriteDBusData::acceptBackupSystemProgress(const QString&, bool, const QString&)"
                   << "ignoring the end of a backup this daemon did not ask for:" << sender
                   << success << errMsg.left(4096);
        return;
    }
    end(success, errMsg);
}

void RecoveryService::end(bool success, const QString &errMsg)
{
    if (!m_requested)
        return;
    m_requested = false;
    m_owner.clear();
    // This may run inside the watcher's own signal.
    if (m_watcher)
        m_watcher->deleteLater();
    m_watcher = nullptr;
    emit backupEnded(success, errMsg.left(4096));
}
