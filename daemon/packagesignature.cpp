#include "packagesignature.h"

#include "checkenvironment.h"
#include "commandoutput.h"
#include "filedescriptor.h"
#include "sha256.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QVector>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray SumsName = QByteArrayLiteral("SHA256SUMS");
const QByteArray SignatureName = QByteArrayLiteral("SHA256SUMS.sig");
const QByteArray KeyringName = QByteArrayLiteral("trusted.gpg");

// Bounds for what is read whole into memory: a package lists a handful of files and carries
// one signature; a trusted key with all its signatures stays far below a megabyte.
constexpr qint64 MaxSumsSize = 64 * 1024;
constexpr qint64 MaxSignatureSize = 64 * 1024;
constexpr qint64 MaxKeySize = 1024 * 1024;
constexpr qint64 MaxKeyringSize = 16 * 1024 * 1024;

// O_NONBLOCK keeps a FIFO from blocking the daemon in open(); O_NOFOLLOW refuses links.
constexpr int ReadFlags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW;

PackageSignature rejected(const QString &reason)
{
    PackageSignature signature;
    signature.state = PackageSignature::Rejected;
    signature.reason = reason;
    qWarning() << "PackageSignature::verify"
               << "package refused:" << reason;
    return signature;
}

QString errorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Opens |name| below |directoryFd| as a regular file. Returns an invalid descriptor with
// |error| set (ENOENT when there is no such entry).
FileDescriptor openRegular(int directoryFd, const QByteArray &name, struct stat *status, int *error)
{
    FileDescriptor fd(openat(directoryFd, name.constData(), ReadFlags));
    if (!fd.isValid()) {
        *error = errno;
        return fd;
    }
    if (fstat(fd.get(), status) < 0) {
        *error = errno;
        return {};
    }
    if (!S_ISREG(status->st_mode)) {
        *error = EINVAL;
        return {};
    }
    return fd;
}

bool readAll(int fd, qint64 maxSize, QByteArray *content)
{
    content->clear();
    char block[64 * 1024];
    for (;;) {
        const ssize_t got = read(fd, block, sizeof block);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 || content->size() + got > maxSize)
            return false;
        if (got == 0)
            return true;
        content->append(block, int(got));
    }
}

// Reads a small regular file of the package. |present| tells an absent entry from one that
// could not be read.
bool readPackageFile(int rootFd, const QByteArray &name, qint64 maxSize, QByteArray *content,
    bool *present, QString *error)
{
    struct stat status;
    int openError = 0;
    const FileDescriptor fd = openRegular(rootFd, name, &status, &openError);
    *present = openError != ENOENT;
    if (!fd.isValid()) {
        *error = openError == ELOOP || openError == EINVAL
            ? QStringLiteral("%1 is not a regular file").arg(QString::fromUtf8(name))
            : QStringLiteral("cannot open %1: %2")
                  .arg(QString::fromUtf8(name), errorText(openError));
        return false;
    }
    if (status.st_size > maxSize || !readAll(fd.get(), maxSize, content)) {
        *error = QStringLiteral("cannot read %1, or it is larger than %2 bytes")
                     .arg(QString::fromUtf8(name))
                     .arg(maxSize);
        return false;
    }
    return true;
}

// "<64 hex digits>  <name>" lines as sha256sum writes them ("*" before the name for binary
// mode). Names are plain entries of the package root; sha256sum's backslash escaping of odd
// names is refused along with them.
bool parseSums(const QByteArray &text, QMap<QByteArray, QByteArray> *sums, QString *error)
{
    static const QRegularExpression line(QStringLiteral("^([0-9A-Fa-f]{64}) [ *]([^/\\\\]+)$"));
    const QList<QByteArray> lines = text.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        if (lines.at(i).isEmpty() && i == lines.size() - 1)
            break;
        const QRegularExpressionMatch match = line.match(QString::fromUtf8(lines.at(i)));
        const QByteArray name = match.captured(2).toUtf8();
        if (!match.hasMatch() || name == "." || name == ".." || name == SumsName
            || name == SignatureName || lines.at(i).contains('\0')) {
            *error = QStringLiteral("line %1 of SHA256SUMS is malformed").arg(i + 1);
            return false;
        }
        if (sums->contains(name)) {
            *error = QStringLiteral("SHA256SUMS lists %1 twice").arg(QString::fromUtf8(name));
            return false;
        }
        sums->insert(name, match.captured(1).toLatin1().toLower());
    }
    if (sums->isEmpty()) {
        *error = QStringLiteral("SHA256SUMS lists no file");
        return false;
    }
    return true;
}

