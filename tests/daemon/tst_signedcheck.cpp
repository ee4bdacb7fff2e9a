// A signed package checked by the real daemon with a key in its trust store, through real apt.
// Faults caught here: a verified package's repository handed to apt as trusted=yes instead of
// against the signing keys, so that apt would take a repository whose signed index was altered
// (here by someone who could still sign the outer checksum list); the signer not reported.
#include "architecturetable.h"
#include "commandoutput.h"
#include "daemonfixture.h"
#include "daemoninterface.h"
#include "offlineupdateprotocol.h"
#include "packagefixture.h"

#include <QtTest>
#include <unistd.h>

namespace {

const QString Probe = QStringLiteral("tevrin-probe-signed");
const QString Signer = QStringLiteral("Tevrin Test Signer <signer@example.org>");
const QString TrustedKey
    = QStringLiteral("/etc/tevrin-offline-update/trusted.gpg.d/tevrin-test-signer.gpg");

// Rewrites the repository's signed index inside |package| and signs a fresh checksum list with
// the same key: only apt's own check of the repository can catch it.
const char AlterRepository[] = R"(set -e
w=$(mktemp -d); trap 'rm -rf "$w"' EXIT
unsquashfs -q -d "$w/root" "$1" >/dev/null
unsquashfs -q -d "$w/repo" "$w/root/repo.sfs" >/dev/null
for f in "$w"/repo/dists/torak/InRelease "$w"/repo/dists/torak/Release; do
  sed -i 's/^Suite: torak$/Suite: torak\nX-Altered: yes/' "$f"
done
rm "$w/root/repo.sfs"; mksquashfs "$w/repo" "$w/root/repo.sfs" -noappend -all-root >/dev/null
rm "$w/root/SHA256SUMS" "$w/root/SHA256SUMS.sig"
(cd "$w/root" && sha256sum -- *) > "$w/SHA256SUMS"; mv "$w/SHA256SUMS" "$w/root/"
gpg --homedir "$2" --batch --detach-sign -o "$w/root/SHA256SUMS.sig" "$w/root/SHA256SUMS"
mksquashfs "$w/root" "$1" -noappend -all-root >/dev/null)";

} // namespace

class tst_SignedCheck : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void signedRepository_data();
    void signedRepository();

private:
    QTemporaryDir m_work;
    QString m_gpgHome;
    std::unique_ptr<DaemonFixture> m_fixture;
};

void tst_SignedCheck::initTestCase()
{
    if (geteuid() != 0)
        QSKIP("needs root: the daemon mounts the package and trusts a key of the machine");
    if (QStandardPaths::findExecutable(QStringLiteral("gpg")).isEmpty())
        QSKIP("gpg is needed");
    m_gpgHome = m_work.filePath(QStringLiteral("gnupg"));
    QVERIFY(QDir().mkpath(m_gpgHome)
        && QFile::setPermissions(
            m_gpgHome, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    const QStringList gpg { QStringLiteral("gpg"), QStringLiteral("--homedir"), m_gpgHome,
        QStringLiteral("--batch") };
    QCOMPARE(ChildProcess::run(gpg
                 + QStringList { "--passphrase", "", "--quick-gen-key", Signer, "ed25519", "sign",
                     "never" }),
        0);
    QByteArray key;
    QCOMPARE(ChildProcess::run(gpg + QStringList { "--export", Signer }, &key), 0);
    QFile trusted(TrustedKey);
    QVERIFY(QDir().mkpath(QFileInfo(TrustedKey).path()) && trusted.open(QIODevice::WriteOnly)
        && trusted.write(key) == key.size());
    trusted.close();

    QVERIFY(PackageFixture::install(PackageFixture::probeDeb(
        Probe, QStringLiteral("1.0"), m_work.filePath(QStringLiteral("v1")))));
    QString error;
    m_fixture = std::make_unique<DaemonFixture>(DaemonFixture::WithoutAuthority);
    QVERIFY2(m_fixture->start(&error), qPrintable(error));
}

void tst_SignedCheck::cleanupTestCase()
{
    m_fixture.reset();
    QFile::remove(TrustedKey);
    PackageFixture::purge(Probe);
    PackageFixture::unmountCache(QDir::homePath());
}

void tst_SignedCheck::signedRepository_data()
{
    QTest::addColumn<bool>("alter");
    QTest::addColumn<bool>("passes");
    QTest::newRow("signed and trusted") << false << true;
    QTest::newRow("repository index altered, checksums signed again") << true << false;
}

void tst_SignedCheck::signedRepository()
{
    QFETCH(bool, alter);
    QFETCH(bool, passes);
    PackageFixture::Package contents;
    contents.debs << PackageFixture::probeDeb(
        Probe, QStringLiteral("2.0"), m_work.filePath(QStringLiteral("v2")));
    contents.manifest
        = QStringLiteral(R"({"type": 1, "data": {"systemType": "desktop", "archs": "%1"}})")
              .arg(ArchitectureTable::acceptedPackageArchitecture(
                  CommandOutput::run(QStringLiteral("uname"), { QStringLiteral("-m") })));
    contents.signKey = Signer;
    contents.gpgHome = m_gpgHome;
    const QString package = m_work.filePath(QStringLiteral("signed.oup"));
    QString error;
    QVERIFY2(PackageFixture::build(contents, package, &error), qPrintable(error));
    if (alter)
        QCOMPARE(ChildProcess::run({ QStringLiteral("sh"), QStringLiteral("-c"),
                     QLatin1String(AlterRepository), QStringLiteral("sh"), package, m_gpgHome }),
            0);

    QSignalSpy results(
        m_fixture->daemon(), &ComTevrinOfflineUpdateDaemonInterface::NotifyOfflineFileCheckResult);
    QCOMPARE(m_fixture->call(
                 nullptr, QStringLiteral("StartOfflineFileCheck"), { QDir::homePath(), package }),
        0);
    QTRY_COMPARE(results.count(), 1);
    QCOMPARE(results.first().at(0).toInt(), int(OfflineUpdate::UpgradableItem));
    QCOMPARE(results.first().at(1).toBool(), passes);

    // The checksum list verified either way; apt alone stands between the altered index and dpkg.
    QDBusPendingReply<int, QString> signature = m_fixture->daemon()->GetPackageSignature();
    signature.waitForFinished();
    QCOMPARE(signature.argumentAt<0>(), int(OfflineUpdate::SignatureVerified));
    QVERIFY2(signature.argumentAt<1>().contains(Signer), qPrintable(signature.argumentAt<1>()));
    QVERIFY(m_fixture->sourceList().contains("signed-by="));
    QVERIFY(!m_fixture->sourceList().contains("trusted=yes"));
    if (!passes) {
        QString detail;
        const QDBusReply<QString> reason = m_fixture->daemon()->GetCheckFailureReason(detail);
        QCOMPARE(reason.value(), OfflineUpdate::Reason::RepositoryUnreadable);
    }
}

QTEST_GUILESS_MAIN(tst_SignedCheck)
#include "tst_signedcheck.moc"
