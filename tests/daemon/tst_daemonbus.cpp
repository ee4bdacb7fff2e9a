// The real daemon program on a private system bus, called by unprivileged users as the tool
// would call it. Faults caught here:
// - more or fewer than one result signal per check, or a result for the wrong item;
// - state lost or reset between runs (getters after a failed run, a patch identifier that a
//   later system update must not clear), the source list not following the caller, mounts left
//   writable, set-user-ID or device-bearing;
// - a user making root act on another user's home, on a file the user cannot read, on a FIFO,
//   or through a symbolic link placed in their cache directory (a file outside must survive,
//   and nothing outside may be mounted over);
// - one user's mounts keeping another user's check from clearing its cache;
// - the published interface drifting from what clients rely on ("serail", "itemtype");
// - a second daemon not leaving the first alone, ExitApp not ending the process with 0.
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

QString machineArchitecture()
{
    return ArchitectureTable::acceptedPackageArchitecture(
        CommandOutput::run(QStringLiteral("uname"), { QStringLiteral("-m") }));
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
    void publishedInterface();
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
    QString package(const QString &name, int type = 1, const QString &cve = {},
        const QString &arch = {}, const QMap<QString, QString> &preHooks = {});
    QString tail() { return m_fixture->log().right(2000); }

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
    QString output;
    if (m_fixture->call(user, QStringLiteral("StartOfflineFileCheck"), { home, file }, &output)
        != 0) {
        qWarning() << "dbus-send failed:" << output;
        return 100;
    }
    // The result is sent before the reply; a second one would follow at once.
    QTest::qWait(200);
    if (results.count() != 1)
        return 100 + results.count();
    const int item = results.first().at(0).toInt();
    return results.first().at(1).toBool() ? -item : item;
}

QString tst_DaemonBus::package(const QString &name, int type, const QString &cve,
    const QString &arch, const QMap<QString, QString> &preHooks)
{
    PackageFixture::Package contents;
    contents.manifest = QStringLiteral(
        R"({"type": %1, "data": {"systemType": "desktop", "cveId": "%2", "archs": "%3"}})")
                            .arg(type)
                            .arg(cve, arch.isEmpty() ? machineArchitecture() : arch);
    contents.debs = QStringList { m_probeV2 };
    contents.preHooks = preHooks;
    const QString path = m_work.filePath(name + QStringLiteral(".oup"));
    QString error;
    if (!PackageFixture::build(contents, path, &error))
        qWarning() << "cannot build" << name << error;
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    return path;
}

void tst_DaemonBus::publishedInterface()
{
    const QDBusReply<QString> xml = m_fixture->connection().call(
        QDBusMessage::createMethodCall(QStringLiteral("com.tevrin.offline.update.daemon"),
            QStringLiteral("/com/tevrin/offline/update/daemon"),
            QStringLiteral("org.freedesktop.DBus.Introspectable"), QStringLiteral("Introspect")));
    QVERIFY(
        xml.value().contains(QLatin1String(R"(<arg direction="out" type="s" name="serail"/>)")));
    QVERIFY(xml.value().contains(QLatin1String(R"(<arg type="i" name="itemtype"/>)")));
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
    QTest::newRow("package for another architecture")
        << "arch" << 4 << "offline file arch check failed";
    // The repository offers the probe, but it is not installed.
    QTest::newRow("nothing upgradable") << "nothing" << 6 << "";
}

