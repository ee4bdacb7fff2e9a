#include "resumerun.h"

#include "asynccommand.h"
#include "calleridentity.h"
#include "checkrun.h"
#include "dpkglock.h"
#include "hooksequence.h"
#include "imagemount.h"
#include "offlineupdateprotocol.h"
#include "packagesignature.h"
#include "plannedupgrade.h"
#include "privateaptsource.h"
#include "runhistory.h"
#include "safetree.h"
#include "shutdowninhibitor.h"

#include <QDateTime>
#include <QDebug>
#include <QTimer>
#include <fcntl.h>
#include <unistd.h>

namespace UpgradeStage = OfflineUpdate::UpgradeStage;

namespace {

constexpr int LockPollMs = 1000;
constexpr int LockWaits = 600; // ten minutes for another package manager to finish
constexpr int UpdateWaitMs = 120000;

} // namespace

ResumeRun::ResumeRun(
    const CheckEnvironment &environment, ShutdownInhibitor *inhibitor, QObject *parent)
    : QObject(parent)
    , m_environment(environment)
    , m_inhibitor(inhibitor)
{ }

ResumeRun::~ResumeRun() = default;

void ResumeRun::start()
{
    if (!RunJournal::load(m_environment, &m_journal)) {
        qInfo() << "ResumeRun: no upgrade to finish";
        QTimer::singleShot(0, this, [this] { emit finished(true); });
        return;
    }
    if (m_journal.attempts >= MaxAttempts) {
        qWarning() << "ResumeRun: the upgrade of" << m_journal.packageName << "failed"
                   << m_journal.attempts << "times at boot; the system is left as it is";
        QTimer::singleShot(0, this, [this] {
            m_journal.attempts = MaxAttempts;
            end(false, OfflineUpdate::UpgradeReason::ResumeGivenUp,
                QStringLiteral("%1 attempts at boot failed").arg(MaxAttempts));
        });
        return;
    }
    // Counted before anything is tried: a boot that dies in the attempt has made it.
    ++m_journal.attempts;
    QString error;
    if (!RunJournal::update(m_environment, m_journal, &error))
        qWarning() << "ResumeRun: cannot count the attempt:" << error;
    qWarning() << "ResumeRun: finishing the upgrade of" << m_journal.packageName
               << "cut short at the stage" << m_journal.stage << ", attempt" << m_journal.attempts;
    if (m_journal.stage == UpgradeStage::Done) {
        // Ended but for removing the record: nothing of the system is left to do.
        QTimer::singleShot(0, this, [this] { end(true, QString(), QString()); });
        return;
    }
    if (m_inhibitor)
        m_inhibitor->take();
    waitForPackageManager();
}

void ResumeRun::waitForPackageManager()
{
    const QString holder = DpkgLock::holder(m_environment.dpkgAdminDirectory);
    if (holder.isEmpty()) {
        mountCopy();
        return;
    }
    if (++m_lockWaits > LockWaits) {
        end(false, OfflineUpdate::UpgradeReason::PackageManagerRunning, holder);
        return;
    }
    if (m_lockWaits == 1)
        qWarning() << "ResumeRun: waiting for another package manager:" << holder;
    QTimer::singleShot(LockPollMs, this, &ResumeRun::waitForPackageManager);
}

void ResumeRun::mountCopy()
{
    CallerIdentity caller;
    QString error;
    if (m_journal.uid != 0 && !CallerIdentity::lookUp(m_journal.uid, &caller, &error))
        caller = CallerIdentity::root(); // the scripts will not find the home then
    else if (m_journal.uid == 0)
        caller = CallerIdentity::root();
    m_run = std::make_unique<CheckRun>(caller, QString());
    m_run->record().plan = m_journal.plan;
    m_run->record().passed = true;
    FileDescriptor copy = RunJournal::openCopy(m_environment);
    if (!copy.isValid()) {
        end(false, OfflineUpdate::UpgradeReason::ResumeFailed, QStringLiteral("the kept copy of the package is gone"));
        return;
    }
    m_run->setCopy(std::move(copy));
    if (m_run->directory().prepare(m_environment, caller.uid, &error) != RunContext::NoFailure) {
        end(false, OfflineUpdate::UpgradeReason::ResumeFailed, error);
        return;
    }
    ImageMount::mount(this, m_environment, m_run->copyFd(), m_run->directory(),
        RunContext::PackageMount, [this](bool mounted, const QString &why) {
            if (!mounted) {
                end(false, OfflineUpdate::UpgradeReason::ResumeFailed, why);
                return;
            }
            m_run->packageRoot()
                = SafeTree::openDirectory(m_run->directory().runFd(), RunContext::PackageMount);
            // The copy is root's alone, but what runs as root is what a trusted key vouches
            // for, now as at the check.
            const PackageSignature signature
                = PackageSignature::verify(m_environment, m_run->packageRoot().get());
            if (signature.state == PackageSignature::Rejected) {
                end(false, OfflineUpdate::Reason::BadSignature, signature.reason);
                return;
            }
            m_run->setSignedBy(signature.keyring);
            mountInner("hooks.sfs", RunContext::HooksMount,
                [this] { mountInner("repo.sfs", RunContext::RepositoryMount, [this] { pointSources(); }); });
        });
}

