// The real daemon program on a private system bus, called by unprivileged users as the tool
// would call it. Faults caught here:
// - more or fewer than one result signal per check, a result after the reply, or a result for
//   the wrong item; a failure reason that is wrong, missing, or told to another user;
// - an upgrade started for a user whose check did not pass, or after someone else's check; a
//   package still being written checked;
// - the getters showing an earlier run's values (a stale patch identifier);
// - mounts made in the user's home or visible outside the daemon's own mount namespace, a run
//   directory others may enter, mounts left writable, set-user-ID or device-bearing; a FIFO
//   named as the package keeping the daemon waiting;
// - a corrupt hooks image or repository index read as a package without hooks or updates;
// - a verified package's repository handed to apt as trusted=yes instead of against the signing
//   keys, so that apt would take a repository whose signed index was altered (here by someone
//   who could still sign the outer checksum list); the signer not reported.
#include "commandoutput.h"
#include "bustestbase.h"
#include "daemonfixture.h"
#include "daemoninterface.h"
#include "offlineupdateprotocol.h"
#include "packagefixture.h"
#include "testuser.h"

#include <QtTest>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString Probe = QStringLiteral("tevrin-probe-bus");
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

// The strings of a dbus-send reply, in order.
QStringList replyStrings(const QString &output)
{
    QStringList strings;
    QRegularExpressionMatchIterator it
        = QRegularExpression(QStringLiteral("string \"([^\"]*)\"")).globalMatch(output);
    while (it.hasNext())
        strings << it.next().captured(1);
    return strings;
}

} // namespace

class tst_DaemonBus : public BusTestBase
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void backupNeedsOwnPassedCheck();
    void failureReasons_data();
    void failureReasons();
    void noStaleStateAndMountsInTheRunDirectory();
    void signedRepository_data();
    void signedRepository();

private:
    QString package(const QString &name, PackageFixture::Package contents = {},
        const QString &damage = QString());
};

void tst_DaemonBus::initTestCase()
{
    if (geteuid() != 0)
        QSKIP("needs root: the daemon mounts packages and the test makes users");
    QString error;
    QVERIFY2(setUpBus(Probe, Signer, TrustedKey, &error), qPrintable(error));
}

void tst_DaemonBus::cleanupTestCase()
{
    tearDownBus();
}

// A package of the probe at 2.0 for this machine unless |contents| says otherwise, readable by
// every user. |damage|: "hooks" replaces the hooks image by junk, "repo" garbles the
// repository's package index.
QString tst_DaemonBus::package(
    const QString &name, PackageFixture::Package contents, const QString &damage)
{
    if (contents.debs.isEmpty())
        contents.debs = QStringList { m_probeV2 };
    const QString path = m_work.filePath(name + QStringLiteral(".oup"));
    QString error;
    if (!PackageFixture::build(contents, path, &error))
        qWarning() << "cannot build" << name << error;
    if (!damage.isEmpty()
        && ChildProcess::run({ QStringLiteral("sh"), QStringLiteral("-ec"),
               R"(w=$(mktemp -d); unsquashfs -q -d "$w/root" "$1" >/dev/null
if [ "$2" = hooks ]; then head -c 8192 /dev/urandom > "$w/root/hooks.sfs"; else
  unsquashfs -q -d "$w/repo" "$w/root/repo.sfs" >/dev/null
  for f in "$w"/repo/dists/torak/*/binary-*/Packages; do echo garbage > "$f"; gzip -kf "$f"; done
  rm "$w/root/repo.sfs"; mksquashfs "$w/repo" "$w/root/repo.sfs" -noappend -all-root >/dev/null
fi
mksquashfs "$w/root" "$1" -noappend -all-root >/dev/null; rm -rf "$w")",
               QStringLiteral("sh"), path, damage })
            != 0)
        qWarning() << "cannot damage" << name;
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    return path;
}

void tst_DaemonBus::backupNeedsOwnPassedCheck()
{
    QVERIFY(PackageFixture::install(m_probeV1));
    // First while the daemon has checked nothing yet, then after another user's passed check.
    const QString passing = package(QStringLiteral("passing"));
    for (const int step : { 0, 1 }) {
        if (step == 1)
            QCOMPARE(m_fixture->check(m_alice.get(), passing), -6);
        QString output;
        QVERIFY(m_fixture->call(m_bob.get(), QStringLiteral("BackupSystem"), {}, &output) != 0);
        QVERIFY2(output.contains(OfflineUpdate::NoPassedCheckError), qPrintable(output));
        QVERIFY(DaemonFixture::signalsIn(output).isEmpty());
    }
    QCOMPARE(PackageFixture::installedVersion(Probe), QStringLiteral("1.0"));
    PackageFixture::purge(Probe);
}

