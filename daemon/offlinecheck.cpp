#include "offlinecheck.h"

#include "aptsource.h"
#include "architecturetable.h"
#include "asynccommand.h"
#include "commandoutput.h"
#include "daemonconfig.h"
#include "diskspace.h"
#include "dpkglock.h"
#include "hooksequence.h"
#include "imagemount.h"
#include "installedpackages.h"
#include "offlineupdateprotocol.h"
#include "packagecopy.h"
#include "packagemanifest.h"
#include "packagesignature.h"
#include "privateaptsource.h"
#include "safetree.h"
#include "statedirectory.h"
#include "plannedupgrade.h"
#include "upgradeplanner.h"
#include "upgraderun.h"

#include <QDateTime>
#include <QUuid>
#include <QDebug>
#include <QJsonObject>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
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

// apt's first error or warning says best why a repository could not be read.
QString aptComplaint(const AsyncCommand::Result &result)
{
    const QStringList lines = QString::fromLocal8Bit(result.standardError + result.standardOutput)
                                  .split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        if (line.startsWith(QLatin1String("E:")) || line.startsWith(QLatin1String("W:")))
            return line.trimmed();
    }
    return result.describe();
}

} // namespace

OfflineCheck::OfflineCheck(const CheckEnvironment &environment, QObject *parent)
    : QObject(parent)
    , m_environment(environment)
    , m_upgrade(new PlannedUpgrade(environment, this))
    , m_records(environment)
{
    connect(m_upgrade, &PlannedUpgrade::output, this, &OfflineCheck::sendExecDistUpgradeInfo);
    connect(m_upgrade, &PlannedUpgrade::progress, this, &OfflineCheck::sendUpgradeProgress);
    connect(m_upgrade, &PlannedUpgrade::finished, this, [this](bool success) {
        if (CheckRun *run = m_records.upgrading())
            m_records.upgradeEnded(run, success);
        emit upgradeFinished(success);
    });
    connect(m_upgrade, &PlannedUpgrade::stage, this,
        [this](const QString &stage, int done, int total, const QString &package) {
            if (CheckRun *run = m_records.upgrading(); run && run->journal().stage != stage)
                m_records.enterStage(run, stage);
            emit upgradeStage(stage, done, total, package);
        });
}

OfflineCheck::~OfflineCheck() = default;

CheckRun *OfflineCheck::run(uid_t uid) const
{
    if (uid == 0 && m_newest)
        return m_newest;
    const auto found = m_runs.find(uid);
    return found == m_runs.end() ? nullptr : found->second.get();
}

void OfflineCheck::startOfflineFileCheck(const CallerIdentity &caller, const QString &busName,
    const QString &homepath, const QString &filepath)
{
    // This user's earlier run goes with its mounts and copy; nobody else's is touched.
    if (m_paused && m_paused->uid() == caller.uid)
        m_paused = nullptr;
    m_runs.erase(caller.uid);
    m_records.runReplaced(caller.uid);
    auto run = std::make_unique<CheckRun>(caller, busName);
    m_run = run.get();
    m_newest = m_run;
    if (m_latest && m_latest->uid() == caller.uid)
        m_latest = nullptr;
    m_runs[caller.uid] = std::move(run);
    m_askedHome = homepath;
    // The history names what was asked for, also when it could not be read.
    m_run->record().packageName = QFileInfo(filepath).fileName().left(4096);
    m_offlineArch.clear();
    m_requireSignature = DaemonConfig::read(m_environment.configFile).requireSignature;

    // A check remounts and repoints what an upgrade reads from: never under a running one.
    const QString holder = packageManagerHolder();
    if (!holder.isEmpty()) {
        qWarning() << Q_FUNC_INFO << "another package manager is running:" << holder;
        fail(PackageFileItem, Reason::PackageManagerRunning, holder);
        return;
    }
    // Not a reason to refuse the package, since the upgrade repairs dpkg first; noted so that
    // whoever reads the log knows why the upgrade will start with a repair.
    AsyncCommand::start(this, m_environment.dpkg, UpgradeRun::auditArguments(m_environment),
        CommandOutput::WaitMs, [](const AsyncCommand::Result &audit) {
            if (!audit.standardOutput.trimmed().isEmpty())
                qWarning() << "dpkg was left interrupted; the next upgrade repairs it first:"
                           << audit.standardOutput.left(2000);
        });
    checkOfflineFile(filepath);
}

