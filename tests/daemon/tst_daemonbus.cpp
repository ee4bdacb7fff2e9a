// The real daemon program on a private system bus, called by unprivileged users as the tool
// would call it. Faults caught here:
// - more or fewer than one result signal per check, or a result for the wrong item;
// - state lost or reset between runs (getters after a failed run, a patch identifier that a
//   later system update must not clear);
// - a user making root act on another user's home, on a file the user cannot read, or through
//   a symbolic link placed in their cache directory (a file outside must survive, and nothing
//   outside may be mounted over);
// - the published interface drifting from what clients rely on ("serail", "itemtype");
// - a second daemon not leaving the first alone, ExitApp not ending the process with 0.
#include "architecturetable.h"
#include "commandoutput.h"
#include "daemonfixture.h"
#include "daemoninterface.h"
#include "packagefixture.h"
#include "systemsourcelist.h"
#include "testuser.h"

#include <QtTest>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString Probe = QStringLiteral("tevrin-probe-bus");

QString machineArchitecture()
{
    return ArchitectureTable::acceptedPackageArchitecture(
        CommandOutput::run(QStringLiteral("uname"), { QStringLiteral("-m") }));
}

QString manifest(int type, const QString &cve, const QString &arch)
{
    return QStringLiteral(R"({"type": %1, "data": {"systemType": "desktop", "cveId": "%2", "archs": "%3"}})")
        .arg(type)
        .arg(cve, arch);
}

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
    void gettersBeforeAnyCheck();
    void introspection();
    void failingItems_data();
    void failingItems();
    void passingRunsCarryState();
    void twoUsersCheckTheSamePackage();
    void linksInTheCacheAreNotFollowed_data();
    void linksInTheCacheAreNotFollowed();
    void secondDaemonLeavesTheFirstAlone();
    void exitAppEndsWithZero();

private:
    struct Result
    {
        int count = 0;
        int item = -1;
        bool passed = false;
    };
    Result check(const TestUser *user, const QString &home, const QString &file);
    QString package(const QString &name, const PackageFixture::Package &contents);

    QTemporaryDir m_work;
    std::unique_ptr<TestUser> m_alice;
    std::unique_ptr<TestUser> m_bob;
    std::unique_ptr<DaemonFixture> m_fixture;
    QString m_probeV1;
    QString m_probeV2;
    std::unique_ptr<SystemSourceList> m_sourceList;
};

void tst_DaemonBus::initTestCase()
{
    if (geteuid() != 0)
        QSKIP("needs root: the daemon mounts packages and the test makes users");
    QVERIFY(m_work.isValid());
    // Users must reach the packages the test makes for them.
    QVERIFY(QFile::setPermissions(m_work.path(), QFile::ReadOwner | QFile::WriteOwner
                                                     | QFile::ExeOwner | QFile::ReadOther
                                                     | QFile::ExeOther));

    m_alice = std::make_unique<TestUser>(QStringLiteral("tevrint-alice"));
    m_bob = std::make_unique<TestUser>(QStringLiteral("tevrint-bob"));
    QVERIFY(m_alice->isValid() && m_bob->isValid());

    m_sourceList = std::make_unique<SystemSourceList>();
    QVERIFY(m_sourceList->isValid());

    m_probeV1 = PackageFixture::probeDeb(Probe, QStringLiteral("1.0"), m_work.filePath(QStringLiteral("v1")));
    m_probeV2 = PackageFixture::probeDeb(Probe, QStringLiteral("2.0"), m_work.filePath(QStringLiteral("v2")));
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
    m_sourceList.reset();
    for (const TestUser *user : { m_alice.get(), m_bob.get() }) {
        if (!user)
            continue;
        // The daemon leaves its mounts until the next run; take them down before userdel.
        PackageFixture::unmountCache(user->home());
    }
}

