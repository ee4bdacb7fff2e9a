#include "offlinecheck.h"

#include "aptsource.h"
#include "architecturetable.h"
#include "commandoutput.h"
#include "daemonconfig.h"
#include "diskspace.h"
#include "hookscript.h"
#include "offlineupdateprotocol.h"
#include "packagemanifest.h"
#include "packagesignature.h"
#include "safetree.h"
#include "upgraderun.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QSaveFile>
#include <QtConcurrent>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace OfflineUpdate;

namespace {

// A manifest is a few hundred bytes; anything far larger is not one and is not read whole.
constexpr qint64 ManifestLimit = 1024 * 1024;

bool hasEntry(int directoryFd, const char *name)
{
    struct stat status
    {
    };
    return fstatat(directoryFd, name, &status, AT_SYMLINK_NOFOLLOW) == 0;
}

// An image inside the package, never through a link: a link there could name any file of the
// machine. Invalid, with errno set, when it is missing or not a regular file.
FileDescriptor openImage(int packageRootFd, const char *name)
{
    FileDescriptor image(
        openat(packageRootFd, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    struct stat status
    {
    };
    if (image.isValid() && (fstat(image.get(), &status) < 0 || !S_ISREG(status.st_mode))) {
        image.reset();
        errno = EINVAL;
    }
    return image;
}

QString gib(qint64 kib)
{
    return QString::number(double(kib) / 1048576.0, 'f', 1);
}

QString describe(const AsyncCommand::Result &result)
{
    if (!result.finished)
        return result.errorString;
    const QString said = CommandOutput::decode(result.standardError + result.standardOutput);
    return QStringLiteral("exit code %1%2")
        .arg(result.exitCode)
        .arg(said.isEmpty() ? QString() : QStringLiteral(": ") + said);
}

// apt's first error or warning says best why a repository could not be read.
QString aptComplaint(const AsyncCommand::Result &result)
{
    const QStringList lines = QString::fromLocal8Bit(result.standardError + result.standardOutput)
                                  .split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        if (line.startsWith(QLatin1String("E:")) || line.startsWith(QLatin1String("W:")))
            return line.trimmed();
    }
    return describe(result);
}

} // namespace

OfflineCheck::OfflineCheck(const CheckEnvironment &environment, QObject *parent)
    : QObject(parent)
    , m_environment(environment)
    , m_upgrade(new UpgradeRun(environment, this))
{
    connect(m_upgrade, &UpgradeRun::output, this, &OfflineCheck::sendExecDistUpgradeInfo);
    connect(m_upgrade, &UpgradeRun::progress, this, &OfflineCheck::sendUpgradeProgress);
    connect(m_upgrade, &UpgradeRun::finished, this, [this](bool success, const QString &why) {
        qWarning() << "Exit code:" << (success ? 0 : 1) << why;
        emit upgradeFinished(success);
    });
    // A writer waits for the lease to go; it need not wait for the kernel's 45 seconds.
    m_packageWatch.setInterval(1000);
    connect(&m_packageWatch, &QTimer::timeout, this, [this] {
        if (m_package.changed())
            m_packageWatch.stop();
    });
}

OfflineCheck::~OfflineCheck() = default;

void OfflineCheck::runCommand(
    const QString &program, const QStringList &arguments, AsyncCommand::Done done)
{
    AsyncCommand::start(this, program, arguments, CommandOutput::WaitMs, std::move(done));
}

void OfflineCheck::startOfflineFileCheck(
    const CallerIdentity &caller, const QString &homepath, const QString &filepath)
{
    // Nothing of an earlier run may be read as this one's.
    m_checking = true;
    m_upgradeType = UnknownUpgrade;
    m_patchSerial.clear();
    m_offlineType.clear();
    m_offlineArch.clear();
    m_upgradeSum = 0;
    m_signedBy.clear();
    m_record = Record();
    m_record.uid = caller.uid;
    m_record.homePath = homepath;
    m_run = RunContext();
    m_caller = caller;
    m_homePath = homepath;
    m_requireSignature = DaemonConfig::read(m_environment.configFile).requireSignature;
    // Not a reason to refuse the package, since the upgrade repairs dpkg first; noted so that
    // whoever reads the log knows why the upgrade will start with a repair.
    runCommand(m_environment.dpkg, UpgradeRun::auditArguments(m_environment),
        [](const AsyncCommand::Result &audit) {
            if (!audit.standardOutput.trimmed().isEmpty())
                qWarning() << "dpkg was left interrupted; the next upgrade repairs it first:"
                           << audit.standardOutput.left(2000);
        });
    checkOfflineFile(filepath);
}

void OfflineCheck::fail(int item, const QString &key, const QString &detail)
{
    m_record.reasonKey = key;
    m_record.reasonDetail = detail;
    finishRun(item, false);
}

void OfflineCheck::finishRun(int item, bool passed)
{
    m_record.valid = true;
    m_record.passed = passed;
    // Nothing else of a run stays open: the mounts hold their images by themselves.
    if (passed)
        m_packageWatch.start();
    else
        m_package = PackageFile();
    m_packageRoot.reset();
    m_checking = false;
    emit sendOfflineFileCheckResult(item, passed);
}

void OfflineCheck::checkOfflineFile(const QString &filepath)
{
    m_packageWatch.stop();
    m_package = PackageFile::open(m_caller, filepath);
    switch (m_package.outcome()) {
    case PackageFile::Missing:
        qWarning() << Q_FUNC_INFO << QStringLiteral("%1 not exist").arg(filepath);
        fail(PackageFileItem, Reason::FileMissing, filepath);
        return;
    case PackageFile::Refused:
        qWarning() << Q_FUNC_INFO
                   << QStringLiteral("refusing %1 for uid %2: %3")
                          .arg(filepath)
                          .arg(m_caller.uid)
                          .arg(m_package.reason());
        fail(PackageFileItem,
            m_package.reason() == QLatin1String("not a regular file") ? Reason::NotRegularFile
                                                                      : Reason::NotReadable,
            m_package.reason());
        return;
    case PackageFile::Opened:
        break;
    }
    QString unguarded;
    switch (m_package.guard(&unguarded)) {
    case PackageFile::BeingWritten:
        qWarning() << Q_FUNC_INFO << filepath << "is open for writing:" << unguarded;
        fail(PackageFileItem, Reason::PackageChanging, unguarded);
        return;
    case PackageFile::Unguardable:
        // Without required signatures the check vouches for little that a change could undo.
        qWarning() << Q_FUNC_INFO << "cannot guard" << filepath << "against changes:" << unguarded;
        if (m_requireSignature) {
            fail(PackageFileItem, Reason::PackageUnguarded, unguarded);
            return;
        }
        break;
    case PackageFile::Guarded:
        break;
    }

    runCommand(
        m_environment.df, { QStringLiteral("/home") }, [this](const AsyncCommand::Result &df) {
            const qint64 freeKiB = DiskSpace::parseKiB(DiskSpace::dfField(
                CommandOutput::decode(df.standardOutput), DiskSpace::AvailableField));
            const qint64 sizeMiB = m_package.size() / 1048576;
            qInfo()
                << "void OfflineCheck::checkOfflineFile(const QString&)"
                << QStringLiteral("redundant space size: %1Mb").arg(DiskSpace::PackageReserveMiB)
                << QStringLiteral("Offline file size: %1Mb").arg(sizeMiB)
                << QStringLiteral("System free space size: %1Mb").arg(freeKiB / 1024);
            if (!DiskSpace::packageFits(m_package.size(), freeKiB)) {
                fail(PackageFileItem, Reason::NoSpace,
                    gib((2 * sizeMiB + DiskSpace::PackageReserveMiB) * 1024) + QLatin1Char('/')
                        + gib(freeKiB));
                return;
            }
            checkOfflineFileDirComplete(m_homePath);
        });
}

void OfflineCheck::checkOfflineFileDirComplete(const QString &homepath)
{
    QString error;
    const RunContext::Failure failure = m_run.prepare(m_environment, m_caller, homepath, &error);
    if (failure != RunContext::NoFailure) {
        qWarning() << "void OfflineCheck::checkOfflineFileDirComplete(const QString&)" << error;
        // A home that is not the caller's is refused like an action the caller may not take;
        // a run directory that cannot be cleared or trusted keeps every package out.
        fail(PackageLayoutItem,
            failure == RunContext::HomeRefused ? Reason::NotAuthorized : Reason::CacheBusy, error);
        return;
    }
    mountImage(m_package.fd(), RunContext::PackageMount, [this](bool mounted, const QString &why) {
        if (!mounted) {
            qWarning() << "void OfflineCheck::checkOfflineFileDirComplete(const QString&)"
                       << "Failed mount oup path:" << why;
            fail(PackageLayoutItem, Reason::NotPackage, why);
            return;
        }
        checkPackageLayout();
    });
}

void OfflineCheck::checkPackageLayout()
{
    // Opened anew: a descriptor taken before the mount still shows the empty directory.
    m_packageRoot = SafeTree::openDirectory(m_run.runFd(), RunContext::PackageMount);
    for (const char *required : { "info.json", "oup-format", "repo.sfs" }) {
        if (!m_packageRoot.isValid() || !hasEntry(m_packageRoot.get(), required)) {
            fail(PackageLayoutItem, Reason::NotPackage,
                QStringLiteral("no %1 in the package").arg(QLatin1String(required)));
            return;
        }
    }

    // Before any of the package's code runs as root. Hashing a large package takes seconds, so
    // it runs beside the event loop and the daemon keeps answering; the package root stays
    // open, and this check the one operation, until the answer is in.
    auto *verification = new QFutureWatcher<PackageSignature>(this);
    connect(verification, &QFutureWatcher<PackageSignature>::finished, this, [this, verification] {
        verification->deleteLater();
        acceptSignature(verification->result());
    });
    const CheckEnvironment environment = m_environment;
    const int packageRoot = m_packageRoot.get();
    verification->setFuture(QtConcurrent::run(
        [environment, packageRoot] { return PackageSignature::verify(environment, packageRoot); }));
}

void OfflineCheck::acceptSignature(const PackageSignature &signature)
{
    if (m_package.changed()) {
        qWarning() << Q_FUNC_INFO << "the package was written to while it was verified";
        fail(PackageLayoutItem, Reason::PackageChanging);
        return;
    }
    switch (signature.state) {
    case PackageSignature::Rejected:
        m_record.signatureState = SignatureRejected;
        m_record.signer = signature.reason;
        qWarning() << Q_FUNC_INFO
                   << "refusing a package whose signature does not hold:" << signature.reason;
        fail(PackageLayoutItem, Reason::BadSignature, signature.reason);
        return;
    case PackageSignature::Unsigned:
        m_record.signatureState = Unsigned;
        if (m_requireSignature) {
            qWarning() << Q_FUNC_INFO << "refusing an unsigned package: signatures are required";
            fail(PackageLayoutItem, Reason::SignatureRequired);
            return;
        }
        break;
    case PackageSignature::Verified:
        m_record.signatureState = SignatureVerified;
        m_record.signer = signature.signer;
        m_signedBy = signature.keyring;
        qInfo() << Q_FUNC_INFO << "package signed by" << signature.signer;
        break;
    }
    checkHookPre();
}

void OfflineCheck::mountImage(int imageFd, const QByteArray &mountPoint,
    std::function<void(bool mounted, const QString &error)> done)
{
    // The image is named by the descriptor this daemon holds, so no path can be swapped under
    // it; every mount gets a loop device of its own, so that two users' mounts of one file never
    // hold each other busy.
    const QString image = QStringLiteral("/proc/%1/fd/%2").arg(getpid()).arg(imageFd);
    const QString target = m_run.path(mountPoint);
    runCommand(m_environment.losetup,
        { QStringLiteral("--find"), QStringLiteral("--show"), QStringLiteral("--read-only"),
            image },
        [=](const AsyncCommand::Result &losetup) {
            const QString device = CommandOutput::decode(losetup.standardOutput);
            if (!losetup.succeeded() || !device.startsWith(QLatin1String("/dev/loop"))) {
                done(false, QStringLiteral("losetup: ") + describe(losetup));
                return;
            }
            runCommand(m_environment.mount,
                { QStringLiteral("--no-canonicalize"), QStringLiteral("-t"),
                    QStringLiteral("squashfs"), QStringLiteral("-o"),
                    QStringLiteral("ro,nosuid,nodev"), device, target },
                [=](const AsyncCommand::Result &mount) {
                    // A mounted device goes with its last mount, one that did not
                    // get mounted goes at once.
                    runCommand(m_environment.losetup, { QStringLiteral("--detach"), device },
                        [](const AsyncCommand::Result &) {});
                    if (!mount.succeeded())
                        done(false, QStringLiteral("mount: ") + describe(mount));
                    else if (!RunContext::isMountPoint(m_run.runFd(), mountPoint))
                        done(false, target + QStringLiteral(" is not a mount point after mount"));
                    else
                        done(true, QString());
                });
        });
}

void OfflineCheck::checkHookPre()
{
    FileDescriptor image = openImage(m_packageRoot.get(), "hooks.sfs");
    if (!image.isValid()) {
        if (errno == ENOENT) { // a package without hooks
            checkOfflineUpgradeType();
            return;
        }
        fail(PreHookItem, Reason::NotPackage, QStringLiteral("hooks.sfs is not a regular file"));
        return;
    }
    // The descriptor must outlive the mount commands.
    auto held = std::make_shared<FileDescriptor>(std::move(image));
    mountImage(held->get(), RunContext::HooksMount, [this, held](bool mounted, const QString &why) {
        if (!mounted) {
            qWarning() << "bool OfflineCheck::checkHookPre(const QString&)"
                       << QStringLiteral("Failed mount %1")
                              .arg(m_run.path(RunContext::PackageMount)
                                  + QStringLiteral("/hooks.sfs"))
                       << why;
            fail(PreHookItem, Reason::NotPackage, why);
            return;
        }
        runHooks(m_run.path(RunContext::HooksMount) + QStringLiteral("/prehook"), false,
            m_run.homePath(), true, [this](bool passed, const HookFailure &failure) {
                if (!passed) {
                    fail(PreHookItem, Reason::HookRefused,
                        failure.script + QStringLiteral(": ") + failure.lastLine);
                    return;
                }
                checkOfflineUpgradeType();
            });
    });
}

void OfflineCheck::runHooks(const QString &directory, bool nameOrder, const QString &homePath,
    bool stopAtFailure, HooksDone done)
{
    // Listed through a descriptor of the directory inside the root-owned run directory: a
    // "prehook" or "posthook" that is a link is refused, not followed.
    const QFileInfo info(directory);
    const FileDescriptor hooks(
        ::open(QFile::encodeName(info.path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    bool refused = false;
    const QStringList scripts = hooks.isValid()
        ? HookScript::entries(hooks.get(), QFile::encodeName(info.fileName()),
            nameOrder ? HookScript::NameOrder : HookScript::DirectoryOrder, &refused)
        : QStringList();
    if (refused) {
        qWarning() << Q_FUNC_INFO << "refusing to run scripts from" << directory
                   << ": not a directory of the package";
        done(false, { info.fileName(), QStringLiteral("not a directory") });
        return;
    }
    runHook(scripts, 0, directory, homePath, stopAtFailure, std::move(done));
}

void OfflineCheck::runHook(const QStringList &scripts, int index, const QString &directory,
    const QString &homePath, bool stopAtFailure, HooksDone done)
{
    if (index >= scripts.size()) {
        done(true, {});
        return;
    }
    const QString script = scripts.at(index);
    auto *run = new HookRun(m_environment.bash, m_environment.hookTimeLimitMs,
        m_environment.setpriv, m_environment.unshare, this);
    connect(run, &HookRun::finished, this, [=](const HookRun::Result &result) {
        run->deleteLater();
        if (!result.finished)
            qWarning() << "OfflineCheck::runHook" << QStringLiteral("Failed bash %1").arg(directory)
                       << result.errorString;
        qWarning() << directory + QLatin1Char('/') + script;
        qWarning() << CommandOutput::decode(result.outputTail);
        if (!result.ended.isEmpty())
            qWarning() << "OfflineCheck::runHook"
                       << "ended with" << script << ":" << result.ended;
        if (!(result.finished && result.exitCode == 0) && stopAtFailure) {
            done(false, { script, result.finished ? result.lastLine : result.errorString });
            return;
        }
        runHook(scripts, index + 1, directory, homePath, stopAtFailure, done);
    });
    run->start(directory, script, homePath);
}

void OfflineCheck::checkOfflineUpgradeType()
{
    QByteArray content;
    // Read from the package root that item 1 mounted, and never through a link: a package must
    // not make root read another file into the log.
    const FileDescriptor manifestFile(
        openat(m_packageRoot.get(), "info.json", O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
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
    m_upgradeType = manifest.isPatch() ? PatchUpgrade : SystemUpgrade;
    if (manifest.isPatch())
        m_patchSerial = manifest.cveId;
    qWarning() << Q_FUNC_INFO << QStringLiteral("offline arch: %1").arg(m_offlineArch)
               << QStringLiteral("offline m_offlineType: %1").arg(m_offlineType)
               << QStringLiteral("offline type: %1").arg(manifest.type);
    // Every system type is accepted for now (item 3); the manifest's value is kept for when it
    // is not.
    checkOfflineFileArch();
}

void OfflineCheck::checkOfflineFileArch()
{
    runCommand(
        m_environment.uname, { QStringLiteral("-m") }, [this](const AsyncCommand::Result &uname) {
            const QString machine = CommandOutput::decode(uname.standardOutput);
            const QString arch = m_offlineArch.toLower();
            if (!ArchitectureTable::fits(machine, arch)) {
                qWarning() << "bool OfflineCheck::checkOfflineFileArch()"
                           << QStringLiteral("offline file arch check failed: %1").arg(arch);
                fail(
                    ArchitectureItem, Reason::WrongArchitecture, arch + QLatin1Char('/') + machine);
                return;
            }
            checkSystemBackupSpace();
        });
}

void OfflineCheck::checkSystemBackupSpace()
{
    runCommand(
        m_environment.df, { QStringLiteral("/home") }, [this](const AsyncCommand::Result &home) {
            runCommand(m_environment.df, { QStringLiteral("/") },
                [this, home](const AsyncCommand::Result &root) {
                    const qint64 free = DiskSpace::parseKiB(DiskSpace::dfField(
                        CommandOutput::decode(home.standardOutput), DiskSpace::AvailableField));
                    const qint64 used = DiskSpace::parseKiB(DiskSpace::dfField(
                        CommandOutput::decode(root.standardOutput), DiskSpace::UsedField));
                    qInfo() << "bool OfflineCheck::checkSystemBackupSpace()"
                            << QStringLiteral("root dir used size: %1Kb").arg(used)
                            << QStringLiteral("data dir free size: %1Kb").arg(free);
                    if (!DiskSpace::backupFits(free, used)) {
                        qWarning()
                            << "bool OfflineCheck::checkSystemBackupSpace()"
                            << QStringLiteral("Insufficient free space, free size:%1 used size:%2")
                                   .arg(free)
                                   .arg(used);
                        fail(BackupSpaceItem, Reason::NoBackupSpace,
                            gib(used + DiskSpace::BackupReserveKiB) + QLatin1Char('/') + gib(free));
                        return;
                    }
                    checkUpgradeSum();
                });
        });
}

QStringList OfflineCheck::aptArguments(const QStringList &command) const
{
    return QStringList { QStringLiteral("-o"),
        QStringLiteral("Dir::Etc::sourcelist=") + m_environment.sourceList, QStringLiteral("-o"),
        QStringLiteral("Dir::State::lists=") + m_environment.listsDirectory, QStringLiteral("-o"),
        QStringLiteral("Dir::Etc::sourceparts=/dev/null") }
    + command;
}

bool OfflineCheck::clearListsDirectory()
{
    // The index is rebuilt from this package alone; "partial" must exist for apt to fetch into
    // a lists directory outside its own state directory.
    const QString lists = QDir::cleanPath(m_environment.listsDirectory);
    const QFileInfo info(lists);
    const FileDescriptor parent(
        ::open(QFile::encodeName(info.path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    QString error;
    if (parent.isValid()
        && !SafeTree::removeTree(parent.get(), QFile::encodeName(info.fileName()), &error)) {
        qWarning() << Q_FUNC_INFO << "cannot clear" << lists << ":" << error;
        return false;
    }
    return QDir().mkpath(lists + QStringLiteral("/partial"));
}

bool OfflineCheck::writeSourceList(const QString &line, QString *error)
{
    // The list is the daemon's own: made with the placeholder when missing, and never left half
    // written for the upgrade to read.
    QFile current(m_environment.sourceList);
    QString text = AptSource::placeholderLine() + QLatin1Char('\n');
    if (current.exists()) {
        if (!current.open(QIODevice::ReadOnly)) {
            *error = current.errorString();
            return false;
        }
        text = QString::fromUtf8(current.readAll());
        current.close();
    }
    bool replaced = false;
    text = AptSource::pointAt(text, line, &replaced);
    if (!replaced)
        text += (text.isEmpty() || text.endsWith(QLatin1Char('\n')) ? QString()
                                                                    : QStringLiteral("\n"))
            + line + QLatin1Char('\n');

    QDir().mkpath(QFileInfo(m_environment.sourceList).path());
    QSaveFile list(m_environment.sourceList);
    const QByteArray bytes = text.toUtf8();
    if (!list.open(QIODevice::WriteOnly) || list.write(bytes) != bytes.size()
        || !list.setPermissions(
            QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther)
        || !list.commit()) {
        *error = list.errorString();
        return false;
    }
    return true;
}

void OfflineCheck::checkUpgradeSum()
{
    FileDescriptor image = openImage(m_packageRoot.get(), "repo.sfs");
    if (!image.isValid()) {
        fail(UpgradableItem, Reason::NotPackage, QStringLiteral("repo.sfs is not a regular file"));
        return;
    }
    auto held = std::make_shared<FileDescriptor>(std::move(image));
    mountImage(
        held->get(), RunContext::RepositoryMount, [this, held](bool mounted, const QString &why) {
            if (!mounted) {
                qWarning() << "bool OfflineCheck::checkUpgradeSum(const QString&)"
                           << QStringLiteral("Failed mount %1")
                                  .arg(m_run.path(RunContext::PackageMount)
                                      + QStringLiteral("/repo.sfs"))
                           << why;
                fail(UpgradableItem, Reason::RepositoryUnreadable, why);
                return;
            }
            refreshIndex();
        });
}

void OfflineCheck::refreshIndex()
{
    QStringList components;
    const QFileInfoList pool
        = QDir(m_run.path(RunContext::RepositoryMount) + QStringLiteral("/pool"))
              .entryInfoList(QDir::Dirs | QDir::Hidden | QDir::NoSymLinks | QDir::NoDotAndDotDot,
                  QDir::Unsorted);
    for (const QFileInfo &component : pool) {
        if (AptSource::validComponent(component.fileName()))
            components << component.fileName();
        else
            qWarning() << Q_FUNC_INFO << "skipping the component" << component.fileName();
    }
    const QString line = AptSource::sourceLine(
        AptSource::repositoryUri(m_run.path(RunContext::RepositoryMount)), components, m_signedBy);
    qWarning() << "source list address: " << line;
    if (line.isEmpty()) {
        fail(UpgradableItem, Reason::RepositoryUnreadable,
            QStringLiteral("no source line can name %1")
                .arg(m_run.path(RunContext::RepositoryMount)));
        return;
    }

    QString error;
    if (!writeSourceList(line, &error)) {
        qWarning() << Q_FUNC_INFO << "cannot write" << m_environment.sourceList << ":" << error;
        fail(UpgradableItem, Reason::RepositoryUnreadable,
            QStringLiteral("cannot write %1: %2").arg(m_environment.sourceList, error));
        return;
    }
    if (!clearListsDirectory()) {
        fail(UpgradableItem, Reason::RepositoryUnreadable,
            QStringLiteral("cannot clear %1").arg(m_environment.listsDirectory));
        return;
    }
    runCommand(m_environment.apt, aptArguments({ QStringLiteral("update") }),
        [this](const AsyncCommand::Result &update) {
            logStandardError(
                "bool OfflineCheck::checkUpgradeSum(const QString&)", update.standardError);
            if (!update.succeeded()) {
                qWarning() << "bool OfflineCheck::checkUpgradeSum(const QString&)"
                           << QStringLiteral("Failed to connect sourcelist %1")
                                  .arg(m_environment.sourceList)
                           << describe(update);
                fail(UpgradableItem, Reason::RepositoryUnreadable, aptComplaint(update));
                return;
            }
            countUpgradable();
        });
}

void OfflineCheck::countUpgradable()
{
    runCommand(m_environment.apt,
        aptArguments({ QStringLiteral("list"), QStringLiteral("--upgradable") }),
        [this](const AsyncCommand::Result &list) {
            logStandardError("int OfflineCheck::getUpgradeListSum()", list.standardError);
            if (!list.finished) {
                fail(UpgradableItem, Reason::RepositoryUnreadable, list.errorString);
                return;
            }
            int count = 0;
            const QString output = CommandOutput::decode(list.standardOutput);
            for (const QStringRef &line : output.splitRef(QLatin1Char('\n'))) {
                if (line.contains(QLatin1Char('[')))
                    ++count;
            }
            m_upgradeSum = count;
            if (count == 0) {
                fail(UpgradableItem, Reason::NothingToUpgrade);
                return;
            }
            // Written to while its scripts ran or apt read it, what passed is not what is there.
            if (m_package.changed()) {
                fail(UpgradableItem, Reason::PackageChanging);
                return;
            }
            finishRun(UpgradableItem, true);
        });
}

void OfflineCheck::logStandardError(const char *function, const QByteArray &text)
{
    const QStringList lines
        = QString::fromLocal8Bit(text).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &line : lines)
        qWarning() << function << "apt:" << line;
}

void OfflineCheck::startSystemUpgrade(int fromStage)
{
    // A backup takes a while, and the package has to be the one that passed when apt reads it.
    if (m_package.changed()) {
        qWarning() << Q_FUNC_INFO << "the package was written to after its check; not upgrading";
        emit sendExecDistUpgradeInfo(QStringLiteral(
            "The package was changed after its check: nothing was installed. Check it again."));
        emit upgradeFinished(false);
        return;
    }
    qWarning() << "exec start ::";
    m_upgrade->start(fromStage);
}

void OfflineCheck::startHookPost(uid_t uid, const QString &homePath)
{
    const QString directory = QDir::cleanPath(m_environment.runDirectory) + QLatin1Char('/')
        + QString::number(uid) + QLatin1Char('/') + QFile::decodeName(RunContext::HooksMount)
        + QStringLiteral("/posthook");
    // A script's failure is logged and stops nothing: the upgrade is made already.
    runHooks(directory, true, homePath, false,
        [this](bool, const HookFailure &) { emit hookPostFinished(); });
}
