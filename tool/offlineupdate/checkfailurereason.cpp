#include "checkfailurereason.h"

#include "offlineupdateprotocol.h"

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
        QT_TRANSLATE_NOOP("CheckFailureReason", "The package file does not exist."), nullptr },
    { OfflineUpdate::Reason::NotRegularFile,
        QT_TRANSLATE_NOOP("CheckFailureReason", "The package path does not name a regular file."),
        nullptr },
    { OfflineUpdate::Reason::NotReadable,
        QT_TRANSLATE_NOOP("CheckFailureReason", "The package file cannot be read."), nullptr },
    { OfflineUpdate::Reason::NoSpace,
        QT_TRANSLATE_NOOP(
            "CheckFailureReason", "There is not enough free disk space to unpack the package."),
        QT_TRANSLATE_NOOP("CheckFailureReason", "Needed/free: %1") },
    { OfflineUpdate::Reason::NotPackage,
        QT_TRANSLATE_NOOP(
            "CheckFailureReason", "The file is not an offline update package, or it is damaged."),
        nullptr },
    { OfflineUpdate::Reason::BadSignature,
        QT_TRANSLATE_NOOP("CheckFailureReason",
            "The package's signature is not valid: it may have been altered."),
        nullptr },
    { OfflineUpdate::Reason::SignatureRequired,
        QT_TRANSLATE_NOOP("CheckFailureReason",
            "This system accepts only signed packages, and this package is not signed."),
        nullptr },
    { OfflineUpdate::Reason::CacheBusy,
        QT_TRANSLATE_NOOP("CheckFailureReason",
            "Another check or upgrade is using the package cache; try again when it has "
            "finished."),
        nullptr },
    { OfflineUpdate::Reason::HookRefused,
        QT_TRANSLATE_NOOP("CheckFailureReason",
            "A pre-upgrade script of the package found this system unfit for the upgrade."),
        QT_TRANSLATE_NOOP("CheckFailureReason", "Script and its last message: %1") },
    { OfflineUpdate::Reason::WrongArchitecture,
        QT_TRANSLATE_NOOP(
            "CheckFailureReason", "The package is built for another processor architecture."),
        QT_TRANSLATE_NOOP("CheckFailureReason", "Package/this machine: %1") },
    { OfflineUpdate::Reason::NoBackupSpace,
        QT_TRANSLATE_NOOP(
            "CheckFailureReason", "There is not enough free disk space for the system backup."),
        QT_TRANSLATE_NOOP("CheckFailureReason", "Needed/free: %1") },
    { OfflineUpdate::Reason::RepositoryUnreadable,
        QT_TRANSLATE_NOOP(
            "CheckFailureReason", "The software repository inside the package cannot be read."),
        QT_TRANSLATE_NOOP("CheckFailureReason", "The package manager said: %1") },
    { OfflineUpdate::Reason::NothingToUpgrade,
        QT_TRANSLATE_NOOP("CheckFailureReason",
            "The package holds no newer software than this system already has."),
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
};

QString translated(const char *text)
{
    return QCoreApplication::translate(Context, text);
}

} // namespace

QString checkFailureText(const QString &key, const QString &detail)
{
    if (key.isEmpty())
        return QString();
    QString sentence;
    const char *detailText = nullptr;
    for (const ReasonText &reason : Reasons) {
        if (reason.key == key) {
            sentence = translated(reason.sentence);
            detailText = reason.detail;
            break;
        }
    }
    // A newer daemon may know reasons this tool does not: say so rather than show nothing.
    if (sentence.isEmpty())
        sentence = translated(QT_TRANSLATE_NOOP("CheckFailureReason", "The check failed (%1)."))
                       .arg(key);
    if (detail.isEmpty())
        return sentence;
    return sentence + QLatin1Char('\n')
        + (detailText ? translated(detailText).arg(detail) : detail);
}
