#include "checkfailuretext.h"

#include "offlineupdateprotocol.h"
#include "reasonphrasebook.h"

namespace {

using namespace OfflineUpdate;

const char Context[] = "CheckFailureText";

const ReasonPhrasebook::Phrase Phrases[] = {
    { Reason::FileMissing,
        QT_TRANSLATE_NOOP(
            "CheckFailureText", "The package file does not exist. Choose the package again."),
        nullptr, false },
    { Reason::NotRegularFile,
        QT_TRANSLATE_NOOP("CheckFailureText",
            "The chosen item is not a file. Choose an offline update package (.oup)."),
        nullptr, false },
    { Reason::NotReadable,
        QT_TRANSLATE_NOOP("CheckFailureText",
            "You are not allowed to read the package file. Copy it to your home folder and "
            "choose the copy."),
        nullptr, false },
    { Reason::NoSpace,
        QT_TRANSLATE_NOOP("CheckFailureText",
            "There is not enough free disk space to unpack the package. Free some space and try "
            "again."),
        QT_TRANSLATE_NOOP("CheckFailureText", "Needed/free: %1"), false },
    { Reason::NotPackage,
        QT_TRANSLATE_NOOP("CheckFailureText",
            "The file is not an offline update package, or it is damaged. Choose another "
            "package."),
        nullptr, false },
    { Reason::BadSignature,
        QT_TRANSLATE_NOOP("CheckFailureText",
            "The package's signature is not valid: it may have been altered. Do not install it; "
            "get the package again from its source."),
        nullptr, false },
    { Reason::SignatureRequired,
        QT_TRANSLATE_NOOP("CheckFailureText",
            "This system accepts only signed packages, and this package is not signed. Ask your "
            "administrator for a signed package."),
        nullptr, false },
    // The daemon's working place for the caller's package lives in its own mount namespace,
    // not in the user's home: the sentence names no place.
    { Reason::CacheBusy,
        QT_TRANSLATE_NOOP("CheckFailureText",
            "Another check or upgrade of yours is still using the package. Try again when it "
            "has finished."),
        nullptr, false },
    { Reason::HookRefused,
        QT_TRANSLATE_NOOP("CheckFailureText",
            "The package found this system unfit for the upgrade. Ask your administrator."),
        QT_TRANSLATE_NOOP("CheckFailureText", "Script and its last message: %1"), false },
    { Reason::WrongArchitecture,
        QT_TRANSLATE_NOOP("CheckFailureText",
            "The package is made for another kind of processor. Choose a package made for this "
            "computer."),
        QT_TRANSLATE_NOOP("CheckFailureText", "Package/this machine: %1"), false },
    { Reason::NoBackupSpace,
        QT_TRANSLATE_NOOP("CheckFailureText",
            "There is not enough free disk space for the system backup. Free some space and try "
            "again."),
        QT_TRANSLATE_NOOP("CheckFailureText", "Needed/free: %1"), false },
    { Reason::RepositoryUnreadable,
        QT_TRANSLATE_NOOP("CheckFailureText",
            "The software inside the package cannot be read; the package may be damaged. Get "
            "the package again."),
        QT_TRANSLATE_NOOP("CheckFailureText", "The package manager said: %1"), false },
    { Reason::NothingToUpgrade,
        QT_TRANSLATE_NOOP("CheckFailureText",
            "This system already has all the software the package holds. There is nothing to "
            "upgrade."),
        nullptr, false },
    { Reason::NotAuthorized,
        QT_TRANSLATE_NOOP("CheckFailureText",
            "Checking update packages needs an administrator's authorization, which was not "
            "given."),
        nullptr, false },
    { Reason::PackageChanging,
        QT_TRANSLATE_NOOP("CheckFailureText",
            "The package file was written to while it was checked. Check it again once it is "
            "complete."),
        nullptr, false },
    { Reason::PackageUnguarded,
        QT_TRANSLATE_NOOP("CheckFailureText",
            "This system accepts signed packages only from a local disk. Copy the package to "
            "your home folder and check it there."),
        nullptr, false },
    { Reason::PackageManagerRunning,
        QT_TRANSLATE_NOOP("CheckFailureText",
            "Another package manager is running. Try again when it has finished."),
        QT_TRANSLATE_NOOP("CheckFailureText", "Held by: %1"), false },
    { Reason::PackageStalled,
        QT_TRANSLATE_NOOP("CheckFailureText",
            "The storage the package file is on does not answer. Copy the package to a local "
            "disk and choose the copy."),
        nullptr, false },
    { Reason::PlanUnsolvable,
        QT_TRANSLATE_NOOP("CheckFailureText",
            "The package's software cannot be installed on this system as it is: the package "
            "manager finds no way to upgrade to it. Ask your administrator."),
        QT_TRANSLATE_NOOP("CheckFailureText", "The package manager said: %1"), false },
    { Reason::PlanRemovesEssential,
        QT_TRANSLATE_NOOP("CheckFailureText",
            "The upgrade would remove software this system cannot run without. Do not install "
            "this package; ask your administrator."),
        QT_TRANSLATE_NOOP("CheckFailureText", "It would remove: %1"), false },
    { Reason::PlanKeepsBack,
        QT_TRANSLATE_NOOP("CheckFailureText",
            "The upgrade would leave some of the package's software at the installed version, "
            "so the system would be only partly upgraded. Ask your administrator."),
        QT_TRANSLATE_NOOP("CheckFailureText", "Left at the installed version: %1"), false },
    { Reason::NoUpgradeSpace,
        QT_TRANSLATE_NOOP("CheckFailureText",
            "There is not enough free disk space for the upgrade. Free some space and try "
            "again."),
        QT_TRANSLATE_NOOP("CheckFailureText", "Where, needed/free: %1"), false },
};

const ReasonPhrasebook Book(Context, Phrases, int(std::size(Phrases)),
    QT_TRANSLATE_NOOP("CheckFailureText", "The package check failed. Choose another package."));

} // namespace

UserMessage CheckFailureText::forReason(const QString &key, const QString &detail)
{
    return Book.message(key, detail);
}

QString CheckFailureText::forItem(int item)
{
    switch (item) {
    case PackageFileItem:
        return tr("Insufficient disk space, please clean up disk space and try again!");
    case PackageLayoutItem:
        return tr("File corrupted, please check and try again!");
    default:
        return tr("System environment is abnormal, contact the administrator!");
    }
}