void tst_DaemonBus::failingItems()
{
    QFETCH(QString, kind);
    QFETCH(int, item);
    QFETCH(QString, logged);

    QString home = m_alice->home();
    QString file = m_work.filePath(kind + QStringLiteral(".oup"));
    if (kind == QLatin1String("unreadable")) {
        const QString secret = m_work.filePath(QStringLiteral("secret"));
        QVERIFY(QDir().mkpath(secret)
            && QFile::setPermissions(
                secret, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        file = package(QStringLiteral("secret/private"));
    } else if (kind == QLatin1String("fifo")) {
        QVERIFY(mkfifo(QFile::encodeName(file).constData(), 0666) == 0 || errno == EEXIST);
    } else if (kind == QLatin1String("text")) {
        QFile text(file);
        QVERIFY(text.open(QIODevice::WriteOnly) && text.write("not an image\n") > 0);
        QVERIFY(text.setPermissions(QFile::ReadOwner | QFile::ReadOther));
    } else if (kind.endsWith(QLatin1String("home"))) {
        home = kind == QLatin1String("otherhome") ? m_bob->home()
                                                  : QStringLiteral("../../") + m_alice->home();
        file = package(QStringLiteral("fine"));
    } else if (kind == QLatin1String("prehook")) {
        file = package(kind, 1, {}, {},
            { { QStringLiteral("10-refuse"), QStringLiteral("echo refused; exit 1\n") },
                { QStringLiteral("20-after"), QStringLiteral("touch \"$1/after-ran\"\n") } });
    } else if (kind != QLatin1String("missing")) {
        file = package(
            kind, 1, {}, kind == QLatin1String("arch") ? QStringLiteral("arm64") : QString());
    }

    m_fixture->log();
    QCOMPARE(check(m_alice.get(), home, file), item);
    QVERIFY2(m_fixture->log().contains(logged), qPrintable(tail()));
    // Nothing may appear in another user's home, whatever the caller sent.
    QVERIFY(!QFileInfo::exists(m_bob->home() + QStringLiteral("/.cache/tevrin-offline-update")));
    QVERIFY(!QFileInfo::exists(m_alice->home() + QStringLiteral("/after-ran")));
}

void tst_DaemonBus::passingRunsCarryState()
{
    QVERIFY(PackageFixture::install(m_probeV1));
    const QString patch = package(QStringLiteral("patch"), 2, QStringLiteral("CVE-2026-4242"),
        machineArchitecture().toUpper(),
        { { QStringLiteral("check"), QStringLiteral("test -d \"$1\"\n") } });
    QVERIFY2(check(m_alice.get(), m_alice->home(), patch) == -6, qPrintable(tail()));
    const auto state = [this] {
        return QVariantList { m_fixture->daemon()->GetUpgradeType().value(),
            m_fixture->daemon()->GetPatchUpgradeSerial().value(),
            m_fixture->daemon()->GetDistUpgradeSum().value() };
    };
    QCOMPARE(state(), QVariantList({ 2, "CVE-2026-4242", 1 }));
    const QString cache = m_alice->home() + QStringLiteral("/.cache/tevrin-offline-update/");
    QVERIFY(QString::fromUtf8(m_fixture->sourceList()).contains(m_alice->home()));

    // A run that fails at item 0 changes nothing the getters show, and leaves the mounts.
    QCOMPARE(check(m_alice.get(), m_alice->home(), m_work.filePath(QStringLiteral("gone.oup"))), 0);
    QCOMPARE(state(), QVariantList({ 2, "CVE-2026-4242", 1 }));
    QVERIFY(isMountPoint(cache + QStringLiteral("repo")));

    // A system update read after the patch keeps the patch's identifier; another user's run
    // repoints the source list.
    QCOMPARE(check(m_bob.get(), m_bob->home(),
                 package(QStringLiteral("update"), 1, QStringLiteral("CVE-IGNORED"))),
        -6);
    QCOMPARE(state(), QVariantList({ 1, "CVE-2026-4242", 1 }));
    QVERIFY(QString::fromUtf8(m_fixture->sourceList()).contains(m_bob->home()));

    // The same user again: the first run's images are unmounted and mounted afresh, and no
    // package brings a set-user-ID program or a device node into a home.
    QCOMPARE(check(m_alice.get(), m_alice->home(), patch), -6);
    QByteArray mounts;
    QCOMPARE(ChildProcess::run({ QStringLiteral("findmnt"), QStringLiteral("-rn"),
                                   QStringLiteral("-o"), QStringLiteral("TARGET,OPTIONS") },
                 &mounts),
        0);
    const QStringList ours = QString::fromLocal8Bit(mounts).split(QLatin1Char('\n')).filter(cache);
    QCOMPARE(ours.size(), 3);
    for (const QString &mount : ours)
        QVERIFY2(mount.contains(QLatin1String("ro,nosuid,nodev")), qPrintable(mount));

    // Both homes keep images of one file mounted; neither may hold the other's busy.
    for (const TestUser *user : { m_bob.get(), m_alice.get(), m_bob.get() })
        QVERIFY2(check(user, user->home(), patch) == -6, qPrintable(tail()));
    PackageFixture::purge(Probe);
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
    QVERIFY2(refused ? item == 1 : qAbs(item) > 1 && item < 100, qPrintable(tail()));
    QVERIFY(precious.open(QIODevice::ReadOnly));
    QCOMPARE(precious.readAll(), QByteArray("keep me\n"));
    QVERIFY(!isMountPoint(victim + QStringLiteral("/oup")) && !isMountPoint(victim));
    QVERIFY(!QFileInfo::exists(victim + QStringLiteral("/tevrin-offline-update")));
    // Unless refused, the link was cleared away and a real directory made in its place.
    QVERIFY(
        refused || (!QFileInfo(cache).isSymLink() && isMountPoint(cache + QStringLiteral("/oup"))));
}

void tst_DaemonBus::secondDaemonThenExitApp()
{
    QProcess second;
    second.start(DaemonFixture::daemonProgram(), {});
    QVERIFY(second.waitForFinished(20000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(m_fixture->call(nullptr, QStringLiteral("StartApp"), {}), 0);

    QCOMPARE(m_fixture->call(nullptr, QStringLiteral("ExitApp"), {}), 0);
    QTRY_COMPARE_WITH_TIMEOUT(m_fixture->process().state(), QProcess::NotRunning, 20000);
    QCOMPARE(m_fixture->process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_fixture->process().exitCode(), 0);
}

QTEST_GUILESS_MAIN(tst_DaemonBus)
#include "tst_daemonbus.moc"
