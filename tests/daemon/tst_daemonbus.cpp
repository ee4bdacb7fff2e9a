// The real daemon program on a private system bus, called by unprivileged users as the tool
// would call it. Faults caught here:
// - a method that the tool calls not answering an unprivileged user;
// - more or fewer than one result signal per check, or a result for the wrong item;
// - the getters wrong after a check, or reset by a failed run; a patch identifier that a later
//   system update must not clear; mounts left writable, set-user-ID or device-bearing;
// - a user making root act on another user's home, on a file the user cannot read or on a FIFO
//   (which would hang the daemon);
// - root following a link that a user put in place of ~/.cache, the cache directory or a mount
//   point: clearing or mounting there would act on a directory the user may not touch;
// - a second daemon not leaving the first its name, ExitApp not ending the process with 0.
#include "architecturetable.h"
#include "commandoutput.h"
#include "daemonfixture.h"
#include "daemoninterface.h"
#include "packagefixture.h"
#include "testuser.h"

#include <QtTest>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString Probe = QStringLiteral("tevrin-probe-bus");

bool isMountPoint(const QString &path)
{
    return QProcess::execute(QStringLiteral("mountpoint"), { QStringLiteral("-q"), path }) == 0;
}

} // namespace

class tst_DaemonBus : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void methodsAnswer_data();
    void methodsAnswer();
    void failingItems_data();
    void failingItems();
    void passingRunsCarryState();
    void linksInTheCacheAreNotFollowed_data();
    void linksInTheCacheAreNotFollowed();
    void secondDaemonThenExitApp();

private:
    // The item of the one result signal a check sent, negated when it passed; 100 + the count
    // when there was not exactly one.
    int check(const TestUser *user, const QString &home, const QString &file);
    // A package of the probe at 2.0, built readable by every user.
    QString package(const QString &name, int type = 1, const QString &cve = {});

    QTemporaryDir m_work;
    std::unique_ptr<TestUser> m_alice;
    std::unique_ptr<TestUser> m_bob;
    std::unique_ptr<DaemonFixture> m_fixture;
    QString m_probeV1;
    QString m_probeV2;
};

void tst_DaemonBus::initTestCase()
{
    if (geteuid() != 0)
        QSKIP("needs root: the daemon mounts packages and the test makes users");
    // Users must reach the packages the test makes for them.
    QVERIFY(m_work.isValid()
        && QFile::setPermissions(m_work.path(),
            QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther
                | QFile::ExeOther));
    m_alice = std::make_unique<TestUser>(QStringLiteral("tevrint-alice"));
    m_bob = std::make_unique<TestUser>(QStringLiteral("tevrint-bob"));
    QVERIFY(m_alice->isValid() && m_bob->isValid());
    m_probeV1 = PackageFixture::probeDeb(
        Probe, QStringLiteral("1.0"), m_work.filePath(QStringLiteral("v1")));
    m_probeV2 = PackageFixture::probeDeb(
        Probe, QStringLiteral("2.0"), m_work.filePath(QStringLiteral("v2")));
    QVERIFY(!m_probeV1.isEmpty() && !m_probeV2.isEmpty());
    PackageFixture::purge(Probe);
    m_fixture = std::make_unique<DaemonFixture>();
    QString error;
    QVERIFY2(m_fixture->start(&error), qPrintable(error));
}

void tst_DaemonBus::cleanupTestCase()
{
    m_fixture.reset();
    PackageFixture::purge(Probe);
    // The daemon leaves its mounts until the next run; take them down before userdel.
    for (const TestUser *user : { m_alice.get(), m_bob.get() })
        if (user)
            PackageFixture::unmountCache(user->home());
}

int tst_DaemonBus::check(const TestUser *user, const QString &home, const QString &file)
{
    QSignalSpy results(
        m_fixture->daemon(), &ComTevrinOfflineUpdateDaemonInterface::NotifyOfflineFileCheckResult);
    if (m_fixture->call(user, QStringLiteral("StartOfflineFileCheck"), { home, file }) != 0)
        return 100;
    // The result is sent before the reply; a second one would follow at once.
    QTest::qWait(200);
    if (results.count() != 1)
        return 100 + results.count();
    const int item = results.first().at(0).toInt();
    return results.first().at(1).toBool() ? -item : item;
}