// Names of the entries of the directory behind |directoryFd|, "." and ".." left out.
bool listDirectory(int directoryFd, QVector<QByteArray> *names)
{
    const int fd = openat(directoryFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const std::unique_ptr<DIR, int (*)(DIR *)> directory(fdopendir(fd), closedir);
    if (!directory) {
        close(fd);
        return false;
    }
    for (;;) {
        errno = 0;
        const dirent *entry = readdir(directory.get());
        if (!entry)
            break;
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            names->append(name);
    }
    const bool complete = errno == 0;
    std::sort(names->begin(), names->end());
    return complete;
}

// Only what root alone can change may decide what root trusts.
bool ownedAndGuarded(const struct stat &status)
{
    return status.st_uid == geteuid() && !(status.st_mode & (S_IWGRP | S_IWOTH));
}

bool looksLikeOpenPgpKeyring(const QByteArray &content)
{
    // A keybox file (what gpg makes of a fresh "--keyring" by default) carries "KBXf" at
    // offset 8; gpgv would read it, apt's signed-by= would not.
    return !content.isEmpty() && (uchar(content.at(0)) & 0x80) && content.mid(8, 4) != "KBXf";
}

QByteArray dearmor(const CheckEnvironment &environment, const QString &home,
    const QByteArray &armored, QString *error)
{
    QProcess gpg;
    gpg.start(environment.gpg,
        { QStringLiteral("--homedir"), home, QStringLiteral("--batch"),
            QStringLiteral("--no-options"), QStringLiteral("--dearmor") });
    if (!gpg.waitForStarted(CommandOutput::WaitMs)) {
        *error = QStringLiteral("cannot run %1: %2").arg(environment.gpg, gpg.errorString());
        return {};
    }
    gpg.write(armored);
    gpg.closeWriteChannel();
    if (!gpg.waitForFinished(CommandOutput::WaitMs) || gpg.exitStatus() != QProcess::NormalExit
        || gpg.exitCode() != 0) {
        gpg.kill();
        gpg.waitForFinished();
        *error = QStringLiteral("%1 --dearmor failed: %2")
                     .arg(environment.gpg, CommandOutput::decode(gpg.readAllStandardError()));
        return {};
    }
    return gpg.readAllStandardOutput();
}

// Every usable key of the trust store in one binary keyring. Files that root does not alone
// control, or that are not keys, are left out with a warning: one stray file must not take
// every other trusted key with it.
QByteArray trustedKeys(const CheckEnvironment &environment, const QString &home)
{
    const QString where = environment.trustDirectory;
    const FileDescriptor directory(open(
        QFile::encodeName(where).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW));
    struct stat status;
    if (!directory.isValid() || fstat(directory.get(), &status) < 0) {
        qWarning() << "PackageSignature::verify"
                   << "no trusted keys: cannot open" << where << ":" << errorText(errno);
        return {};
    }
    QVector<QByteArray> names;
    if (!ownedAndGuarded(status) || !listDirectory(directory.get(), &names)) {
        qWarning() << "PackageSignature::verify"
                   << "no trusted keys:" << where
                   << "is writable by others than root, or cannot be listed";
        return {};
    }
    QByteArray keyring;
    for (const QByteArray &name : qAsConst(names)) {
        const QString path = where + QLatin1Char('/') + QString::fromUtf8(name);
        const bool binary = name.endsWith(".gpg");
        if (!binary && !name.endsWith(".asc")) {
            qWarning() << "PackageSignature::verify"
                       << "ignoring" << path << ": trusted keys are *.gpg or *.asc files";
            continue;
        }
        int error = 0;
        const FileDescriptor fd = openRegular(directory.get(), name, &status, &error);
        QByteArray content;
        if (!fd.isValid() || !ownedAndGuarded(status) || status.st_size > MaxKeySize
            || !readAll(fd.get(), MaxKeySize, &content)) {
            qWarning()
                << "PackageSignature::verify"
                << "ignoring" << path
                << ": not a regular file owned by root and writable only by it, or larger than"
                << MaxKeySize << "bytes";
            continue;
        }
        if (!binary) {
            QString why;
            content = dearmor(environment, home, content, &why);
            if (content.isEmpty()) {
                qWarning() << "PackageSignature::verify"
                           << "ignoring" << path << ":" << why;
                continue;
            }
        }
        if (!looksLikeOpenPgpKeyring(content)) {
            qWarning() << "PackageSignature::verify"
                       << "ignoring" << path
                       << ": not an OpenPGP keyring (a keybox file? export it with gpg --export)";
            continue;
        }
        if (keyring.size() + content.size() > MaxKeyringSize) {
            qWarning() << "PackageSignature::verify"
                       << "ignoring" << path << ": the trusted keys together exceed"
                       << MaxKeyringSize << "bytes";
            continue;
        }
        keyring += content;
    }
    return keyring;
}

// Publishes |keyring| as <runDirectory>/trusted.gpg: written beside it and renamed, so that an
// apt run of another check reads the old or the new keyring, never half of one.
bool publishKeyring(
    const CheckEnvironment &environment, const QByteArray &keyring, QString *path, QString *error)
{
    const FileDescriptor directory(open(QFile::encodeName(environment.runDirectory).constData(),
        O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW));
    struct stat status;
    if (!directory.isValid() || fstat(directory.get(), &status) < 0 || !ownedAndGuarded(status)) {
        *error = QStringLiteral("the run directory %1 is missing or not root's alone")
                     .arg(environment.runDirectory);
        return false;
    }
    const QByteArray partName = KeyringName + ".part." + QByteArray::number(getpid());
    unlinkat(directory.get(), partName.constData(), 0);
    const FileDescriptor part(openat(directory.get(), partName.constData(),
        O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644));
    bool written = part.isValid() && fchmod(part.get(), 0644) == 0;
    for (qint64 done = 0; written && done < keyring.size();) {
        const ssize_t wrote
            = write(part.get(), keyring.constData() + done, size_t(keyring.size() - done));
        written = wrote > 0 || (wrote < 0 && errno == EINTR);
        done += std::max<ssize_t>(wrote, 0);
    }
    if (!written
        || renameat(directory.get(), partName.constData(), directory.get(), KeyringName.constData())
            < 0) {
        *error
            = QStringLiteral("cannot write %1/%2: %3")
                  .arg(environment.runDirectory, QString::fromUtf8(KeyringName), errorText(errno));
        unlinkat(directory.get(), partName.constData(), 0);
        return false;
    }
    *path = environment.runDirectory + QLatin1Char('/') + QString::fromUtf8(KeyringName);
    return true;
}

// gpg's status lines escape some bytes of a user id as %XX.
QString unescapeStatus(const QByteArray &text)
{
    return QString::fromUtf8(QByteArray::fromPercentEncoding(text));
}

struct GpgvOutcome
{
    bool good = false;
    QString signer;
    QString reason;
};

// Reads gpgv's status lines. One good signature and nothing else counts: several signatures
// would make "who signed this" ambiguous.
GpgvOutcome readStatus(const QByteArray &status, int exitCode)
{
    GpgvOutcome outcome;
    int signatures = 0;
    QByteArray userId, fingerprint, keyId;
    QString problem;
    for (const QByteArray &line : status.split('\n')) {
        if (!line.startsWith("[GNUPG:] "))
            continue;
        const QList<QByteArray> fields = line.mid(9).split(' ');
        const QByteArray keyword = fields.value(0);
        if (keyword == "NEWSIG") {
            ++signatures;
        } else if (keyword == "GOODSIG") {
            keyId = fields.value(1);
            userId = line.mid(9 + keyword.size() + 1 + keyId.size() + 1);
        } else if (keyword == "VALIDSIG") {
            // The last field names the primary key; signing subkeys report their own first.
            fingerprint = fields.size() > 10 ? fields.value(10) : fields.value(1);
            // Signatures over an MD5, SHA-1 or RIPEMD-160 digest can be forged.
            if (QByteArrayList { "1", "2", "3" }.contains(fields.value(8)))
                problem = QStringLiteral("the signature uses a weak digest algorithm");
        } else if (keyword == "BADSIG") {
            problem = QStringLiteral("the signature does not match SHA256SUMS");
        } else if (keyword == "ERRSIG" && fields.value(6) == "9") {
            // The issuer's fingerprint, when the signature carries it, names the key exactly.
            const QByteArray key = fields.value(7, fields.value(1));
            problem = QStringLiteral("signed by key %1, which is not trusted")
                          .arg(QString::fromLatin1(key));
        } else if (keyword == "EXPKEYSIG" || keyword == "REVKEYSIG") {
            problem = QStringLiteral("the signing key %1 has %2")
                          .arg(QString::fromLatin1(fields.value(1)),
                              keyword == "EXPKEYSIG" ? QStringLiteral("expired")
                                                     : QStringLiteral("been revoked"));
        } else if (keyword == "EXPSIG") {
            problem = QStringLiteral("the signature has expired");
        } else if (keyword == "ERRSIG") {
            problem = QStringLiteral("gpgv cannot check the signature (error %1)")
                          .arg(QString::fromLatin1(fields.value(6)));
        }
    }
    if (problem.isEmpty() && signatures != 1)
        problem = QStringLiteral("SHA256SUMS.sig holds %1 signatures, not one").arg(signatures);
    if (problem.isEmpty() && (exitCode != 0 || userId.isEmpty() || fingerprint.isEmpty()))
        problem
            = QStringLiteral("gpgv did not report a good signature (exit code %1)").arg(exitCode);
    outcome.good = problem.isEmpty();
    outcome.reason = problem;
    if (outcome.good)
        outcome.signer = QStringLiteral("%1 (%2)").arg(
            unescapeStatus(userId), QString::fromLatin1(fingerprint));
    return outcome;
}

GpgvOutcome runGpgv(const CheckEnvironment &environment, const QTemporaryDir &home,
    const QString &keyring, const QByteArray &sums, const QByteArray &signature)
{
    GpgvOutcome outcome;
    // gpgv reads the copies in the private home, never names inside the user's package.
    const QString sumsCopy = home.filePath(QStringLiteral("SHA256SUMS"));
    const QString signatureCopy = home.filePath(QStringLiteral("SHA256SUMS.sig"));
    for (const auto &copy : { qMakePair(sumsCopy, sums), qMakePair(signatureCopy, signature) }) {
        QFile file(copy.first);
        if (!file.open(QIODevice::WriteOnly) || file.write(copy.second) != copy.second.size()) {
            outcome.reason
                = QStringLiteral("cannot write %1: %2").arg(copy.first, file.errorString());
            return outcome;
        }
    }
    QProcess gpgv;
    QProcessEnvironment variables;
    variables.insert(
        QStringLiteral("PATH"), qEnvironmentVariable("PATH", QStringLiteral("/usr/bin:/bin")));
    variables.insert(QStringLiteral("GNUPGHOME"), home.path());
    variables.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    gpgv.setProcessEnvironment(variables);
    gpgv.start(environment.gpgv,
        { QStringLiteral("--homedir"), home.path(), QStringLiteral("--status-fd"),
            QStringLiteral("1"), QStringLiteral("--keyring"), keyring, QStringLiteral("--"),
            signatureCopy, sumsCopy });
    gpgv.closeWriteChannel();
    if (!gpgv.waitForFinished(CommandOutput::WaitMs) || gpgv.exitStatus() != QProcess::NormalExit) {
        outcome.reason = QStringLiteral("%1 did not run to its end: %2")
                             .arg(environment.gpgv, gpgv.errorString());
        gpgv.kill();
        gpgv.waitForFinished();
        return outcome;
    }
    outcome = readStatus(gpgv.readAllStandardOutput(), gpgv.exitCode());
    if (!outcome.good)
        qWarning() << "PackageSignature::verify" << environment.gpgv
                   << "said:" << CommandOutput::decode(gpgv.readAllStandardError());
    return outcome;
}

QString checkContent(int rootFd, const QMap<QByteArray, QByteArray> &sums)
{
    QVector<QByteArray> present;
    if (!listDirectory(rootFd, &present))
        return QStringLiteral("cannot list the package: %1").arg(errorText(errno));
    for (const QByteArray &name : qAsConst(present)) {
        if (name != SumsName && name != SignatureName && !sums.contains(name))
            return QStringLiteral("%1 is in the package but not in SHA256SUMS")
                .arg(QString::fromUtf8(name));
    }
    for (auto it = sums.cbegin(); it != sums.cend(); ++it) {
        const QString name = QString::fromUtf8(it.key());
        struct stat status;
        int error = 0;
        const FileDescriptor fd = openRegular(rootFd, it.key(), &status, &error);
        if (error == ENOENT)
            return QStringLiteral("%1 is listed in SHA256SUMS but missing").arg(name);
        if (error == ELOOP || error == EINVAL)
            return QStringLiteral("%1 is not a regular file").arg(name);
        if (!fd.isValid())
            return QStringLiteral("cannot open %1: %2").arg(name, errorText(error));
        QByteArray digest;
        if (!Sha256::ofFile(fd.get(), &digest))
            return QStringLiteral("cannot read %1: %2").arg(name, errorText(errno));
        if (digest != it.value())
            return QStringLiteral("%1 does not match its checksum in SHA256SUMS").arg(name);
    }
    return {};
}

} // namespace