tst_DaemonBus::Result tst_DaemonBus::check(const TestUser *user, const QString &home,
                                           const QString &file)
{
    QSignalSpy results(m_fixture->daemon(),
                       &ComTevrinOfflineUpdateDaemonInterface::NotifyOfflineFileCheckResult);
    QString output;
    const int rc = m_fixture->call(user, QStringLiteral("StartOfflineFileCheck"), { home, file },
                                   &output);
    Result result;
    if (rc != 0) {
        qWarning() << "dbus-send failed:" << output;
        return result;
    }
    // The result is sent before the reply; a second one would follow at once.
    QTest::qWait(200);
    result.count = results.count();
    if (!results.isEmpty()) {
        result.item = results.first().at(0).toInt();
        result.passed = results.first().at(1).toBool();
    }
    return result;
}

QString tst_DaemonBus::package(const QString &name, const PackageFixture::Package &contents)
{
    const QString path = m_work.filePath(name + QStringLiteral(".oup"));
    QString error;
    if (!PackageFixture::build(contents, path, &error)) {
        qWarning() << "cannot build" << name << error;
        return {};
    }
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    return path;
}

void tst_DaemonBus::gettersBeforeAnyCheck()
{
    QCOMPARE(m_fixture->daemon()->GetUpgradeType().value(), 0);
    QCOMPARE(m_fixture->daemon()->GetPatchUpgradeSerial().value(), QString());
    QCOMPARE(m_fixture->daemon()->GetDistUpgradeSum().value(), 0);
}

void tst_DaemonBus::introspection()
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("com.tevrin.offline.update.daemon"),
        QStringLiteral("/com/tevrin/offline/update/daemon"),
        QStringLiteral("org.freedesktop.DBus.Introspectable"), QStringLiteral("Introspect"));
    const QDBusReply<QString> xml = m_fixture->connection().call(call);
    QVERIFY(xml.isValid());
    QVERIFY(xml.value().contains(
        QLatin1String(R"(<arg direction="out" type="s" name="serail"/>)")));
    QVERIFY(xml.value().contains(QLatin1String(R"(<arg type="i" name="itemtype"/>)")));
    // Members in their published order.
    int last = -1;
    for (const char *member : { "StartApp", "ExitApp", "StartOfflineFileCheck",
                                "NotifyOfflineFileCheckResult", "NotifyExecDistUpgradeInfo",
                                "GetUpgradeType", "GetPatchUpgradeSerial", "IsAllowBackupSystem",
                                "GetDistUpgradeSum", "BackupSystem", "NotifyOfflineUpgradeProgress",
                                "StartExecHookPost" }) {
        const int at = xml.value().indexOf(QStringLiteral("name=\"%1\"").arg(QLatin1String(member)));
        QVERIFY2(at > last, member);
        last = at;
    }
    // The service object's own slots are not exported.
    QVERIFY(!xml.value().contains(QLatin1String("acceptOfflineFileCheckResult")));
}

void tst_DaemonBus::failingItems_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("item");
    QTest::addColumn<QString>("logged");

    QTest::newRow("missing package") << "missing" << 0 << "not exist";
    QTest::newRow("package the user cannot read") << "unreadable" << 0 << "refusing";
    QTest::newRow("FIFO as package") << "fifo" << 0 << "refusing";
    QTest::newRow("text file as package") << "text" << 1 << "";
    QTest::newRow("another user's home") << "otherhome" << 1 << "refusing the home path";
    QTest::newRow("relative home path") << "relativehome" << 1 << "refusing the home path";
    QTest::newRow("pre-upgrade hook fails") << "prehook" << 2 << "";
    QTest::newRow("package for another architecture") << "arch" << 4 << "offline file arch check failed";
    QTest::newRow("nothing upgradable") << "nothing" << 6 << "";
}