void OfflineCheck::fail(int item, const QString &key, const QString &detail)
{
    m_run->record().reasonKey = key;
    m_run->record().reasonDetail = detail;
    finishRun(item, false);
}

void OfflineCheck::finishRun(int item, bool passed)
{
    m_run->record().ended = true;
    m_run->record().passed = passed;
    m_records.checkEnded(*m_run, item, passed);
    // Nothing of a failed run is kept but why it failed; a passed one keeps its mounts and
    // copy for its upgrade.
    m_run->packageRoot().reset();
    if (!passed)
        m_run->release();
    m_run = nullptr;
    emit sendOfflineFileCheckResult(item, passed);
}


void OfflineCheck::checkOfflineFile(const QString &filepath)
{
    QString error;
    const FileDescriptor copies = StateDirectory::packages(m_environment, &error);
    if (!copies.isValid()) {
        qWarning() << Q_FUNC_INFO << "no place for the package's copy:" << error;
        fail(PackageFileItem, Reason::CacheBusy, error);
        return;
    }
    if (m_copy)
        m_copy->deleteLater();
    m_copy = new PackageCopy(this);
    m_copy->start(
        m_run->caller(), filepath, copies.get(), m_environment.packageStallLimitMs,
        [this](qint64 size, std::function<void(bool)> proceed) {
            checkOfflineFileSpace(size, std::move(proceed));
        },
        [this, filepath](const PackageCopy::Result &copied) {
            const QString logged = filepath.left(4096);
            switch (copied.outcome) {
            case PackageCopy::Copied:
                break;
            case PackageCopy::Missing:
                qWarning() << Q_FUNC_INFO << QStringLiteral("%1 not exist").arg(logged);
                fail(PackageFileItem, Reason::FileMissing, logged);
                return;
            case PackageCopy::Refused:
                qWarning() << Q_FUNC_INFO
                           << QStringLiteral("refusing %1 for uid %2: %3")
                                  .arg(logged)
                                  .arg(m_run->uid())
                                  .arg(copied.reason);
                fail(PackageFileItem,
                    copied.reason == QLatin1String("not a regular file") ? Reason::NotRegularFile
                                                                         : Reason::NotReadable,
                    copied.reason);
                return;
            case PackageCopy::BeingWritten:
            case PackageCopy::Changed:
                qWarning() << Q_FUNC_INFO << logged << "is being written:" << copied.reason;
                fail(PackageFileItem, Reason::PackageChanging, copied.reason);
                return;
            case PackageCopy::Stalled:
                qWarning() << Q_FUNC_INFO << "cannot read" << logged << ":" << copied.reason;
                fail(PackageFileItem, Reason::PackageStalled, copied.reason);
                return;
            case PackageCopy::Failed:
                qWarning() << Q_FUNC_INFO << "cannot copy" << logged << ":" << copied.reason;
                fail(PackageFileItem, Reason::NotReadable, copied.reason);
                return;
            }
            m_run->setCopy(m_copy->takeCopy());
            m_run->record().sha256 = QString::fromLatin1(copied.sha256);
            qInfo() << Q_FUNC_INFO << "copied" << logged << copied.size << "bytes, SHA-256"
                    << copied.sha256;
            checkOfflineFileDirComplete();
        });
}