void tst_DaemonBus::failureReasons_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("item");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("detail"); // a part of it

    using namespace OfflineUpdate;
    QTest::newRow("missing file") << "missing" << 0 << Reason::FileMissing << "missing.oup";
    QTest::newRow("package the user cannot read") << "private" << 0 << Reason::NotReadable << "";
    QTest::newRow("FIFO, never waited for") << "fifo" << 0 << Reason::NotRegularFile << "";
    QTest::newRow("still being written") << "writing" << 0 << Reason::PackageChanging << "open";
    QTest::newRow("ext2 image, never mounted as one") << "ext2" << 1 << Reason::NotPackage << "";
    QTest::newRow("pre-hook refuses")
        << "prehook" << 2 << Reason::HookRefused << "10-refuse: not on a Friday";
    QTest::newRow("corrupt hooks image") << "hooks" << 2 << Reason::NotPackage << "mount";
    QTest::newRow("wrong architecture") << "arch" << 4 << Reason::WrongArchitecture << "mips64el";
    QTest::newRow("corrupt repository") << "repo" << 6 << Reason::RepositoryUnreadable << "E:";
    QTest::newRow("nothing to upgrade") << "fine" << 6 << Reason::NothingToUpgrade << "";
}

void tst_DaemonBus::failureReasons()
{
    QFETCH(QString, kind);
    QFETCH(int, item);
    QFETCH(QString, key);
    QFETCH(QString, detail);

    QString file = m_work.filePath(kind + QStringLiteral(".oup"));
    PackageFixture::Package contents;
    if (kind == QLatin1String("fifo")) {
        QCOMPARE(mkfifo(QFile::encodeName(file).constData(), 0644), 0);
    } else if (kind == QLatin1String("ext2")) {
        QTemporaryDir content;
        QCOMPARE(ChildProcess::run(
                     { QStringLiteral("mkfs.ext2"), QStringLiteral("-q"), QStringLiteral("-F"),
                         QStringLiteral("-d"), content.path(), file, QStringLiteral("1M") }),
            0);
        QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadOther));
    } else if (kind == QLatin1String("prehook")) {
        contents.preHooks = { { QStringLiteral("10-refuse"),
            QStringLiteral("echo checking\necho 'not on a Friday' >&2\nexit 3\n") } };
        file = package(kind, contents);
    } else if (kind == QLatin1String("arch")) {
        contents.manifest = PackageFixture::manifest(1, QString(), QStringLiteral("mips64el"));
        file = package(kind, contents);
    } else if (kind != QLatin1String("missing")) {
        const bool damaged = kind == QLatin1String("hooks") || kind == QLatin1String("repo");
        file = package(kind, contents, damaged ? kind : QString());
        if (kind == QLatin1String("private"))
            QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner));
    }
    ChildProcess writer;
    if (kind == QLatin1String("writing")) {
        writer.start(QStringLiteral("sh"), { "-c", "exec 3>>\"$0\"; echo; sleep 60", file });
        QVERIFY(writer.waitForReadyRead(10000));
    }
    m_fixture->log();
    QCOMPARE(m_fixture->check(m_alice.get(), file), item);

    QString output;
    QCOMPARE(
        m_fixture->call(m_alice.get(), QStringLiteral("GetCheckFailureReason"), {}, &output), 0);
    const QStringList reason = replyStrings(output);
    QCOMPARE(reason.value(0), key);
    QVERIFY2(reason.value(1).contains(detail), qPrintable(output));
    QByteArray mounts;
    QCOMPARE(ChildProcess::run({ QStringLiteral("findmnt"), QStringLiteral("-rn"),
                                   QStringLiteral("-t"), QStringLiteral("ext2") },
                 &mounts),
        1);
    if (kind == QLatin1String("repo"))
        QVERIFY2(
            m_fixture->log().contains(reason.value(1)), qPrintable(m_fixture->log().right(3000)));
    // Why alice's check failed is hers alone.
    QCOMPARE(m_fixture->call(m_bob.get(), QStringLiteral("GetCheckFailureReason"), {}, &output), 0);
    QCOMPARE(replyStrings(output), QStringList({ QString(), QString() }));
}

