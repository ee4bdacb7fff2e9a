#include "upgradesession.h"

#include "callfailure.h"
#include "daemonclient.h"
#include "exitstatus.h"
#include "offlineupdateprotocol.h"
#include "sessionoutput.h"
#include "upgradefailuretext.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>

namespace {

const QString RebootService = QStringLiteral("org.freedesktop.login1");

} // namespace

UpgradeSession::UpgradeSession(
    DaemonClient *daemon, SessionOutput *output, const QString &home, bool reboot, QObject *parent)
    : QObject(parent)
    , m_daemon(daemon)
    , m_output(output)
    , m_home(home)
    , m_reboot(reboot)
{ }

template <typename Then>
void UpgradeSession::onReply(const QDBusPendingCall &call, const QString &action, Then then)
{
    auto *watcher = new QDBusPendingCallWatcher(call, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
        [this, action, then](QDBusPendingCallWatcher *reply) {
            reply->deleteLater();
            if (reply->isError())
                finish(CallFailure::outcomeOf(reply->error(), action));
            else
                then();
        });
}

void UpgradeSession::start(int expectedPackages)
{
    m_output->upgradeStarted(expectedPackages);
    connect(m_daemon, &DaemonClient::upgradeProgress, this, &UpgradeSession::acceptProgress);
    connect(m_daemon, &DaemonClient::upgradeStage, this,
        [this](const QString &stage, int done, int total, const QString &package) {
            if (!m_done)
                m_output->upgradeStage(stage, done, total, package);
        });
    connect(m_daemon, &DaemonClient::upgradeInfo, this, [this](const QString &text) {
        if (!m_done)
            m_output->upgradeOutput(text);
    });
    connect(m_daemon, &DaemonClient::vanished, this, [this] {
        finish({ ExitStatus::Unreachable, QStringLiteral("vanished"),
            QStringLiteral("The offline update service left the bus before the upgrade ended. "
                           "Run \"tevrin-offline-update status\" to see whether dpkg was left "
                           "interrupted."),
            {} });
    });
    // Without a backup the reply comes only after the upgrade; with one, as soon as the
    // recovery service has taken the request. Either way the pairs tell how it ends.
    onReply(m_daemon->backupSystem(), QStringLiteral("the upgrade"), [] {});
}

void UpgradeSession::interrupt()
{
    if (m_done)
        return;
    m_output->notice(QStringLiteral("The upgrade goes on in the service and cannot be stopped "
                                    "from here; reporting on until it ends."));
}

void UpgradeSession::acceptProgress(int progress, int code)
{
    if (m_done || m_upgraded)
        return;
    m_output->upgradeProgress(progress, code);
    const QJsonObject pair { { QStringLiteral("progress"), progress },
        { QStringLiteral("code"), code } };
    if (code == OfflineUpdate::BackupFailed) {
        finish({ ExitStatus::Refused, QStringLiteral("backup-failed"),
            QStringLiteral("The system backup failed; nothing was upgraded."), pair });
    } else if (code < 0) {
        finishFailed(pair);
    } else if (progress == OfflineUpdate::DoneStage) {
        m_upgraded = true;
        runPostHooks();
    }
}

void UpgradeSession::finishFailed(QJsonObject details)
{
    QString key;
    QString detail;
    m_daemon->readUpgradeFailureReason(&key, &detail);
    if (key.isEmpty()) {
        // A service that predates reasons tells only that the upgrade failed.
        finish({ ExitStatus::Refused, QStringLiteral("failed"),
            QStringLiteral("The upgrade failed. Run \"tevrin-offline-update status\" to see "
                           "whether dpkg was left interrupted."),
            details });
        return;
    }
    const UserMessage message = UpgradeFailureText::forReason(key, detail);
    details.insert(QStringLiteral("reason"),
        QJsonObject { { QStringLiteral("key"), key }, { QStringLiteral("detail"), detail },
            { QStringLiteral("text"), message.inOneLine() } });
    finish({ ExitStatus::Refused, QStringLiteral("failed"), message.inOneLine(), details });
}

void UpgradeSession::runPostHooks()
{
    m_output->notice(QStringLiteral("Running the package's post-upgrade scripts."));
    onReply(
        m_daemon->startExecHookPost(m_home), QStringLiteral("the post-upgrade scripts"), [this] {
            if (m_reboot)
                requestReboot();
            else
                finish({ ExitStatus::Success, QStringLiteral("success"),
                    QStringLiteral("The upgrade succeeded. Restart the system to complete it."),
                    { { QStringLiteral("rebootNeeded"), true } } });
        });
}

void UpgradeSession::requestReboot()
{
    QDBusMessage reboot
        = QDBusMessage::createMethodCall(RebootService, QStringLiteral("/org/freedesktop/login1"),
            QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Reboot"));
    reboot << false;
    reboot.setInteractiveAuthorizationAllowed(true);
    auto *watcher = new QDBusPendingCallWatcher(m_daemon->connection().asyncCall(reboot), this);
    connect(
        watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *reply) {
            reply->deleteLater();
            if (reply->isError()) {
                finish({ ExitStatus::Unreachable, QStringLiteral("reboot-refused"),
                    QStringLiteral("The upgrade succeeded, but the restart was refused (%1). "
                                   "Restart the system to complete it.")
                        .arg(reply->error().message()),
                    { { QStringLiteral("rebootNeeded"), true } } });
                return;
            }
            finish({ ExitStatus::Success, QStringLiteral("success"),
                QStringLiteral("The upgrade succeeded; the system restarts now."),
                { { QStringLiteral("rebootNeeded"), false } } });
        });
}

void UpgradeSession::finish(const Outcome &outcome)
{
    if (m_done)
        return;
    m_done = true;
    emit finished(outcome);
}