void OfflineCheck::checkOfflineFileSpace(qint64 size, std::function<void(bool proceed)> proceed)
{
    AsyncCommand::start(this, m_environment.df, { m_environment.stateDirectory },
        CommandOutput::WaitMs, [this, size, proceed](const AsyncCommand::Result &df) {
            const qint64 freeKiB = DiskSpace::parseKiB(DiskSpace::dfField(
                CommandOutput::decode(df.standardOutput), DiskSpace::AvailableField));
            const qint64 sizeMiB = size / 1048576;
            qInfo()
                << "void OfflineCheck::checkOfflineFile(const QString&)"
                << QStringLiteral("redundant space size: %1Mb").arg(DiskSpace::PackageReserveMiB)
                << QStringLiteral("Offline file size: %1Mb").arg(sizeMiB)
                << QStringLiteral("System free space size: %1Mb").arg(freeKiB / 1024);
            if (!DiskSpace::packageFits(size, freeKiB)) {
                proceed(false);
                fail(PackageFileItem, Reason::NoSpace,
                    gib((2 * sizeMiB + DiskSpace::PackageReserveMiB) * 1024) + QLatin1Char('/')
                        + gib(freeKiB));
                return;
            }
            proceed(true);
        });
}

void OfflineCheck::checkOfflineFileDirComplete()
{
    QString error;
    if (!m_run->home().open(m_run->caller(), m_askedHome, &error)) {
        // A home that is not the caller's is refused like an action the caller may not take.
        qWarning() << "void OfflineCheck::checkOfflineFileDirComplete(const QString&)" << error;
        fail(PackageLayoutItem, Reason::NotAuthorized, error);
        return;
    }
    if (m_run->directory().prepare(m_environment, m_run->uid(), &error) != RunContext::NoFailure) {
        // A run directory that cannot be cleared or trusted keeps every package out.
        qWarning() << "void OfflineCheck::checkOfflineFileDirComplete(const QString&)" << error;
        fail(PackageLayoutItem, Reason::CacheBusy, error);
        return;
    }
    ImageMount::mount(this, m_environment, m_run->copyFd(), m_run->directory(),
        RunContext::PackageMount, [this](bool mounted, const QString &why) {
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
    FileDescriptor &root = m_run->packageRoot();
    root = SafeTree::openDirectory(m_run->directory().runFd(), RunContext::PackageMount);
    for (const char *required : { "info.json", "oup-format", "repo.sfs" }) {
        if (!root.isValid() || !hasEntry(root.get(), required)) {
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
    const int packageRoot = root.get();
    verification->setFuture(QtConcurrent::run(
        [environment, packageRoot] { return PackageSignature::verify(environment, packageRoot); }));
}

void OfflineCheck::acceptSignature(const PackageSignature &signature)
{
    CheckRun::Record &record = m_run->record();
    switch (signature.state) {
    case PackageSignature::Rejected:
        record.signatureState = SignatureRejected;
        record.signer = signature.reason;
        qWarning() << Q_FUNC_INFO
                   << "refusing a package whose signature does not hold:" << signature.reason;
        fail(PackageLayoutItem, Reason::BadSignature, signature.reason);
        return;
    case PackageSignature::Unsigned:
        record.signatureState = Unsigned;
        if (m_requireSignature) {
            qWarning() << Q_FUNC_INFO << "refusing an unsigned package: signatures are required";
            fail(PackageLayoutItem, Reason::SignatureRequired);
            return;
        }
        break;
    case PackageSignature::Verified:
        record.signatureState = SignatureVerified;
        record.signer = signature.signer;
        m_run->setSignedBy(signature.keyring);
        qInfo() << Q_FUNC_INFO << "package signed by" << signature.signer;
        break;
    }
    if (signature.state == PackageSignature::Verified || m_run->caller().isRoot()
        || !m_unsignedApproval) {
        checkHookPre();
        return;
    }
    // Nobody vouches for an unsigned package's scripts but the user, asked for this package.
    // The check lets go of the daemon meanwhile: a prompt may stay open for minutes.
    const QPointer<OfflineCheck> self(this);
    CheckRun *const run = m_run;
    m_paused = run;
    m_run = nullptr;
    m_unsignedApproval(*run, [self, run](bool approved) {
        if (!self || self->m_paused != run)
            return;
        self->m_paused = nullptr;
        self->m_run = run;
        if (!approved) {
            qWarning() << "void OfflineCheck::acceptSignature(const PackageSignature&)"
                       << "the unsigned package was not approved";
            self->fail(PackageLayoutItem, Reason::NotAuthorized,
                QStringLiteral("an unsigned package needs an administrator's authorization "
                               "each time it is checked"));
            return;
        }
        self->checkHookPre();
    });
}

void OfflineCheck::abandonPausedCheck(const QString &why)
{
    if (!m_paused)
        return;
    CheckRun::Record &record = m_paused->record();
    record.reasonKey = Reason::NotAuthorized;
    record.reasonDetail = why;
    record.ended = true;
    record.passed = false;
    m_paused->packageRoot().reset();
    m_paused->release();
    m_paused = nullptr;
}

void OfflineCheck::checkHookPre()
{
    FileDescriptor image = openImage(m_run->packageRoot().get(), "hooks.sfs");
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
    ImageMount::mount(this, m_environment, held->get(), m_run->directory(),
        RunContext::HooksMount, [this, held](bool mounted, const QString &why) {
            if (!mounted) {
                qWarning() << "bool OfflineCheck::checkHookPre(const QString&)"
                           << QStringLiteral("Failed mount %1")
                                  .arg(m_run->directory().path(RunContext::PackageMount)
                                      + QStringLiteral("/hooks.sfs"))
                           << why;
                fail(PreHookItem, Reason::NotPackage, why);
                return;
            }
            HookSequence::run(this, m_environment,
                m_run->directory().path(RunContext::HooksMount), QByteArrayLiteral("prehook"),
                HookScript::DirectoryOrder, &m_run->home(), true,
                [this](bool passed, const HookSequence::Failure &failure) {
                    if (!passed) {
                        fail(PreHookItem, Reason::HookRefused,
                            failure.script + QStringLiteral(": ") + failure.lastLine);
                        return;
                    }
                    checkOfflineUpgradeType();
                });
        });
}

void OfflineCheck::checkOfflineUpgradeType()
{
    QByteArray content;
    // Read from the package root that item 1 mounted, and never through a link: a package must
    // not make root read another file into the log.
    const FileDescriptor manifestFile(openat(m_run->packageRoot().get(), "info.json",
        O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    QFile file;
    if (manifestFile.isValid() && file.open(manifestFile.get(), QIODevice::ReadOnly))
        content = file.read(ManifestLimit);
    else
        qInfo() << "can not find app info file";

    const PackageManifest manifest = PackageManifest::parse(content);
    if (!manifest.validJson)
        qInfo() << "incorrect json format";
    CheckRun::Record &record = m_run->record();
    m_offlineArch = manifest.archs;
    record.upgradeType = manifest.isPatch() ? PatchUpgrade : SystemUpgrade;
    if (manifest.isPatch())
        record.patchSerial = manifest.cveId;
    qWarning() << Q_FUNC_INFO << QStringLiteral("offline arch: %1").arg(m_offlineArch.left(256))
               << QStringLiteral("offline m_offlineType: %1").arg(manifest.systemType.left(256))
               << QStringLiteral("offline type: %1").arg(manifest.type);
    // Every system type is accepted for now (item 3); the manifest's value is kept for when it
    // is not.
    checkOfflineFileArch();
}

void OfflineCheck::checkOfflineFileArch()
{
    AsyncCommand::start(this, m_environment.uname, { QStringLiteral("-m") }, CommandOutput::WaitMs,
        [this](const AsyncCommand::Result &uname) {
            const QString machine = CommandOutput::decode(uname.standardOutput);
            const QString arch = m_offlineArch.toLower();
            if (!ArchitectureTable::fits(machine, arch)) {
                qWarning() << "bool OfflineCheck::checkOfflineFileArch()"
                           << QStringLiteral("offline file arch check failed: %1").arg(arch.left(256));
                fail(ArchitectureItem, Reason::WrongArchitecture,
                    arch.left(256) + QLatin1Char('/') + machine);
                return;
            }
            checkSystemBackupSpace();
        });
}

void OfflineCheck::checkSystemBackupSpace()
{
    AsyncCommand::start(this, m_environment.df, { QStringLiteral("/home") }, CommandOutput::WaitMs,
        [this](const AsyncCommand::Result &home) {
            AsyncCommand::start(this, m_environment.df, { QStringLiteral("/") },
                CommandOutput::WaitMs, [this, home](const AsyncCommand::Result &root) {
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

void OfflineCheck::checkUpgradeSum()
{
    FileDescriptor image = openImage(m_run->packageRoot().get(), "repo.sfs");
    if (!image.isValid()) {
        fail(UpgradableItem, Reason::NotPackage, QStringLiteral("repo.sfs is not a regular file"));
        return;
    }
    auto held = std::make_shared<FileDescriptor>(std::move(image));
    ImageMount::mount(this, m_environment, held->get(), m_run->directory(),
        RunContext::RepositoryMount, [this, held](bool mounted, const QString &why) {
            if (!mounted) {
                qWarning() << "bool OfflineCheck::checkUpgradeSum(const QString&)"
                           << QStringLiteral("Failed mount %1")
                                  .arg(m_run->directory().path(RunContext::PackageMount)
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
    const QString repository = m_run->directory().path(RunContext::RepositoryMount);
    const QString line = PrivateAptSource::lineFor(repository, m_run->signedBy());
    qWarning() << "source list address: " << line;
    if (line.isEmpty()) {
        fail(UpgradableItem, Reason::RepositoryUnreadable,
            QStringLiteral("no source line can name %1").arg(repository));
        return;
    }

    // From here the private source list is this run's; a run whose list was replaced can no
    // longer be upgraded from.
    m_latest = m_run;
    QString error;
    if (!PrivateAptSource::write(m_environment, line, &error)) {
        qWarning() << Q_FUNC_INFO << "cannot write" << m_environment.sourceList << ":" << error;
        fail(UpgradableItem, Reason::RepositoryUnreadable,
            QStringLiteral("cannot write %1: %2").arg(m_environment.sourceList, error));
        return;
    }
    if (!PrivateAptSource::clearLists(m_environment, &error)) {
        qWarning() << Q_FUNC_INFO << "cannot clear" << m_environment.listsDirectory << ":" << error;
        fail(UpgradableItem, Reason::RepositoryUnreadable,
            QStringLiteral("cannot clear %1").arg(m_environment.listsDirectory));
        return;
    }
    AsyncCommand::start(this, m_environment.apt,
        PrivateAptSource::arguments(m_environment, { QStringLiteral("update") }),
        CommandOutput::WaitMs, [this](const AsyncCommand::Result &update) {
            logStandardError(
                "bool OfflineCheck::checkUpgradeSum(const QString&)", update.standardError);
            if (!update.succeeded()) {
                qWarning() << "bool OfflineCheck::checkUpgradeSum(const QString&)"
                           << QStringLiteral("Failed to connect sourcelist %1")
                                  .arg(m_environment.sourceList)
                           << update.describe();
                fail(UpgradableItem, Reason::RepositoryUnreadable, aptComplaint(update));
                return;
            }
            countUpgradable();
        });
}

void OfflineCheck::countUpgradable()
{
    AsyncCommand::start(this, m_environment.apt,
        PrivateAptSource::arguments(
            m_environment, { QStringLiteral("list"), QStringLiteral("--upgradable") }),
        CommandOutput::WaitMs, [this](const AsyncCommand::Result &list) {
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
            m_run->record().upgradeSum = count;
            if (count == 0) {
                fail(UpgradableItem, Reason::NothingToUpgrade);
                return;
            }
            planUpgrade();
        });
}

void OfflineCheck::planUpgrade()
{
    UpgradePlanner::plan(this, m_environment,
        m_run->directory().path(RunContext::RepositoryMount),
        [this](const UpgradePlanner::Outcome &outcome) {
            m_run->record().plan = outcome.plan;
            if (!outcome.refusalKey.isEmpty()) {
                fail(UpgradableItem, outcome.refusalKey, outcome.refusalDetail);
                return;
            }
            qInfo() << "void OfflineCheck::planUpgrade()" << "planned:"
                    << outcome.plan.upgraded.size() << "upgraded,"
                    << outcome.plan.installed.size() << "installed,"
                    << outcome.plan.removed.size() << "removed,"
                    << outcome.plan.interrupted.size() << "to finish first,"
                    << outcome.plan.replacedConfigFiles.size() << "changed configuration files replaced";
            finishRun(UpgradableItem, true);
        });
}

void OfflineCheck::logStandardError(const char *function, const QByteArray &text)
{
    const QStringList lines
        = QString::fromLocal8Bit(text).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &line : lines)
        qWarning() << function << "apt:" << line.left(4096);
}

QString OfflineCheck::packageManagerHolder() const
{
    return DpkgLock::holder(m_environment.dpkgAdminDirectory);
}

void OfflineCheck::startSystemUpgrade(CheckRun *run, int fromStage)
{
    const QString holder = packageManagerHolder();
    if (!holder.isEmpty()) {
        qWarning() << Q_FUNC_INFO << "another package manager is running:" << holder;
        emit sendExecDistUpgradeInfo(QStringLiteral(
            "Another package manager is running: nothing was installed. Try again when it has "
            "finished."));
        if (run) {
            run->record().upgradeReasonKey = UpgradeReason::PackageManagerRunning;
            run->record().upgradeReasonDetail = holder;
        }
        emit upgradeFinished(false);
        return;
    }
    // Only the run whose check the private source list points at can be upgraded from.
    if (!run || run != m_latest || !run->record().passed) {
        qWarning() << Q_FUNC_INFO << "no passed check of this run prepared the source list";
        emit upgradeFinished(false);
        return;
    }
    m_upgrade->start(run, fromStage);
}

void OfflineCheck::confirmPlan(CheckRun *run, std::function<void(bool holds)> done)
{
    m_upgrade->confirmPlan(run, std::move(done));
}

void OfflineCheck::startHookPost(CheckRun *run)
{
    // A script's failure is logged and stops nothing: the upgrade is made already. The run ends
    // with its scripts.
    const uid_t uid = run->uid();
    if (run->journal().stage.isEmpty()) // a daemon that started after the upgrade
        run->journal().stage = UpgradeStage::PostHooks;
    HookSequence::run(
        this, m_environment, run->directory().path(RunContext::HooksMount),
        QByteArrayLiteral("posthook"), HookScript::NameOrder, &run->home(), false,
        [this, uid](bool, const HookSequence::Failure &failure) {
            const auto found = m_runs.find(uid);
            if (found != m_runs.end()) {
                m_records.endJournal(found->second.get(), QStringLiteral("succeeded"),
                    failure.refused ? UpgradeReason::PostHooksRefused : QString(),
                    failure.refused ? failure.lastLine : QString());
                if (m_latest == found->second.get())
                    m_latest = nullptr;
                if (m_newest == found->second.get())
                    m_newest = nullptr;
                m_runs.erase(found);
            }
            // A failing script has been logged and stops nothing; a refusal to run one does.
            emit hookPostFinished(failure.refused ? failure.lastLine : QString());
        },
        run->journal().postHooksDone,
        [this, uid](const QString &script) {
            // An upgrade finished at boot runs only the scripts that had not ended.
            const auto found = m_runs.find(uid);
            if (found != m_runs.end())
                m_records.postHookEnded(found->second.get(), script);
        });
}
