#include "offlinecheck.h"

#include "aptsource.h"
#include "architecturetable.h"
#include "commandoutput.h"
#include "diskspace.h"
#include "hookscript.h"
#include "packagemanifest.h"
#include "safetree.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QTextCodec>
#include <QTextDecoder>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray CacheName = QByteArrayLiteral("tevrin-offline-update");
const QByteArray PackageMountName = QByteArrayLiteral("oup");
const QByteArray HooksMountName = QByteArrayLiteral("hooks");
const QByteArray RepositoryMountName = QByteArrayLiteral("repo");
// A manifest is a few hundred bytes; anything far larger is not one and is not read whole.
constexpr qint64 ManifestLimit = 1024 * 1024;

QString cacheDirectory(const QString &homepath)
{
    return homepath + QStringLiteral("/.cache/tevrin-offline-update/");
}

QString lastError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool hasEntry(int directoryFd, const char *name)
{
    struct stat status {};
    return fstatat(directoryFd, name, &status, AT_SYMLINK_NOFOLLOW) == 0;
}

} // namespace

OfflineCheck::OfflineCheck(const CheckEnvironment &environment, QObject *parent)
    : QObject(parent)
    , m_environment(environment)
    , m_mounter(environment.mount, environment.umount, environment.losetup)
{
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &OfflineCheck::onReadData);
}

OfflineCheck::~OfflineCheck() = default;

void OfflineCheck::startOfflineFileCheck(const CallerIdentity &caller, const QString &homepath,
                                         const QString &filepath)
{
    m_caller = caller;
    const int failed = [&]() -> int {
        if (!checkOfflineFile(filepath))
            return PackageFileItem;
        if (!checkOfflineFileDirComplete(homepath, filepath))
            return PackageLayoutItem;
        if (!checkHookPre(homepath))
            return PreHookItem;
        checkOfflineUpgradeType(homepath);
        if (!checkSystemVersion())
            return SystemVersionItem;
        if (!checkOfflineFileArch())
            return ArchitectureItem;
        if (!checkSystemBackupSpace())
            return BackupSpaceItem;
        return checkUpgradeSum(homepath) ? -1 : UpgradableItem;
    }();

    // Nothing of a run stays open: the mounts hold their images by themselves.
    m_package = PackageFile();
    m_cacheDirectory.reset();
    m_packageRoot.reset();

    if (failed < 0)
        emit sendOfflineFileCheckResult(UpgradableItem, true);
    else
        emit sendOfflineFileCheckResult(failed, false);
}

bool OfflineCheck::checkOfflineFile(const QString &filepath)
{
    m_package = PackageFile::open(m_caller, filepath);
    switch (m_package.outcome()) {
    case PackageFile::Missing:
        qWarning() << Q_FUNC_INFO << QStringLiteral("%1 not exist").arg(filepath);
        return false;
    case PackageFile::Refused:
        qWarning() << Q_FUNC_INFO
                   << QStringLiteral("refusing %1 for uid %2: %3")
                          .arg(filepath)
                          .arg(m_caller.uid)
                          .arg(m_package.reason());
        return false;
    case PackageFile::Opened:
        break;
    }

    const qint64 freeKiB = DiskSpace::parseKiB(getHomeFreeSize());
    qInfo() << Q_FUNC_INFO
            << QStringLiteral("redundant space size: %1Mb").arg(DiskSpace::PackageReserveMiB);
    qInfo() << Q_FUNC_INFO
            << QStringLiteral("Offline file size: %1Mb").arg(m_package.size() / 1048576);
    qInfo() << Q_FUNC_INFO << QStringLiteral("System free space size: %1Mb").arg(freeKiB / 1024);
    return DiskSpace::packageFits(m_package.size(), freeKiB);
}

