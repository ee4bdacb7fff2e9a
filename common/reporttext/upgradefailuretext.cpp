#include "upgradefailuretext.h"

#include "offlineupdateprotocol.h"
#include "reasonphrasebook.h"

namespace {

using namespace OfflineUpdate;

const char Context[] = "UpgradeFailureText";

const ReasonPhrasebook::Phrase Phrases[] = {
    { UpgradeReason::PlanChanged,
        QT_TRANSLATE_NOOP("UpgradeFailureText",
            "The system has changed since the package was checked, so the upgrade would no "
            "longer do what the check foresaw. Nothing was installed. Check the package again."),
        nullptr, false },
    // The user's first thought after a failed upgrade is that the package is bad; here it is
    // not, and a new package would fail the same way.
    { UpgradeReason::RepairFailed,
        QT_TRANSLATE_NOOP("UpgradeFailureText",
            "Installations that an earlier run of the package manager left unfinished could not "
            "be completed, so the upgrade did not start. The offline update package is not at "
            "fault: ask your administrator to repair the package system."),
        QT_TRANSLATE_NOOP("UpgradeFailureText",
            "Installations that an earlier run of the package manager left unfinished could not "
            "be completed: %1. The upgrade did not start. The offline update package is not at "
            "fault: ask your administrator to repair these packages."),
        true },
    { UpgradeReason::PlanNotMet,
        QT_TRANSLATE_NOOP("UpgradeFailureText",
            "The upgrade ran, but some packages did not reach the versions the check foresaw. "
            "Have the system checked before you restart it."),
        QT_TRANSLATE_NOOP("UpgradeFailureText",
            "The upgrade ran, but these packages did not reach the versions the check foresaw: "
            "%1. Have the system checked before you restart it."),
        true },
    { UpgradeReason::UpgradeFailed,
        QT_TRANSLATE_NOOP("UpgradeFailureText",
            "The upgrade failed because of a problem in the package's software. Restore the "
            "system as the recovery guide shows, or ask your administrator."),
        QT_TRANSLATE_NOOP("UpgradeFailureText", "The package manager said: %1"), false },
    { UpgradeReason::AptKilled,
        QT_TRANSLATE_NOOP("UpgradeFailureText",
            "The package manager was stopped before the upgrade had finished. The system may be "
            "partly upgraded: have it checked before you restart it."),
        QT_TRANSLATE_NOOP("UpgradeFailureText", "How it ended: %1"), false },
    { UpgradeReason::ScriptFailed,
        QT_TRANSLATE_NOOP("UpgradeFailureText",
            "The setup script of a package failed during the upgrade. The system may be partly "
            "upgraded: have it checked before you restart it."),
        QT_TRANSLATE_NOOP("UpgradeFailureText",
            "The setup script of the package %1 failed during the upgrade. The system may be "
            "partly upgraded: have it checked before you restart it."),
        true },
    { UpgradeReason::PackageManagerRunning,
        QT_TRANSLATE_NOOP("UpgradeFailureText",
            "Another package manager was running, so the upgrade did not start and nothing was "
            "changed. Try again when it has finished."),
        QT_TRANSLATE_NOOP("UpgradeFailureText", "Held by: %1"), false },
    { UpgradeReason::BackupFailed,
        QT_TRANSLATE_NOOP(
            "UpgradeFailureText", "The system could not be backed up, so nothing was upgraded."),
        QT_TRANSLATE_NOOP("UpgradeFailureText", "The recovery service said: %1"), false },
    { UpgradeReason::PostHooksRefused,
        QT_TRANSLATE_NOOP("UpgradeFailureText",
            "The package's scripts that run after the upgrade could not run."),
        QT_TRANSLATE_NOOP("UpgradeFailureText", "Why: %1"), false },
    { UpgradeReason::ResumeFailed,
        QT_TRANSLATE_NOOP("UpgradeFailureText",
            "The system may be partly upgraded: ask your administrator to have it checked."),
        QT_TRANSLATE_NOOP("UpgradeFailureText", "What went wrong: %1"), false },
    { UpgradeReason::ResumeGivenUp,
        QT_TRANSLATE_NOOP("UpgradeFailureText",
            "Finishing the interrupted upgrade failed each time the system started, so it is no "
            "longer tried. The system may be partly upgraded: ask your administrator to have it "
            "checked."),
        QT_TRANSLATE_NOOP("UpgradeFailureText", "What went wrong: %1"), false },
};

const ReasonPhrasebook Book(Context, Phrases, int(std::size(Phrases)),
    QT_TRANSLATE_NOOP("UpgradeFailureText",
        "The upgrade failed. Ask your administrator to look at the system before you restart "
        "it."));

} // namespace

UserMessage UpgradeFailureText::forReason(const QString &key, const QString &detail)
{
    return Book.message(key, detail);
}
