// Package signatures and the daemon's configuration file. Faults this catches:
// - a package altered after signing (info.json, either image, a file added or left out, a
//   checksum list rewritten to match) or signed by a key that is not trusted being accepted;
// - a verifier that trusts a key file any user could have written, or that cannot read the
//   armored keys administrators usually have;
// - an unsigned package reported as rejected (or signed), so that RequireSignature=false
//   would refuse every package;
// - a signer named other than "<user id> (<fingerprint>)", or no keyring for apt's signed-by=;
// - configuration lines misread: comments, unknown keys, a misspelt value that silently
//   turns the requirement off.
// The packages are real ones from the builder, signed with keys made here, unpacked to a
// directory: the verifier only ever sees the package root's descriptor.
#include "checkenvironment.h"
#include "childprocess.h"
#include "daemonconfig.h"
#include "filedescriptor.h"
#include "packagefixture.h"
#include "packagesignature.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString MakerId = QStringLiteral("Package Maker <maker@example.org>");

bool run(const QStringList &command)
{
    QByteArray output;
    const bool ok = ChildProcess::run(command, &output) == 0;
    if (!ok)
        qWarning("%s: %s", qPrintable(command.join(QLatin1Char(' '))), output.constData());
    return ok;
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

} // namespace

class tst_Signature : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void verify_data();
    void verify();
    void readConfig_data();
    void readConfig();

private:
    QString makeKey(const QString &home, const QString &userId);

    QTemporaryDir m_work;
    QStringList m_homes;
    QString m_fingerprint;
};

QString tst_Signature::makeKey(const QString &home, const QString &userId)
{
    QDir().mkpath(home);
    QFile::setPermissions(home, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_homes << home;
    QByteArray colons;
    const QStringList gpg { QStringLiteral("gpg"), QStringLiteral("--homedir"), home,
        QStringLiteral("--batch") };
    if (!run(gpg
            + QStringList { "--passphrase", "", "--quick-gen-key", userId, "ed25519", "sign",
                "never" })
        || ChildProcess::run(gpg + QStringList { "--with-colons", "--list-secret-keys" }, &colons))
        return {};
    const QByteArray fpr = colons.mid(colons.indexOf("\nfpr:")).split('\n').value(1);
    return QString::fromLatin1(fpr.split(':').value(9));
}

void tst_Signature::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("gpg")).isEmpty()
        || QStandardPaths::findExecutable(QStringLiteral("gpgv")).isEmpty())
        QSKIP("gpg and gpgv are needed");
    QVERIFY(m_work.isValid());
    const QString maker = m_work.filePath(QStringLiteral("maker"));
    const QString stranger = m_work.filePath(QStringLiteral("stranger"));
    m_fingerprint = makeKey(maker, MakerId);
    const QString strangerFingerprint
        = makeKey(stranger, QStringLiteral("Someone <x@example.org>"));
    QVERIFY(!m_fingerprint.isEmpty() && !strangerFingerprint.isEmpty());
    for (const QString &format : { QStringLiteral("gpg"), QStringLiteral("asc") }) {
        QStringList command { "gpg", "--homedir", maker, "--batch", "--export", m_fingerprint };
        if (format == QLatin1String("asc"))
            command.insert(4, QStringLiteral("--armor"));
        QByteArray key;
        QCOMPARE(ChildProcess::run(command, &key), 0);
        QVERIFY(writeFile(m_work.filePath(QStringLiteral("maker.") + format), key));
    }

    const QString deb = PackageFixture::probeDeb(
        QStringLiteral("signed-probe"), QStringLiteral("1.0"), m_work.path());
    QVERIFY(!deb.isEmpty());
    const QList<QPair<QString, QString>> packages { { "signed", m_fingerprint },
        { "stranger", strangerFingerprint }, { "unsigned", QString() } };
    for (const auto &package : packages) {
        PackageFixture::Package input;
        input.debs << deb;
        input.preHooks.insert(QStringLiteral("10-check"), QStringLiteral("exit 0\n"));
        input.signKey = package.second;
        input.gpgHome = package.second == m_fingerprint ? maker : stranger;
        const QString oup = m_work.filePath(package.first + QStringLiteral(".oup"));
        QString error;
        QVERIFY2(PackageFixture::build(input, oup, &error), qPrintable(error));
        QVERIFY(run({ "unsquashfs", "-q", "-n", "-d", m_work.filePath(package.first), oup }));
    }
}

void tst_Signature::cleanupTestCase()
{
    for (const QString &home : qAsConst(m_homes))
        ChildProcess::run({ "gpgconf", "--homedir", home, "--kill", "gpg-agent" });
}