QString tst_DaemonBus::package(const QString &name, int type, const QString &cve)
{
    PackageFixture::Package contents;
    contents.manifest = QStringLiteral(
        R"({"type": %1, "data": {"systemType": "desktop", "cveId": "%2", "archs": "%3"}})")
                            .arg(type)
                            .arg(cve,
                                ArchitectureTable::acceptedPackageArchitecture(CommandOutput::run(
                                    QStringLiteral("uname"), { QStringLiteral("-m") })));
    contents.debs = QStringList { m_probeV2 };
    const QString path = m_work.filePath(name + QStringLiteral(".oup"));
    QString error;
    if (!PackageFixture::build(contents, path, &error))
        qWarning() << "cannot build" << name << error;
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    return path;
}

void tst_DaemonBus::methodsAnswer_data()
{
    QTest::addColumn<QString>("method");

    // The check and the post hooks answer in the other tests; a backup would touch the machine.
    for (const char *method : { "GetUpgradeType", "GetPatchUpgradeSerial", "GetDistUpgradeSum",
             "IsAllowBackupSystem", "StartApp" })
        QTest::newRow(method) << QString::fromLatin1(method);
}

void tst_DaemonBus::methodsAnswer()
{
    QFETCH(QString, method);
    // dbus-send fails on an error reply or none.
    QCOMPARE(m_fixture->call(m_alice.get(), method, {}), 0);
}

void tst_DaemonBus::linksInTheCacheAreNotFollowed_data()
{
    QTest::addColumn<QString>("script"); // run by the user: $1 ~/.cache, $2 the victim
    QTest::addColumn<bool>("refused");

    QTest::newRow("cache directory is a link")
        << "mkdir -p \"$1\" && ln -s \"$2\" \"$1/tevrin-offline-update\"" << false;
    QTest::newRow("mount point is a link")
        << "c=\"$1/tevrin-offline-update\"; mkdir -p \"$c\" && ln -s \"$2/oup\" \"$c/oup\" && ln "
           "-s \"$2\" \"$c/repo\""
        << false;
    QTest::newRow("~/.cache is a link") << "ln -s \"$2\" \"$1\"" << true;
}

void tst_DaemonBus::linksInTheCacheAreNotFollowed()
{
    QFETCH(QString, script);
    QFETCH(bool, refused);

    // A directory the user may not touch, with a file that must survive the run.
    const QTemporaryDir victimDir(m_work.filePath(QStringLiteral("victim-XXXXXX")));
    const QString victim = victimDir.path();
    QFile precious(victim + QStringLiteral("/precious"));
    QVERIFY(QDir().mkpath(victim + QStringLiteral("/oup")) && precious.open(QIODevice::WriteOnly)
        && precious.write("keep me\n") > 0);
    precious.close();
    const QString dotCache = m_alice->home() + QStringLiteral("/.cache");
    const QString cache = dotCache + QStringLiteral("/tevrin-offline-update");
    // Take down what earlier tests left, as root, before the user rearranges the directory.
    PackageFixture::unmountCache(m_alice->home());
    QVERIFY(QDir(dotCache).removeRecursively());
    QCOMPARE(ChildProcess::run(m_alice->command({ QStringLiteral("sh"), QStringLiteral("-c"),
                 script, QStringLiteral("sh"), dotCache, victim })),
        0);

    const int item = check(m_alice.get(), m_alice->home(), package(QStringLiteral("links")));
    QVERIFY2(refused ? item == 1 : qAbs(item) > 1 && item < 100, qPrintable(QString::number(item)));
    QVERIFY(precious.open(QIODevice::ReadOnly));
    QCOMPARE(precious.readAll(), QByteArray("keep me\n"));
    QVERIFY(!isMountPoint(victim + QStringLiteral("/oup")) && !isMountPoint(victim));
    QVERIFY(!QFileInfo::exists(victim + QStringLiteral("/tevrin-offline-update")));
    // Unless refused, the link was cleared away and a real directory made in its place.
    QVERIFY(
        refused || (!QFileInfo(cache).isSymLink() && isMountPoint(cache + QStringLiteral("/oup"))));
    // The user's own link would break the next run of this user.
    if (refused)
        QVERIFY(QFile::remove(dotCache));
}