PackageSignature PackageSignature::verify(const CheckEnvironment &environment, int packageRootFd)
{
    QByteArray sums, signature;
    bool sumsPresent = false, signaturePresent = false;
    QString sumsError, signatureError;
    const bool sumsRead
        = readPackageFile(packageRootFd, SumsName, MaxSumsSize, &sums, &sumsPresent, &sumsError);
    const bool signatureRead = readPackageFile(packageRootFd, SignatureName, MaxSignatureSize,
        &signature, &signaturePresent, &signatureError);
    if (!sumsPresent && !signaturePresent)
        return {};
    if (!sumsPresent || !signaturePresent) {
        return rejected(sumsPresent ? QStringLiteral("SHA256SUMS without SHA256SUMS.sig")
                                    : QStringLiteral("SHA256SUMS.sig without SHA256SUMS"));
    }
    if (!sumsRead || !signatureRead)
        return rejected(sumsRead ? signatureError : sumsError);

    QMap<QByteArray, QByteArray> listed;
    QString error;
    if (!parseSums(sums, &listed, &error))
        return rejected(error);

    // A private home: gpgv writes there, and nothing of the caller's or root's own GnuPG
    // set-up may decide what is trusted.
    const QTemporaryDir home(QDir::tempPath() + QStringLiteral("/tevrin-gpgv.XXXXXX"));
    if (!home.isValid())
        return rejected(QStringLiteral("cannot make a temporary directory for gpgv: %1")
                            .arg(home.errorString()));
    QString keyring;
    if (!publishKeyring(environment, trustedKeys(environment, home.path()), &keyring, &error))
        return rejected(error);
    const GpgvOutcome outcome = runGpgv(environment, home, keyring, sums, signature);
    if (!outcome.good)
        return rejected(outcome.reason);

    error = checkContent(packageRootFd, listed);
    if (!error.isEmpty())
        return rejected(error);

    PackageSignature verified;
    verified.state = Verified;
    verified.signer = outcome.signer;
    verified.keyring = keyring;
    qInfo() << "PackageSignature::verify"
            << "package signed by" << verified.signer;
    return verified;
}
