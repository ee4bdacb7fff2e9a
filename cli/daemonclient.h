#pragma once

#include "checkreport.h"

#include <QDBusConnection>
#include <QDBusPendingCall>
#include <QObject>
#include <memory>

class ComTevrinOfflineUpdateDaemonInterface;
class QDBusError;

// The offline update service as this program sees it: its long operations as pending calls,
// the short reads of what the last check recorded, of its history and of dpkg's state, its
// signals, and its leaving the bus.
class DaemonClient : public QObject
{
    Q_OBJECT

public:
    explicit DaemonClient(const QDBusConnection &bus, QObject *parent = nullptr);
    ~DaemonClient() override;

    QDBusConnection connection() const { return m_bus; }

    // A check mounts, runs scripts and refreshes a package index, and an upgrade without a
    // backup answers only when apt has ended: their replies may take very long.
    QDBusPendingCall startCheck(const QString &home, const QString &package);
    QDBusPendingCall backupSystem();
    QDBusPendingCall startExecHookPost(const QString &home);

    // What the last check recorded (every field but the item and the result); false with the
    // error of the first read when the service does not answer. The reason and the signature
    // are best effort: a service that does not offer them leaves them empty.
    // The plan is read only for a check that passed.
    bool readLastCheck(CheckFacts *facts, QDBusError *error);
    // Why the caller's last upgrade failed (a key of OfflineUpdate::UpgradeReason and its
    // detail); both empty when the service does not say, or cannot be asked.
    void readUpgradeFailureReason(QString *key, QString *detail);
    // The service's history, oldest first, one JSON object per entry; false with the error
    // when it does not answer.
    bool readHistory(QStringList *entries, QDBusError *error);
    // Whether dpkg was left interrupted, as the service (root) sees it, and the packages it
    // left unfinished; false with the error when the service cannot tell.
    bool readDpkgState(bool *interrupted, QStringList *packages, QDBusError *error);

signals:
    void checkResult(int item, bool result);
    void upgradeInfo(const QString &text);
    void upgradeProgress(int progress, int code);
    void upgradeStage(const QString &stage, int done, int total, const QString &package);
    void vanished();

private:
    QDBusConnection m_bus;
    std::unique_ptr<ComTevrinOfflineUpdateDaemonInterface> m_daemon;
};
