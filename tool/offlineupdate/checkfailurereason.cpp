#include "checkfailurereason.h"

#include "offlineupdateprotocol.h"
#include "usermessage.h"

#include <QCoreApplication>
#include <QString>

namespace {

struct ReasonText
{
    const QString &key;
    const char *sentence;
    // Says what the detail is, with %1 for it; the detail alone when null.
    const char *detail;
};

const char Context[] = "CheckFailureReason";

const ReasonText Reasons[] = {
    { OfflineUpdate::Reason::FileMissing,
        QT_TRANSLATE_NOOP("CheckFailureReason", "The package file does not exist. Choose the package again."), nullptr },
    { OfflineUpdate::Reason::NotRegularFile,
        QT_TRANSLATE_NOOP("CheckFailureReason", "The chosen item is not a file. Choose an offline update package (.oup)."),
        nullptr },
    { OfflineUpdate::Reason::NotReadable,
        QT_TRANSLATE_NOOP("CheckFailureReason", "You are not allowed to read the package file. Copy it to your home folder and choose the copy."), nullptr },
    { OfflineUpdate::Reason::NoSpace,
        QT_TRANSLATE_NOOP(
            "CheckFailureReason", "There is not enough free disk space to unpack the package. Free some space and try again."),
        QT_TRANSLATE_NOOP("CheckFailureReason", "Needed/free: %1") },
    { OfflineUpdate::Reason::NotPackage,
        QT_TRANSLATE_NOOP(
            "CheckFailureReason", "The file is not an offline update package, or it is damaged. Choose another package."),
        nullptr },
    { OfflineUpdate::Reason::BadSignature,
        QT_TRANSLATE_NOOP("CheckFailureReason",
            "The package's signature is not valid: it may have been altered. Do not install it; get the package again from its source."),
        nullptr },
    { OfflineUpdate::Reason::SignatureRequired,
        QT_TRANSLATE_NOOP("CheckFailureReason",
            "This system accepts only signed packages, and this package is not signed. Ask your administrator for a signed package."),
        nullptr },
    { OfflineUpdate::Reason::CacheBusy,
        QT_TRANSLATE_NOOP("CheckFailureReason",
            "Another check or upgrade is using the package cache; try again when it has "
            "finished."),
        nullptr },
    { OfflineUpdate::Reason::HookRefused,
        QT_TRANSLATE_NOOP("CheckFailureReason",
            "The package found this system unfit for the upgrade. Ask your administrator."),
        QT_TRANSLATE_NOOP("CheckFailureReason", "Script and its last message: %1") },
    { OfflineUpdate::Reason::WrongArchitecture,
        QT_TRANSLATE_NOOP(
            "CheckFailureReason", "The package is made for another kind of processor. Choose a package made for this computer."),
        QT_TRANSLATE_NOOP("CheckFailureReason", "Package/this machine: %1") },
    { OfflineUpdate::Reason::NoBackupSpace,
        QT_TRANSLATE_NOOP(
            "CheckFailureReason", "There is not enough free disk space for the system backup. Free some space and try again."),
        QT_TRANSLATE_NOOP("CheckFailureReason", "Needed/free: %1") },
    { OfflineUpdate::Reason::RepositoryUnreadable,
        QT_TRANSLATE_NOOP(
            "CheckFailureReason", "The software inside the package cannot be read; the package may be damaged. Get the package again."),
        QT_TRANSLATE_NOOP("CheckFailureReason", "The package manager said: %1") },
    { OfflineUpdate::Reason::NothingToUpgrade,
        QT_TRANSLATE_NOOP("CheckFailureReason",
            "This system already has all the software the package holds. There is nothing to upgrade."),
        nullptr },
    { OfflineUpdate::Reason::NotAuthorized,
        QT_TRANSLATE_NOOP("CheckFailureReason",
            "Checking update packages needs an administrator's authorization, which was not "
            "given."),
        nullptr },
    { OfflineUpdate::Reason::PackageChanging,
        QT_TRANSLATE_NOOP("CheckFailureReason",
            "The package file was written to while it was checked. Check it again once it is "
            "complete."),
        nullptr },
    { OfflineUpdate::Reason::PackageUnguarded,
        QT_TRANSLATE_NOOP("CheckFailureReason",
            "This system accepts signed packages only from a local disk. Copy the package to "
            "your home folder and check it there."),
        nullptr },
    { OfflineUpdate::Reason::PackageManagerRunning,
        QT_TRANSLATE_NOOP("CheckFailureReason",
            "Another package manager is running. Try again when it has finished."),
        QT_TRANSLATE_NOOP("CheckFailureReason", "Held by: %1") },
    { OfflineUpdate::Reason::PackageStalled,
        QT_TRANSLATE_NOOP("CheckFailureReason",
            "The storage the package file is on does not answer. Copy the package to a local "
            "disk and choose the copy."),
        nullptr },
};

QString translated(const char *text)
{
    return QCoreApplication::translate(Context, text);
}

} // namespace

UserMessage checkFailureText(const QString &key, const QString &detail)
{
    if (key.isEmpty())
        return {};
    UserMessage message;
    const char *detailText = nullptr;
    for (const ReasonText &reason : Reasons) {
        if (reason.key == key) {
            message.sentence = translated(reason.sentence);
            detailText = reason.detail;
            break;
        }
    }
    // A newer daemon may know reasons this tool does not: say so rather than show nothing.
    if (message.sentence.isEmpty()) {
        message.sentence = translated(QT_TRANSLATE_NOOP(
            "CheckFailureReason", "The package check failed. Choose another package."));
        message.details = key;
    }
    if (!detail.isEmpty()) {
        const QString shown = detailText ? translated(detailText).arg(detail) : detail;
        message.details = message.details.isEmpty() ? shown : message.details + '\n' + shown;
    }
    return message;
}
