#include "reasontext.h"

#include "offlineupdateprotocol.h"

#include <QStringList>

namespace {

// "needed/free" in GiB, as the space reasons carry it.
QString spaceSentence(const QString &what, const QString &detail)
{
    const QStringList parts = detail.split(QLatin1Char('/'));
    if (parts.size() != 2)
        return QStringLiteral("There is not enough free space %1.").arg(what);
    return QStringLiteral("There is not enough free space %1: %2 GiB needed, %3 GiB free.")
        .arg(what, parts.at(0).trimmed(), parts.at(1).trimmed());
}

QString withDetail(const QString &sentence, const QString &detail)
{
    return detail.isEmpty() ? sentence + QLatin1Char('.')
                            : sentence + QStringLiteral(": ") + detail;
}

} // namespace

QString ReasonText::sentence(const QString &key, const QString &detail)
{
    using namespace OfflineUpdate;
    if (key == Reason::FileMissing)
        return withDetail(QStringLiteral("The package file does not exist"), detail);
    if (key == Reason::NotRegularFile)
        return withDetail(QStringLiteral("The package path does not name a regular file"), detail);
    if (key == Reason::NotReadable)
        return withDetail(QStringLiteral("You cannot read the package file"), detail);
    if (key == Reason::NoSpace)
        return spaceSentence(QStringLiteral("for the package"), detail);
    if (key == Reason::NotPackage)
        return withDetail(QStringLiteral("The file is not an offline update package"), detail);
    if (key == Reason::BadSignature)
        return withDetail(QStringLiteral("The package's signature is not valid"), detail);
    if (key == Reason::SignatureRequired)
        return withDetail(
            QStringLiteral("This system accepts signed packages only, and this one is unsigned"),
            detail);
    if (key == Reason::CacheBusy)
        return withDetail(
            QStringLiteral("The daemon's working place for your package is in use"), detail);
    if (key == Reason::HookRefused)
        return withDetail(QStringLiteral("A pre-upgrade script of the package refused"), detail);
    if (key == Reason::WrongArchitecture) {
        const QStringList parts = detail.split(QLatin1Char('/'));
        if (parts.size() == 2)
            return QStringLiteral("The package is built for %1, this machine is %2.")
                .arg(parts.at(0), parts.at(1));
        return withDetail(QStringLiteral("The package is built for another architecture"), detail);
    }
    if (key == Reason::NoBackupSpace)
        return spaceSentence(QStringLiteral("for the system backup"), detail);
    if (key == Reason::RepositoryUnreadable)
        return withDetail(QStringLiteral("The package's repository cannot be read"), detail);
    if (key == Reason::NothingToUpgrade)
        return withDetail(
            QStringLiteral("The package holds nothing newer than what is installed"), detail);
    if (key == Reason::NotAuthorized)
        return withDetail(QStringLiteral("You are not authorized to check packages"), detail);
    if (key == Reason::PackageChanging)
        return withDetail(QStringLiteral("The package file was written to while it was checked; "
                                         "check it again once it is complete"),
            detail);
    if (key == Reason::PackageUnguarded)
        return withDetail(QStringLiteral("This system accepts signed packages only from a local "
                                         "disk; copy the package there and check it again"),
            detail);
    if (key == Reason::PackageManagerRunning)
        return withDetail(QStringLiteral("Another package manager is running; check the package "
                                         "again when it has finished"),
            detail);
    if (key == Reason::PackageStalled)
        return withDetail(QStringLiteral("The package file could not be read: its storage does "
                                         "not answer; copy the package to a local disk"),
            detail);
    return withDetail(QStringLiteral("The check failed (%1)").arg(key), detail);
}