void tst_DaemonBus::failingItems()
{
    QFETCH(QString, kind);
    QFETCH(int, item);
    QFETCH(QString, logged);

    PackageFixture::Package contents;
    contents.manifest = manifest(1, QString(), machineArchitecture());
    contents.debs = QStringList { m_probeV2 };
    QString home = m_alice->home();
    QString file;
    if (kind == QLatin1String("missing")) {
        file = m_work.filePath(QStringLiteral("no-such.oup"));
    } else if (kind == QLatin1String("unreadable")) {
        const QString secret = m_work.filePath(QStringLiteral("secret"));
        QVERIFY(QDir().mkpath(secret));
        QVERIFY(QFile::setPermissions(secret, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        file = package(QStringLiteral("secret/private"), contents);
    } else if (kind == QLatin1String("fifo")) {
        file = m_work.filePath(QStringLiteral("pipe.oup"));
        QVERIFY(mkfifo(QFile::encodeName(file).constData(), 0666) == 0 || errno == EEXIST);
    } else if (kind == QLatin1String("text")) {
        file = m_work.filePath(QStringLiteral("text.oup"));
        QFile text(file);
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("not an image\n");
        text.close();
        QVERIFY(text.setPermissions(QFile::ReadOwner | QFile::ReadOther));
    } else if (kind == QLatin1String("otherhome")) {
        home = m_bob->home();
        file = package(QStringLiteral("fine"), contents);
    } else if (kind == QLatin1String("relativehome")) {
        home = QStringLiteral("../../") + m_alice->home();
        file = package(QStringLiteral("fine"), contents);
    } else if (kind == QLatin1String("prehook")) {
        contents.preHooks = { { QStringLiteral("10-refuse"), QStringLiteral("echo refused; exit 1\n") },
                              { QStringLiteral("20-after"), QStringLiteral("touch \"$1/after-ran\"\n") } };
        file = package(QStringLiteral("prehook"), contents);
    } else if (kind == QLatin1String("arch")) {
        contents.manifest = manifest(1, QString(), QStringLiteral("arm64"));
        file = package(QStringLiteral("arm64"), contents);
    } else if (kind == QLatin1String("nothing")) {
        // The repository offers the probe, but it is not installed: nothing to upgrade.
        file = package(QStringLiteral("nothing"), contents);
    }
    QVERIFY(!file.isEmpty());

    m_fixture->log();
    const Result result = check(m_alice.get(), home, file);
    QCOMPARE(result.count, 1);
    QCOMPARE(result.item, item);
    QCOMPARE(result.passed, false);
    if (!logged.isEmpty())
        QVERIFY2(m_fixture->log().contains(logged), qPrintable(m_fixture->log().right(2000)));
    // Nothing may appear in another user's home, whatever the caller sent.
    QVERIFY(!QFileInfo::exists(m_bob->home() + QStringLiteral("/.cache/tevrin-offline-update")));
    QVERIFY(!QFileInfo::exists(m_alice->home() + QStringLiteral("/after-ran")));
}

void tst_DaemonBus::passingRunsCarryState()
{
    QVERIFY(PackageFixture::install(m_probeV1));

    PackageFixture::Package patch;
    patch.manifest = manifest(2, QStringLiteral("CVE-2026-4242"), machineArchitecture().toUpper());
    patch.debs = QStringList { m_probeV2 };
    patch.preHooks = { { QStringLiteral("check"), QStringLiteral("test -d \"$1\"\n") } };
    const QString patchFile = package(QStringLiteral("patch"), patch);
    QVERIFY(!patchFile.isEmpty());

    Result result = check(m_alice.get(), m_alice->home(), patchFile);
    QCOMPARE(result.count, 1);
    QCOMPARE(result.item, 6);
    QVERIFY2(result.passed, qPrintable(m_fixture->log().right(3000)));
    QCOMPARE(m_fixture->daemon()->GetUpgradeType().value(), 2);
    QCOMPARE(m_fixture->daemon()->GetPatchUpgradeSerial().value(), QStringLiteral("CVE-2026-4242"));
    QCOMPARE(m_fixture->daemon()->GetDistUpgradeSum().value(), 1);
    const QString cache = m_alice->home() + QStringLiteral("/.cache/tevrin-offline-update/");
    QVERIFY(QFileInfo::exists(cache + QStringLiteral("oup/info.json")));
    QVERIFY(QFileInfo::exists(cache + QStringLiteral("repo/pool")));
    // The private source list now points at this user's repository.
    QCOMPARE(QString::fromUtf8(m_sourceList->read()).trimmed(),
             QStringLiteral("deb [trusted=yes] file://%1/.cache/tevrin-offline-update/repo/ torak main")
                 .arg(m_alice->home()));

    // A run that fails at item 0 changes nothing the getters show, and leaves the mounts.
    result = check(m_alice.get(), m_alice->home(), m_work.filePath(QStringLiteral("gone.oup")));
    QCOMPARE(result.item, 0);
    QCOMPARE(m_fixture->daemon()->GetUpgradeType().value(), 2);
    QCOMPARE(m_fixture->daemon()->GetDistUpgradeSum().value(), 1);
    QVERIFY(isMountPoint(cache + QStringLiteral("repo")));

    // A system update read after the patch keeps the patch's identifier; another user's run
    // clears the first one's mounts only in its own home and repoints the source list.
    PackageFixture::Package update;
    update.manifest = manifest(1, QStringLiteral("CVE-IGNORED"), machineArchitecture());
    update.debs = QStringList { m_probeV2 };
    const QString updateFile = package(QStringLiteral("update"), update);
    result = check(m_bob.get(), m_bob->home(), updateFile);
    QCOMPARE(result.item, 6);
    QVERIFY(result.passed);
    QCOMPARE(m_fixture->daemon()->GetUpgradeType().value(), 1);
    QCOMPARE(m_fixture->daemon()->GetPatchUpgradeSerial().value(), QStringLiteral("CVE-2026-4242"));
    QVERIFY(QString::fromUtf8(m_sourceList->read()).contains(m_bob->home()));

    // The same user again: the first run's images are unmounted and mounted afresh.
    result = check(m_alice.get(), m_alice->home(), patchFile);
    QCOMPARE(result.item, 6);
    QVERIFY(result.passed);
    QProcess findmnt;
    findmnt.start(QStringLiteral("findmnt"), { QStringLiteral("-rn"), QStringLiteral("-o"),
                                               QStringLiteral("TARGET,OPTIONS") });
    QVERIFY(findmnt.waitForFinished());
    const QStringList mounts = QString::fromLocal8Bit(findmnt.readAll()).split(QLatin1Char('\n'));
    const QStringList ours = mounts.filter(cache);
    QCOMPARE(ours.size(), 3);
    for (const QString &mount : ours) {
        // A package brings no set-user-ID program and no device node into a home.
        QVERIFY2(mount.contains(QLatin1String("ro,nosuid,nodev")), qPrintable(mount));
    }
    PackageFixture::purge(Probe);
}

void tst_DaemonBus::twoUsersCheckTheSamePackage()
{
    // One package file checked by two users keeps images mounted in both homes; neither may
    // hold the other's busy, or the next check of either could not clear its cache.
    PackageFixture::Package contents;
    contents.manifest = manifest(1, QString(), machineArchitecture());
    contents.debs = QStringList { m_probeV2 };
    const QString shared = package(QStringLiteral("shared"), contents);
    for (const TestUser *user : { m_alice.get(), m_bob.get(), m_alice.get(), m_bob.get() }) {
        const Result result = check(user, user->home(), shared);
        QCOMPARE(result.count, 1);
        QVERIFY2(result.item == 6, qPrintable(m_fixture->log().right(1500)));
    }
}

void tst_DaemonBus::linksInTheCacheAreNotFollowed_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<bool>("refused");

    QTest::newRow("cache directory is a link") << "cache" << false;
    QTest::newRow("mount point is a link") << "mountpoint" << false;
    QTest::newRow("~/.cache is a link") << "dotcache" << true;
}

void tst_DaemonBus::linksInTheCacheAreNotFollowed()
{
    QFETCH(QString, link);
    QFETCH(bool, refused);

    // A directory the user may not touch, with a file that must survive the run.
    const QString victim = m_work.filePath(QStringLiteral("victim-") + link);
    QVERIFY(QDir().mkpath(victim + QStringLiteral("/oup")));
    QFile precious(victim + QStringLiteral("/precious"));
    QVERIFY(precious.open(QIODevice::WriteOnly));
    precious.write("keep me\n");
    precious.close();

    const QString dotCache = m_alice->home() + QStringLiteral("/.cache");
    const QString cache = dotCache + QStringLiteral("/tevrin-offline-update");
    // Take down what earlier tests left, as root, before the user rearranges the directory.
    PackageFixture::unmountCache(m_alice->home());
    QProcess::execute(QStringLiteral("rm"), { QStringLiteral("-rf"), dotCache });
    int rc = 0;
    if (link == QLatin1String("cache")) {
        rc = m_alice->run({ QStringLiteral("sh"), QStringLiteral("-c"),
                            QStringLiteral("mkdir -p \"$1\" && ln -s \"$2\" \"$3\""),
                            QStringLiteral("sh"), dotCache, victim, cache });
    } else if (link == QLatin1String("mountpoint")) {
        rc = m_alice->run({ QStringLiteral("sh"), QStringLiteral("-c"),
                            QStringLiteral("mkdir -p \"$1\" && ln -s \"$2/oup\" \"$1/oup\" && ln -s \"$2\" \"$1/repo\""),
                            QStringLiteral("sh"), cache, victim });
    } else {
        rc = m_alice->run({ QStringLiteral("ln"), QStringLiteral("-s"), victim, dotCache });
    }
    QCOMPARE(rc, 0);

    PackageFixture::Package contents;
    contents.manifest = manifest(1, QString(), machineArchitecture());
    contents.debs = QStringList { m_probeV2 };
    const QString file = package(QStringLiteral("links"), contents);
    const Result result = check(m_alice.get(), m_alice->home(), file);
    QCOMPARE(result.count, 1);
    if (refused)
        QCOMPARE(result.item, 1);
    else
        QVERIFY2(result.item > 1, qPrintable(m_fixture->log().right(2000)));

    QVERIFY(precious.open(QIODevice::ReadOnly));
    QCOMPARE(precious.readAll(), QByteArray("keep me\n"));
    QVERIFY(!isMountPoint(victim + QStringLiteral("/oup")));
    QVERIFY(!isMountPoint(victim));
    QVERIFY(!QFileInfo::exists(victim + QStringLiteral("/tevrin-offline-update")));
    if (!refused) {
        // The link itself was cleared away and a real directory made in its place.
        QVERIFY(!QFileInfo(cache).isSymLink());
        QVERIFY(isMountPoint(cache + QStringLiteral("/oup")));
    }
}

void tst_DaemonBus::secondDaemonLeavesTheFirstAlone()
{
    QProcess second;
    second.start(DaemonFixture::daemonProgram(), {});
    QVERIFY(second.waitForFinished(20000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(m_fixture->process().state(), QProcess::Running);
    QCOMPARE(m_fixture->call(nullptr, QStringLiteral("StartApp"), {}), 0);
}

void tst_DaemonBus::exitAppEndsWithZero()
{
    QCOMPARE(m_fixture->call(nullptr, QStringLiteral("ExitApp"), {}), 0);
    QTRY_COMPARE_WITH_TIMEOUT(m_fixture->process().state(), QProcess::NotRunning, 20000);
    QCOMPARE(m_fixture->process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_fixture->process().exitCode(), 0);
}

QTEST_GUILESS_MAIN(tst_DaemonBus)
#include "tst_daemonbus.moc"