void tst_Signature::verify_data()
{
    QTest::addColumn<QString>("package");
    QTest::addColumn<QString>("trustedKey"); // file of m_work copied into the trust store
    QTest::addColumn<int>("keyMode");
    QTest::addColumn<QString>("change"); // shell commands run in the package copy
    QTest::addColumn<int>("state");

    const int guarded = 0644;
    const int verified = PackageSignature::Verified, rejected = PackageSignature::Rejected;
    const QString good = QStringLiteral("signed"), key = QStringLiteral("maker.gpg");
    QTest::addRow("signed, trusted") << good << key << guarded << "" << verified;
    QTest::addRow("trusted key armored") << good << "maker.asc" << guarded << "" << verified;
    // Every listed file is checked the same way; the images are the big ones.
    QTest::addRow("hooks.sfs altered")
        << good << key << guarded << "printf XYZW | dd of=hooks.sfs bs=1 seek=100 conv=notrunc"
        << rejected;
    QTest::addRow("file added") << good << key << guarded << "touch extra" << rejected;
    QTest::addRow("listed file removed") << good << key << guarded << "rm hooks.sfs" << rejected;
    QTest::addRow("info.json altered, checksums rewritten to match")
        << good << key << guarded
        << "echo '{}' > info.json && sha256sum -- hooks.sfs info.json oup-format repo.sfs > "
           "SHA256SUMS"
        << rejected;
    QTest::addRow("signature removed") << good << key << guarded << "rm SHA256SUMS.sig" << rejected;
    QTest::addRow("checksum list is a link")
        << good << key << guarded << "mv SHA256SUMS s && ln -s s SHA256SUMS" << rejected;
    QTest::addRow("untrusted key") << "stranger" << key << guarded << "" << rejected;
    QTest::addRow("trusted key writable by users") << good << key << 0646 << "" << rejected;
    QTest::addRow("unsigned") << "unsigned" << key << guarded << ""
                              << int(PackageSignature::Unsigned);
}

void tst_Signature::verify()
{
    QFETCH(QString, package);
    QFETCH(QString, trustedKey);
    QFETCH(int, keyMode);
    QFETCH(QString, change);
    QFETCH(int, state);

    QTemporaryDir row;
    QVERIFY(row.isValid());
    CheckEnvironment environment;
    environment.trustDirectory = row.filePath(QStringLiteral("trusted.gpg.d"));
    environment.runDirectory = row.filePath(QStringLiteral("run"));
    const QString root = row.filePath(QStringLiteral("package"));
    const QString key = environment.trustDirectory + QLatin1Char('/') + trustedKey;
    QVERIFY(QDir().mkpath(environment.trustDirectory) && QDir().mkpath(environment.runDirectory));
    QVERIFY(run({ "cp", "-a", m_work.filePath(package), root }));
    QVERIFY(QFile::copy(m_work.filePath(trustedKey), key));
    QVERIFY(chmod(QFile::encodeName(key).constData(), mode_t(keyMode)) == 0);
    if (!change.isEmpty())
        QVERIFY(run({ "bash", "-e", "-c", "cd \"$1\" && " + change, "bash", root }));

    const FileDescriptor rootFd(open(QFile::encodeName(root).constData(), O_RDONLY | O_DIRECTORY));
    const PackageSignature signature = PackageSignature::verify(environment, rootFd.get());
    QVERIFY2(signature.state == state, qPrintable(signature.reason));
    QCOMPARE(signature.reason.isEmpty(), state != PackageSignature::Rejected);
    // apt's signed-by= gets the keyring; that apt accepts it is tst_daemonbus' concern.
    QCOMPARE(signature.keyring.isEmpty(), state != PackageSignature::Verified);
    if (state == PackageSignature::Verified)
        QCOMPARE(signature.signer, QStringLiteral("%1 (%2)").arg(MakerId, m_fingerprint));
}

void tst_Signature::readConfig_data()
{
    QTest::addColumn<QByteArray>("content"); // "-" for no file at all
    QTest::addColumn<bool>("requireSignature");

    QTest::addRow("no file") << QByteArray("-") << false;
    QTest::addRow("blanks, comments, unknown keys")
        << QByteArray("# RequireSignature=false\n  RequireSignature = true  \nColour=blue\nnoise\n")
        << true;
    QTest::addRow("last line counts")
        << QByteArray("RequireSignature=true\nRequireSignature=false") << false;
    QTest::addRow("misspelt value") << QByteArray("RequireSignature=ture\n") << true;
}

void tst_Signature::readConfig()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, requireSignature);
    QTemporaryDir directory;
    const QString path = directory.filePath(QStringLiteral("daemon.conf"));
    if (content != "-")
        QVERIFY(writeFile(path, content));
    QCOMPARE(DaemonConfig::read(path).requireSignature, requireSignature);
}

QTEST_GUILESS_MAIN(tst_Signature)
#include "tst_signature.moc"
