#pragma once

#include "calleridentity.h"
#include "checkenvironment.h"
#include "filedescriptor.h"
#include "imagemounter.h"
#include "packagefile.h"

#include <QObject>
#include <QProcess>
#include <memory>

class QTextDecoder;

// The check and upgrade engine for one offline update package: one per daemon, its state
// carried from one run to the next. A check run reports exactly one result, the first item
// that failed or item 6 with its outcome.
class OfflineCheck : public QObject
{
    Q_OBJECT

public:
    enum Item {
        PackageFileItem = 0,
        PackageLayoutItem = 1,
        PreHookItem = 2,
        SystemVersionItem = 3,
        ArchitectureItem = 4,
        BackupSpaceItem = 5,
        UpgradableItem = 6,
    };

    explicit OfflineCheck(const CheckEnvironment &environment = CheckEnvironment(),
                          QObject *parent = nullptr);
    ~OfflineCheck() override;

    // |caller| is who asked, as the bus told; the package is opened with its rights and the
    // home path must be its own.
    void startOfflineFileCheck(const CallerIdentity &caller, const QString &homepath,
                               const QString &filepath);
    int execSystemUpgrade();
    void execHookPost(const QString &homepath);

    int upgradeType() const { return m_upgradeType; }
    QString patchSerial() const { return m_patchSerial; }
    int upgradeSum() const { return m_upgradeSum; }

    // Free KiB of the file system that holds /home, as df printed it.
    QString getHomeFreeSize();

    bool checkOfflineFile(const QString &filepath);
    bool checkOfflineFileDirComplete(const QString &homepath, const QString &filepath);
    bool checkHookPre(const QString &homepath);
    void checkOfflineUpgradeType(const QString &homepath);
    bool checkSystemVersion();
    bool checkOfflineFileArch();
    bool checkSystemBackupSpace();
    bool checkUpgradeSum(const QString &homepath);
    int getUpgradeListSum();

signals:
    void sendOfflineFileCheckResult(int itemType, bool result);
    void sendExecDistUpgradeInfo(QString info);

public slots:
    void onReadData();

private:
    bool clearCacheDirectory(int cacheParentFd);
    bool mountInnerImage(const char *image, const QByteArray &mountPoint, const QString &imagePath,
                         const char *function);
    bool clearListsDirectory();
    QString dfField(const QString &path, int field) const;
    QStringList aptArguments(const QStringList &command) const;

    int m_upgradeType = 0;
    QString m_patchSerial;
    QString m_offlineType;
    QString m_offlineArch;
    int m_upgradeSum = 0;
    QProcess m_process;

    CheckEnvironment m_environment;
    ImageMounter m_mounter;
    std::unique_ptr<QTextDecoder> m_decoder;

    // What one run holds open, so that later steps act on what the earlier ones checked.
    CallerIdentity m_caller;
    PackageFile m_package;
    FileDescriptor m_cacheDirectory;
    FileDescriptor m_packageRoot;
};
