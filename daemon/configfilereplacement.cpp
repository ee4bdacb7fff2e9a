#include "configfilereplacement.h"

#include "checkenvironment.h"
#include "filedescriptor.h"

#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

constexpr int WaitMs = 30000;

QString md5Of(QIODevice *device)
{
    QCryptographicHash hash(QCryptographicHash::Md5);
    return hash.addData(device) ? QString::fromLatin1(hash.result().toHex()) : QString();
}

// The MD5 of |path| as the archive holds it, or empty when it does not hold it.
QString shippedIn(const CheckEnvironment &environment, const QString &archive, const QString &path)
{
    QProcess unpack;
    QProcess extract;
    unpack.setStandardOutputProcess(&extract);
    unpack.setStandardInputFile(QProcess::nullDevice());
    unpack.start(environment.dpkgDeb, { QStringLiteral("--fsys-tarfile"), archive });
    // Members are named "./etc/..." in the archives dpkg-deb builds.
    extract.start(environment.tar,
        { QStringLiteral("--extract"), QStringLiteral("--to-stdout"), QStringLiteral("--file=-"),
            QStringLiteral("--no-wildcards"), QLatin1Char('.') + path });
    extract.closeWriteChannel();
    const bool finished = unpack.waitForFinished(WaitMs) && extract.waitForFinished(WaitMs);
    if (!finished || extract.exitStatus() != QProcess::NormalExit || extract.exitCode() != 0) {
        unpack.kill();
        extract.kill();
        unpack.waitForFinished();
        extract.waitForFinished();
        return QString();
    }
    return QString::fromLatin1(
        QCryptographicHash::hash(extract.readAllStandardOutput(), QCryptographicHash::Md5)
            .toHex());
}

} // namespace

bool ConfigFileReplacement::locallyChanged(const QString &path, const QString &shippedMd5)
{
    const FileDescriptor fd(::open(QFile::encodeName(path).constData(),
        O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    struct stat status = {};
    if (!fd.isValid() || fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode))
        return false;
    QFile file;
    if (!file.open(fd.get(), QIODevice::ReadOnly))
        return false;
    const QString digest = md5Of(&file);
    return !digest.isEmpty() && digest != shippedMd5;
}

QList<OfflineUpdate::ReplacedConfigFile> ConfigFileReplacement::replaced(
    const CheckEnvironment &environment, const QList<Candidate> &candidates)
{
    QList<OfflineUpdate::ReplacedConfigFile> replaced;
    for (const Candidate &candidate : candidates) {
        if (!locallyChanged(candidate.path, candidate.shippedMd5))
            continue;
        const QString shipped = shippedIn(environment, candidate.newArchive, candidate.path);
        if (!shipped.isEmpty() && shipped != candidate.shippedMd5)
            replaced << OfflineUpdate::ReplacedConfigFile { candidate.package, candidate.path };
    }
    return replaced;
}