void tst_DaemonBus::failingItems_data()
{
    QTest::addColumn<QString>("kind"); // the package: unreadable, fifo, or fine in another home
    QTest::addColumn<int>("item");
    QTest::addColumn<QString>("logged");

    QTest::newRow("package the user cannot read") << "private" << 0 << "refusing";
    QTest::newRow("FIFO as package") << "fifo" << 0 << "refusing";
    QTest::newRow("another user's home") << "fine" << 1 << "refusing the home path";
}

void tst_DaemonBus::failingItems()
{
    QFETCH(QString, kind);
    QFETCH(int, item);
    QFETCH(QString, logged);

    const bool othersHome = kind == QLatin1String("fine");
    QString file;
    if (kind == QLatin1String("fifo")) {
        file = m_work.filePath(QStringLiteral("fifo.oup"));
        QVERIFY(mkfifo(QFile::encodeName(file).constData(), 0666) == 0 || errno == EEXIST);
    } else {
        file = package(kind);
    }
    QVERIFY(kind != QLatin1String("private")
        || QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner));
    m_fixture->log();
    QCOMPARE(check(m_alice.get(), othersHome ? m_bob->home() : m_alice->home(), file), item);
    QVERIFY2(m_fixture->log().contains(logged), qPrintable(m_fixture->log().right(2000)));
    // Nothing may appear in another user's home, whatever the caller sent.
    QVERIFY(!QFileInfo::exists(m_bob->home() + QStringLiteral("/.cache/tevrin-offline-update")));
}

void tst_DaemonBus::passingRunsCarryState()
{
    QVERIFY(PackageFixture::install(m_probeV1));
    const QString patch = package(QStringLiteral("patch"), 2, QStringLiteral("CVE-2026-4242"));
    QVERIFY2(check(m_alice.get(), m_alice->home(), patch) == -6,
        qPrintable(m_fixture->log().right(2000)));
    const auto state = [this] {
        return QVariantList { m_fixture->daemon()->GetUpgradeType().value(),
            m_fixture->daemon()->GetPatchUpgradeSerial().value(),
            m_fixture->daemon()->GetDistUpgradeSum().value() };
    };
    QCOMPARE(state(), QVariantList({ 2, "CVE-2026-4242", 1 }));
    const QString cache = m_alice->home() + QStringLiteral("/.cache/tevrin-offline-update/");

    // A run that fails at item 0 changes nothing the getters show.
    QCOMPARE(check(m_alice.get(), m_alice->home(), m_work.filePath(QStringLiteral("gone.oup"))), 0);
    QCOMPARE(state(), QVariantList({ 2, "CVE-2026-4242", 1 }));

    // A system update read after the patch keeps the patch's identifier.
    QCOMPARE(check(m_bob.get(), m_bob->home(),
                 package(QStringLiteral("update"), 1, QStringLiteral("CVE-IGNORED"))),
        -6);
    QCOMPARE(state(), QVariantList({ 1, "CVE-2026-4242", 1 }));

    // The same user again: the first run's images are unmounted and mounted afresh, and no
    // package brings a set-user-ID program or a device node into a home.
    QCOMPARE(check(m_alice.get(), m_alice->home(), patch), -6);
    const QString mounts = CommandOutput::run(
        QStringLiteral("findmnt"), { QStringLiteral("-rno"), QStringLiteral("TARGET,OPTIONS") });
    const QStringList ours = mounts.split(QLatin1Char('\n')).filter(cache);
    QCOMPARE(ours.size(), 3);
    for (const QString &mount : ours)
        QVERIFY2(mount.contains(QLatin1String("ro,nosuid,nodev")), qPrintable(mount));

    PackageFixture::purge(Probe);
}

void tst_DaemonBus::secondDaemonThenExitApp()
{
    QProcess second;
    second.start(DaemonFixture::daemonProgram(), {});
    QVERIFY(second.waitForFinished(20000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    // The first keeps the name.
    QCOMPARE(
        m_fixture->connection().interface()->servicePid(m_fixture->daemon()->service()).value(),
        uint(m_fixture->process().processId()));

    QCOMPARE(m_fixture->call(nullptr, QStringLiteral("ExitApp"), {}), 0);
    QTRY_COMPARE_WITH_TIMEOUT(m_fixture->process().state(), QProcess::NotRunning, 20000);
    QCOMPARE(m_fixture->process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_fixture->process().exitCode(), 0);
}

QTEST_GUILESS_MAIN(tst_DaemonBus)
#include "tst_daemonbus.moc"