void tst_DaemonBus::noStaleStateAndMountsInTheRunDirectory()
{
    QVERIFY(PackageFixture::install(m_probeV1));
    PackageFixture::Package patch;
    patch.manifest = PackageFixture::manifest(2, QStringLiteral("CVE-2026-4242"));
    QVERIFY2(m_fixture->check(m_alice.get(), package(QStringLiteral("patch"), patch)) == -6,
        qPrintable(m_fixture->log().right(2000)));
    const auto state = [this] {
        return QVariantList { m_fixture->daemon()->GetUpgradeType().value(),
            m_fixture->daemon()->GetPatchUpgradeSerial().value(),
            m_fixture->daemon()->GetDistUpgradeSum().value() };
    };
    QCOMPARE(state(), QVariantList({ 2, "CVE-2026-4242", 1 }));

    // Mounted read-only, without set-user-ID programs or devices, in the root-only run
    // directory of the user, in the daemon's own mount namespace and nowhere else.
    const QString daemonPid = QString::number(m_fixture->process().processId());
    const QString mounts = CommandOutput::run(QStringLiteral("findmnt"),
        { QStringLiteral("-N"), daemonPid, QStringLiteral("-rno"), QStringLiteral("TARGET,OPTIONS") });
    const QString runDirectory = QStringLiteral("/run/tevrin-offline-update/%1").arg(m_alice->uid());
    const QStringList ours = mounts.split(QLatin1Char('\n')).filter(runDirectory + QLatin1Char('/'));
    QCOMPARE(ours.size(), 3);
    for (const QString &mount : ours)
        QVERIFY2(mount.contains(QLatin1String("ro,nosuid,nodev")), qPrintable(mount));
    QVERIFY(!mounts.contains(m_alice->home()));
    QVERIFY(!QFileInfo::exists(m_alice->home() + QStringLiteral("/.cache")));
    QVERIFY(!CommandOutput::run(QStringLiteral("findmnt"), { QStringLiteral("-rno"), QStringLiteral("TARGET") })
                 .contains(QStringLiteral("/run/tevrin-offline-update")));
    struct stat status = {};
    QVERIFY(stat(QFile::encodeName(runDirectory).constData(), &status) == 0);
    QCOMPARE(status.st_mode & 07777, mode_t(0700));

    // A failing system update after the patch: nothing of the patch's run is left to read.
    PackageFixture::Package update;
    update.manifest
        = PackageFixture::manifest(1, QStringLiteral("CVE-IGNORED"), QStringLiteral("mips64el"));
    QCOMPARE(m_fixture->check(m_alice.get(), package(QStringLiteral("update"), update)), 4);
    QCOMPARE(state(), QVariantList({ 1, QString(), 0 }));
    PackageFixture::purge(Probe);
}

void tst_DaemonBus::signedRepository_data()
{
    QTest::addColumn<bool>("alter");
    QTest::newRow("signed and trusted") << false;
    QTest::newRow("repository index altered, checksums signed again") << true;
}

void tst_DaemonBus::signedRepository()
{
    QFETCH(bool, alter);
    QVERIFY(PackageFixture::install(m_probeV1));
    PackageFixture::Package contents;
    contents.signKey = Signer;
    contents.gpgHome = m_gpgHome;
    const QString signedPackage = package(QStringLiteral("signed"), contents);
    if (alter)
        QCOMPARE(
            ChildProcess::run({ QStringLiteral("sh"), QStringLiteral("-c"),
                QLatin1String(AlterRepository), QStringLiteral("sh"), signedPackage, m_gpgHome }),
            0);
    QCOMPARE(m_fixture->check(m_alice.get(), signedPackage), alter ? 6 : -6);

    // The checksum list verified either way; apt alone stands between the altered index and dpkg.
    QString output;
    QCOMPARE(m_fixture->call(m_alice.get(), QStringLiteral("GetPackageSignature"), {}, &output), 0);
    QVERIFY2(output.contains(QStringLiteral("int32 %1").arg(int(OfflineUpdate::SignatureVerified)))
            && output.contains(Signer),
        qPrintable(output));
    QVERIFY(m_fixture->sourceList().contains("signed-by="));
    QVERIFY(!m_fixture->sourceList().contains("trusted=yes"));
    PackageFixture::purge(Probe);
}

QTEST_GUILESS_MAIN(tst_DaemonBus)
#include "tst_daemonbus.moc"