bool OfflineCheck::checkOfflineFileDirComplete(const QString &homepath, const QString &filepath)
{
    Q_UNUSED(filepath) // the package was opened by item 0 and is held since
    const QString cachePath = cacheDirectory(homepath);
    const QString refusal = m_caller.refuseHome(homepath);
    if (!refusal.isEmpty()) {
        qWarning() << Q_FUNC_INFO << QStringLiteral("refusing the home path: %1").arg(refusal);
        return false;
    }

    // The home directory comes from the password database (or from root), so it is opened as
    // it is named; everything below it belongs to the user and is never followed.
    const FileDescriptor home(
        ::open(QFile::encodeName(homepath).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    FileDescriptor cacheParent;
    if (home.isValid()) {
        cacheParent = SafeTree::openDirectory(home.get(), QByteArrayLiteral(".cache"));
        if (!cacheParent.isValid() && errno == ENOENT
            && mkdirat(home.get(), ".cache", 0700) == 0) {
            // Made for the user, as their desktop would have: a root-owned ~/.cache would
            // break every program of theirs that caches anything.
            if (fchownat(home.get(), ".cache", m_caller.uid, m_caller.gid, AT_SYMLINK_NOFOLLOW) < 0)
                qWarning() << Q_FUNC_INFO << "cannot hand ~/.cache to its user:" << lastError();
            cacheParent = SafeTree::openDirectory(home.get(), QByteArrayLiteral(".cache"));
        }
    }
    if (!cacheParent.isValid()) {
        qWarning() << Q_FUNC_INFO << QStringLiteral("Failed mkdir dir %1:").arg(cachePath)
                   << lastError();
        return false;
    }

    if (!clearCacheDirectory(cacheParent.get()))
        return false;

    // Made afresh by root, never taken over: a directory the user slipped in after the
    // clearing is not one whose mounts a later run would take down.
    if (mkdirat(cacheParent.get(), CacheName.constData(), 0755) == 0)
        m_cacheDirectory = SafeTree::openDirectory(cacheParent.get(), CacheName);
    if (!m_cacheDirectory.isValid()) {
        qWarning() << Q_FUNC_INFO << QStringLiteral("Failed mkdir dir %1:").arg(cachePath)
                   << lastError();
        return false;
    }
    const FileDescriptor mountPoint =
        SafeTree::makeDirectory(m_cacheDirectory.get(), PackageMountName, 0755);
    if (!mountPoint.isValid()) {
        qWarning() << Q_FUNC_INFO
                   << QStringLiteral("Failed mkdir dir %1:").arg(cachePath + QStringLiteral("oup/"))
                   << lastError();
        return false;
    }

    QString error;
    if (!m_mounter.mount(m_package.fd(), mountPoint.get(), -1, &error)) {
        qWarning() << Q_FUNC_INFO << "Failed mount oup path:" << error;
        return false;
    }
    // Opened anew: the descriptor taken before the mount still shows the empty directory.
    m_packageRoot = SafeTree::openDirectory(m_cacheDirectory.get(), PackageMountName);
    return m_packageRoot.isValid() && hasEntry(m_packageRoot.get(), "info.json")
           && hasEntry(m_packageRoot.get(), "oup-format")
           && hasEntry(m_packageRoot.get(), "repo.sfs");
}

bool OfflineCheck::clearCacheDirectory(int cacheParentFd)
{
    struct stat status {};
    if (fstatat(cacheParentFd, CacheName.constData(), &status, AT_SYMLINK_NOFOLLOW) < 0)
        return errno == ENOENT;

    if (S_ISDIR(status.st_mode)) {
        // Only a cache directory that the daemon made (root's, writable by nobody else) can
        // hold its mounts; in any other, a "mount point" may be a link a user placed to make
        // root unmount something elsewhere.
        const FileDescriptor cache = SafeTree::openDirectory(cacheParentFd, CacheName);
        if (cache.isValid() && fstat(cache.get(), &status) == 0 && status.st_uid == 0
            && (status.st_mode & (S_IWGRP | S_IWOTH)) == 0) {
            for (const QByteArray &name : { RepositoryMountName, HooksMountName, PackageMountName }) {
                struct stat entry {};
                if (fstatat(cache.get(), name.constData(), &entry, AT_SYMLINK_NOFOLLOW) == 0
                    && S_ISDIR(entry.st_mode))
                    m_mounter.unmount(cache.get(), name);
            }
        }
    }

    QString error;
    if (!SafeTree::removeTree(cacheParentFd, CacheName, &error)) {
        qWarning() << Q_FUNC_INFO << "cannot clear the previous run's cache directory:" << error;
        return false;
    }
    return true;
}

bool OfflineCheck::mountInnerImage(const char *image, const QByteArray &mountPoint,
                                   const QString &imagePath, const char *function)
{
    const FileDescriptor target = SafeTree::makeDirectory(m_cacheDirectory.get(), mountPoint, 0755);
    // The image comes from the package; a link there could name any file of the machine. An
    // image that is not there is not mounted, and the mount point stays empty.
    const FileDescriptor imageFile(openat(m_packageRoot.get(), image,
                                          O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    struct stat status {};
    if (!imageFile.isValid() || fstat(imageFile.get(), &status) < 0 || !S_ISREG(status.st_mode)) {
        if (imageFile.isValid() || errno != ENOENT)
            qWarning() << function << "not mounting" << imagePath << ": not a regular file";
        return true;
    }
    QString error;
    if (!target.isValid()
        || !m_mounter.mount(imageFile.get(), target.get(), CommandOutput::WaitMs, &error)) {
        qWarning() << function << QStringLiteral("Failed mount %1").arg(imagePath) << error;
        return false;
    }
    return true;
}

bool OfflineCheck::checkHookPre(const QString &homepath)
{
    const QString cachePath = cacheDirectory(homepath);
    if (!mountInnerImage("hooks.sfs", HooksMountName,
                         cachePath + QStringLiteral("oup/") + QStringLiteral("hooks.sfs"),
                         Q_FUNC_INFO))
        return false;

    const QString preHookDirectory = cachePath + QStringLiteral("hooks") + QStringLiteral("/prehook");
    const QStringList scripts = HookScript::entries(preHookDirectory, HookScript::DirectoryOrder);
    for (const QString &script : scripts) {
        const HookScript run =
            HookScript::run(m_environment.bash, script, homepath, preHookDirectory);
        if (!run.finished) {
            qWarning() << Q_FUNC_INFO << QStringLiteral("Failed bash %1").arg(preHookDirectory)
                       << run.errorString;
            return false;
        }
        qWarning() << script;
        qWarning() << run.output;
        if (run.exitCode != 0)
            return false;
    }
    return true;
}

void OfflineCheck::checkOfflineUpgradeType(const QString &homepath)
{
    Q_UNUSED(homepath) // read through the package mount that item 1 holds open
    QByteArray content;
    // The manifest is read from the package root that item 1 mounted, and never through a
    // link: a package must not make root read another file into the log.
    const FileDescriptor manifestFile(openat(m_packageRoot.get(), "info.json",
                                             O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    QFile file;
    if (manifestFile.isValid() && file.open(manifestFile.get(), QIODevice::ReadOnly))
        content = file.read(ManifestLimit);
    else
        qInfo() << "can not find app info file";

    const PackageManifest manifest = PackageManifest::parse(content);
    if (!manifest.validJson)
        qInfo() << "incorrect json format";

    m_offlineType = manifest.systemType;
    m_offlineArch = manifest.archs;
    if (manifest.isPatch()) {
        m_upgradeType = PackageManifest::PatchType;
        m_patchSerial = manifest.cveId;
    } else {
        m_upgradeType = 1;
    }
    qWarning() << Q_FUNC_INFO << QStringLiteral("offline arch: %1").arg(m_offlineArch);
    qWarning() << Q_FUNC_INFO << QStringLiteral("offline m_offlineType: %1").arg(m_offlineType);
    qWarning() << Q_FUNC_INFO << QStringLiteral("offline type: %1").arg(manifest.type);
}

bool OfflineCheck::checkSystemVersion()
{
    // Every system type is accepted for now; the manifest's value is kept for when it is not.
    return true;
}

bool OfflineCheck::checkOfflineFileArch()
{
    const QString arch = m_offlineArch.toLower();
    const QString machine = CommandOutput::run(m_environment.uname, { QStringLiteral("-m") });
    if (ArchitectureTable::fits(machine, arch))
        return true;
    qWarning() << Q_FUNC_INFO << QStringLiteral("offline file arch check failed: %1").arg(arch);
    return false;
}

QString OfflineCheck::dfField(const QString &path, int field) const
{
    return DiskSpace::dfField(CommandOutput::run(m_environment.df, { path }), field);
}

QString OfflineCheck::getHomeFreeSize()
{
    return dfField(QStringLiteral("/home"), DiskSpace::AvailableField);
}

bool OfflineCheck::checkSystemBackupSpace()
{
    const QString free = getHomeFreeSize();
    const QString used = dfField(QStringLiteral("/"), DiskSpace::UsedField);
    qInfo() << Q_FUNC_INFO
            << QStringLiteral("redundant space size: %1Kb").arg(DiskSpace::BackupReserveKiB);
    qInfo() << Q_FUNC_INFO << QStringLiteral("root dir used size: %1Kb").arg(DiskSpace::parseKiB(used));
    qInfo() << Q_FUNC_INFO << QStringLiteral("data dir free size: %1Kb").arg(free);
    if (DiskSpace::backupFits(DiskSpace::parseKiB(free), DiskSpace::parseKiB(used)))
        return true;
    qWarning() << Q_FUNC_INFO
               << QStringLiteral("Insufficient free space, free size:%1 used size:%2").arg(free, used);
    return false;
}

// apt fetches as an unprivileged sandbox user, which cannot pass the user's private ~/.cache to
// reach the repository; everything it fetches comes from that one read-only local image.
static const char AptSandbox[] = "APT::Sandbox::User=root";

QStringList OfflineCheck::aptArguments(const QStringList &command) const
{
    return QStringList { QStringLiteral("-o"), QLatin1String(AptSandbox), QStringLiteral("-o"),
                         QStringLiteral("Dir::Etc::sourcelist=") + m_environment.sourceList,
                         QStringLiteral("-o"),
                         QStringLiteral("Dir::State::lists=") + m_environment.listsDirectory,
                         QStringLiteral("-o"), QStringLiteral("Dir::Etc::sourceparts=/dev/null") }
           + command;
}

bool OfflineCheck::clearListsDirectory()
{
    // The index is rebuilt from this package alone; "partial" must exist for apt to fetch
    // into a lists directory outside its own state directory.
    const QString lists = QDir::cleanPath(m_environment.listsDirectory);
    const QFileInfo info(lists);
    const FileDescriptor parent(::open(QFile::encodeName(info.path()).constData(),
                                       O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    QString error;
    if (parent.isValid() && !SafeTree::removeTree(parent.get(), QFile::encodeName(info.fileName()), &error)) {
        qWarning() << Q_FUNC_INFO << "cannot clear" << lists << ":" << error;
        return false;
    }
    return QDir().mkpath(lists + QStringLiteral("/partial"));
}

bool OfflineCheck::checkUpgradeSum(const QString &homepath)
{
    const QString cachePath = cacheDirectory(homepath);
    if (!mountInnerImage("repo.sfs", RepositoryMountName,
                         cachePath + QStringLiteral("oup/") + QStringLiteral("repo.sfs"),
                         Q_FUNC_INFO))
        return false;
    if (!clearListsDirectory())
        return false;

    QStringList components;
    const QFileInfoList pool = QDir(cachePath + QStringLiteral("repo") + QStringLiteral("/pool"))
                                   .entryInfoList(QDir::Dirs | QDir::Hidden | QDir::NoSymLinks
                                                      | QDir::NoDotAndDotDot,
                                                  QDir::Unsorted);
    for (const QFileInfo &component : pool)
        components << component.fileName();
    const QString line = AptSource::sourceLine(homepath, components);
    qWarning() << "source list address: " << line;

    QFile list(m_environment.sourceList);
    if (list.open(QIODevice::ReadWrite)) {
        bool replaced = false;
        const QByteArray text =
            AptSource::pointAt(QString::fromUtf8(list.readAll()), line, &replaced).toUtf8();
        if (replaced) {
            list.seek(0);
            list.write(text);
            list.resize(text.size());
        } else {
            qWarning() << Q_FUNC_INFO << "no source line of ours in" << m_environment.sourceList
                       << "to point at the package's repository";
        }
        list.close();
    }

    QProcess refresh;
    refresh.setProcessChannelMode(QProcess::MergedChannels);
    refresh.start(m_environment.apt, aptArguments({ QStringLiteral("update") }));
    if (!refresh.waitForFinished(CommandOutput::WaitMs)) {
        qWarning() << Q_FUNC_INFO
                   << QStringLiteral("Failed to connect sourcelist %1").arg(m_environment.sourceList)
                   << refresh.errorString();
        refresh.kill();
        refresh.waitForFinished(CommandOutput::WaitMs);
        return false;
    }
    m_upgradeSum = getUpgradeListSum();
    return m_upgradeSum != 0;
}

int OfflineCheck::getUpgradeListSum()
{
    const QString output = CommandOutput::run(
        m_environment.apt, aptArguments({ QStringLiteral("list"), QStringLiteral("--upgradable") }));
    int count = 0;
    for (const QStringRef &line : output.splitRef(QLatin1Char('\n'))) {
        if (line.contains(QLatin1Char('[')))
            ++count;
    }
    return count;
}

int OfflineCheck::execSystemUpgrade()
{
    qWarning() << "exec start ::";
    const QString command =
        QStringLiteral("export DEBIAN_FRONTEND=noninteractive && export DEBCONF_NONINTERACTIVE_SEEN=true"
                       " && %1 -y -o %4 -o Dpkg::Options::='--force-confnew' -o Dir::Etc::sourcelist=%2"
                       " -o Dir::State::lists=%3 -o Dir::Etc::sourceparts=/dev/null dist-upgrade")
            .arg(m_environment.apt, m_environment.sourceList, m_environment.listsDirectory,
                 QLatin1String(AptSandbox));

    // A fresh decoder per run: a character split between two reads arrives whole, and nothing
    // of an earlier run's output is carried over.
    m_decoder.reset(QTextCodec::codecForName("UTF-8")->makeDecoder());
    m_process.setProgram(m_environment.bash);
    m_process.setArguments({ QStringLiteral("-c"), command });
    m_process.setReadChannel(QProcess::StandardOutput);
    m_process.start(QIODevice::ReadWrite);
    if (!m_process.waitForStarted(CommandOutput::WaitMs)) {
        qWarning() << Q_FUNC_INFO << "cannot start" << m_environment.bash << ":"
                   << m_process.errorString();
        return -1;
    }
    m_process.waitForFinished(-1);
    onReadData();
    // A shell killed by a signal has no exit code of its own; it must not read as success.
    const int code = m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    qWarning() << "Exit code:" << code;
    return code;
}

void OfflineCheck::onReadData()
{
    QByteArray chunk = m_process.readAllStandardOutput();
    const int nul = chunk.indexOf('\0');
    if (nul >= 0)
        chunk.truncate(nul);
    const QString text = m_decoder ? m_decoder->toUnicode(chunk) : QString::fromUtf8(chunk);
    if (!text.isEmpty())
        emit sendExecDistUpgradeInfo(text);
}

void OfflineCheck::execHookPost(const QString &homepath)
{
    const QString postHookDirectory =
        cacheDirectory(homepath) + QStringLiteral("hooks") + QStringLiteral("/posthook");
    const QStringList scripts = HookScript::entries(postHookDirectory, HookScript::NameOrder);
    for (const QString &script : scripts) {
        const HookScript run =
            HookScript::run(m_environment.bash, script, homepath, postHookDirectory);
        if (!run.finished)
            qWarning() << Q_FUNC_INFO << QStringLiteral("Failed bash %1").arg(postHookDirectory)
                       << run.errorString;
        qWarning() << script;
        qWarning() << run.output;
    }
}