void ResumeRun::mountInner(
    const QByteArray &image, const QByteArray &mountPoint, std::function<void()> next)
{
    auto held = std::make_shared<FileDescriptor>(openat(m_run->packageRoot().get(),
        image.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    if (!held->isValid()) {
        next(); // a package without hooks
        return;
    }
    ImageMount::mount(this, m_environment, held->get(), m_run->directory(), mountPoint,
        [this, held, image, next](bool mounted, const QString &why) {
            if (!mounted) {
                end(false, OfflineUpdate::UpgradeReason::ResumeFailed,
                    QString::fromLatin1(image) + QStringLiteral(": ") + why);
                return;
            }
            next();
        });
}

void ResumeRun::pointSources()
{
    const QString line = PrivateAptSource::lineFor(
        m_run->directory().path(RunContext::RepositoryMount), m_run->signedBy());
    QString error;
    if (line.isEmpty() || !PrivateAptSource::write(m_environment, line, &error)
        || !PrivateAptSource::clearLists(m_environment, &error)) {
        end(false, OfflineUpdate::UpgradeReason::ResumeFailed, error);
        return;
    }
    AsyncCommand::start(this, m_environment.apt,
        PrivateAptSource::arguments(m_environment, { QStringLiteral("update") }), UpdateWaitMs,
        [this](const AsyncCommand::Result &update) {
            if (!update.succeeded()) {
                end(false, OfflineUpdate::UpgradeReason::ResumeFailed, update.describe());
                return;
            }
            if (m_journal.stage == UpgradeStage::PostHooks) {
                runPostHooks();
                return;
            }
            upgrade();
        });
}

void ResumeRun::upgrade()
{
    m_upgrade = new PlannedUpgrade(m_environment, this);
    connect(m_upgrade, &PlannedUpgrade::stage, this, [this](const QString &stage) {
        if (stage == m_journal.stage)
            return;
        m_journal.enter(stage, QDateTime::currentSecsSinceEpoch());
        QString error;
        RunJournal::update(m_environment, m_journal, &error);
    });
    connect(m_upgrade, &PlannedUpgrade::finished, this, [this](bool success) {
        if (!success) {
            end(false, m_run->record().upgradeReasonKey, m_run->record().upgradeReasonDetail);
            return;
        }
        m_journal.enter(UpgradeStage::PostHooks, QDateTime::currentSecsSinceEpoch());
        QString error;
        RunJournal::update(m_environment, m_journal, &error);
        runPostHooks();
    });
    m_upgrade->resume(m_run.get());
}

void ResumeRun::runPostHooks()
{
    QString error;
    if (!m_run->home().open(m_run->caller(), m_journal.home, &error)) {
        // The upgrade is made; only its scripts cannot run without their user's home.
        end(true, OfflineUpdate::UpgradeReason::PostHooksRefused, error);
        return;
    }
    HookSequence::run(
        this, m_environment, m_run->directory().path(RunContext::HooksMount),
        QByteArrayLiteral("posthook"), HookScript::NameOrder, &m_run->home(), false,
        [this](bool, const HookSequence::Failure &failure) {
            end(true, failure.refused ? OfflineUpdate::UpgradeReason::PostHooksRefused : QString(),
                failure.refused ? failure.lastLine : QString());
        },
        m_journal.postHooksDone,
        [this](const QString &script) {
            m_journal.postHooksDone << script;
            QString notKept;
            RunJournal::update(m_environment, m_journal, &notKept);
        });
}

void ResumeRun::end(bool success, const QString &key, const QString &detail)
{
    // A failed attempt is left for the next boot, unless it was the last one.
    const bool finalAttempt = success || m_journal.attempts >= MaxAttempts
        || key == OfflineUpdate::UpgradeReason::ResumeGivenUp;
    if (!finalAttempt) {
        qWarning() << "ResumeRun: attempt" << m_journal.attempts << "failed:" << key
                   << detail.left(4096) << "; the next boot tries again";
    } else {
        const bool recorded = RunHistory::contains(m_environment, m_journal.id);
        m_journal.enter(UpgradeStage::Done, QDateTime::currentSecsSinceEpoch());
        QString error;
        RunJournal::update(m_environment, m_journal, &error);
        // A run that was done but for removing its record is in the history already.
        if (!recorded
            && !RunHistory::append(m_environment,
                RunJournal::historyEntry(m_journal, success ? QStringLiteral("succeeded")
                                                            : QStringLiteral("failed"),
                    key, detail, true),
                &error))
            qWarning() << "ResumeRun: cannot add to the history:" << error;
        RunJournal::end(m_environment);
        if (success)
            qInfo() << "ResumeRun: the upgrade of" << m_journal.packageName << "was finished";
        else
            qWarning() << "ResumeRun: the upgrade of" << m_journal.packageName
                       << "failed for good:" << key << detail.left(4096);
    }
    if (m_run) {
        m_run->packageRoot().reset();
        m_run->directory().unmountAll();
    }
    if (m_inhibitor)
        m_inhibitor->release();
    emit finished(success);
}
