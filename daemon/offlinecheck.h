#pragma once

#include "asynccommand.h"
#include "checkenvironment.h"
#include "filedescriptor.h"
#include "packagefile.h"
#include "runcontext.h"

#include <QObject>
#include <QTimer>
#include <functional>

class UpgradeRun;
struct PackageSignature;

// The check and upgrade engine: one per daemon. A check run reports exactly one result, the
// first item that failed or item 6 with its outcome; everything it waits for (mounts, scripts,
// apt) runs on the event loop, so the daemon keeps answering meanwhile. The caller runs one
// operation at a time.
class OfflineCheck : public QObject
{
    Q_OBJECT

public:
    // What the last check recorded, and for whom; answered only to that uid.
    struct Record
    {
        bool valid = false; // a check has ended since the daemon started
        uid_t uid = 0;
        QString homePath;
        bool passed = false;
        QString reasonKey; // OfflineUpdate::Reason; empty when it passed
        QString reasonDetail;
        int signatureState = 0; // OfflineUpdate::SignatureState
        QString signer; // the signer, or why the signature was rejected
    };

    explicit OfflineCheck(
        const CheckEnvironment &environment = CheckEnvironment(), QObject *parent = nullptr);
    ~OfflineCheck() override;

    // |caller| is who asked, as the bus told; the package is opened with its rights and the
    // home path must be its own.
    void startOfflineFileCheck(
        const CallerIdentity &caller, const QString &homepath, const QString &filepath);
    bool isChecking() const { return m_checking; }
    const Record &lastCheck() const { return m_record; }
    // Whether the package of the last passed check has been written to since it was checked.
    bool packageChanged() { return m_package.changed(); }

    // Upgrades from the repository that the last passed check prepared; progress goes on from
    // |fromStage|.
    void startSystemUpgrade(int fromStage);
    // Runs the post-upgrade scripts of |uid|'s last run, with |homePath| as their argument.
    void startHookPost(uid_t uid, const QString &homePath);

    int upgradeType() const { return m_upgradeType; }
    QString patchSerial() const { return m_patchSerial; }
    int upgradeSum() const { return m_upgradeSum; }

signals:
    void sendOfflineFileCheckResult(int itemType, bool result);
    void sendExecDistUpgradeInfo(QString info);
    void sendUpgradeProgress(int percent);
    void upgradeFinished(bool success);
    void hookPostFinished();

private:
    struct HookFailure
    {
        QString script;
        QString lastLine;
    };
    using HooksDone = std::function<void(bool passed, const HookFailure &failure)>;

    void checkOfflineFile(const QString &filepath);
    void checkOfflineFileDirComplete(const QString &homepath);
    void checkPackageLayout();
    void acceptSignature(const PackageSignature &signature);
    void checkHookPre();
    void checkOfflineUpgradeType();
    void checkOfflineFileArch();
    void checkSystemBackupSpace();
    void checkUpgradeSum();
    void refreshIndex();
    void countUpgradable();

    void fail(int item, const QString &key, const QString &detail = QString());
    void finishRun(int item, bool passed);

    // Mounts the image |imageFd| on |mountPoint| below the run directory; |done| learns whether
    // it is mounted there, or why not.
    void mountImage(int imageFd, const QByteArray &mountPoint,
        std::function<void(bool mounted, const QString &error)> done);
    void runCommand(const QString &program, const QStringList &arguments, AsyncCommand::Done done);
    void runHooks(const QString &directory, bool nameOrder, const QString &homePath,
        bool stopAtFailure, HooksDone done);
    void runHook(const QStringList &scripts, int index, const QString &directory,
        const QString &homePath, bool stopAtFailure, HooksDone done);
    bool writeSourceList(const QString &line, QString *error);
    bool clearListsDirectory();
    QStringList aptArguments(const QStringList &command) const;
    void logStandardError(const char *function, const QByteArray &text);

    int m_upgradeType = 0;
    QString m_patchSerial;
    QString m_offlineType;
    QString m_offlineArch;
    int m_upgradeSum = 0;

    CheckEnvironment m_environment;
    bool m_checking = false;
    Record m_record;
    // What one run holds, so that later steps act on what the earlier ones checked.
    CallerIdentity m_caller;
    QString m_homePath;
    RunContext m_run;
    bool m_requireSignature = false;
    // Held past a passed check, for its upgrade; watched so that someone overwriting it is let
    // go of at once.
    PackageFile m_package;
    QTimer m_packageWatch;
    FileDescriptor m_packageRoot;
    QString m_signedBy;
    UpgradeRun *m_upgrade = nullptr;
};
