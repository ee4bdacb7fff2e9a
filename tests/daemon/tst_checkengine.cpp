// The check engine's items in-process, with every program and path handed in: no test here
// writes the machine's own sources, lists or dpkg state. apt and dpkg are stand-ins that
// report one upgradable package, plan and install it, and succeed. Faults caught here:
// - a home that is not the caller's taken as theirs (its check's result ignored);
// - a hooks image that does not mount taken as a package without hooks;
// - a check that remounts or repoints the source list while another package manager holds
//   dpkg's lock;
// - a script run after a link was swapped into the home's path by an earlier one;
// - a run directory that others may enter;
// - the package written to after its check (after the upgrade was asked for) reaching the
//   upgrade or its post-upgrade scripts: they must run what was checked.
#include "checkenvironment.h"
#include "childprocess.h"
#include "offlinecheck.h"
#include "offlineupdateprotocol.h"
#include "packagefixture.h"

#include <QtTest>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool writeFile(const QString &path, const QByteArray &content, bool executable = false)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size()
        && (!executable || file.setPermissions(file.permissions() | QFile::ExeOwner));
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString postHook(const QString &text)
{
    return QStringLiteral("echo %1 > \"$1/post-marker\"\n").arg(text);
}

} // namespace

class tst_CheckEngine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void faults_data();
    void faults();
    void rewrittenAfterCheck();

private:
    CheckEnvironment environment(const QTemporaryDir &work) const;
    // Runs one check of |package| for |caller| with |home|: the item of its one result,
    // negated when it passed; 100 + the count of results when there was not exactly one.
    int check(OfflineCheck &engine, const CallerIdentity &caller, const QString &home,
        const QString &package);
};

void tst_CheckEngine::initTestCase()
{
    if (geteuid() != 0)
        QSKIP("needs root: packages are loop-mounted and scripts run in namespaces");
}

CheckEnvironment tst_CheckEngine::environment(const QTemporaryDir &work) const
{
    CheckEnvironment environment;
    environment.sourceList = work.filePath(QStringLiteral("update.list"));
    environment.listsDirectory = work.filePath(QStringLiteral("lists/"));
    environment.runDirectory = work.filePath(QStringLiteral("run"));
    environment.stateDirectory = work.filePath(QStringLiteral("state"));
    environment.configFile = work.filePath(QStringLiteral("daemon.conf"));
    environment.dpkgAdminDirectory = work.filePath(QStringLiteral("dpkg"));
    QDir().mkpath(environment.dpkgAdminDirectory);
    writeFile(environment.dpkgAdminDirectory + QStringLiteral("/lock-frontend"), QByteArray());
    environment.df = work.filePath(QStringLiteral("df"));
    writeFile(environment.df,
        "#!/bin/sh\necho 'Filesystem 1K-blocks Used Available Use% Mounted on'\n"
        "echo '/dev/fake 1 1000 99999999999 1% /'\n",
        true);
    // The probe is at 2.0 once the stand-in apt has upgraded it.
    const QString upgraded = work.filePath(QStringLiteral("upgraded"));
    environment.apt = work.filePath(QStringLiteral("apt"));
    writeFile(environment.apt,
        QStringLiteral("#!/bin/sh\ncase \"$*\" in *dist-upgrade*) touch '%1' ;; *list*) echo "
                       "'tevrin-probe-engine/torak 2.0 amd64 [upgradable from: 1.0]' ;; esac\n"
                       "exit 0\n")
            .arg(upgraded)
            .toUtf8(),
        true);
    environment.aptGet = work.filePath(QStringLiteral("apt-get"));
    writeFile(environment.aptGet,
        "#!/bin/sh\necho 'Inst tevrin-probe-engine [1.0] (2.0 torak [amd64])'\n", true);
    environment.aptCache = work.filePath(QStringLiteral("apt-cache"));
    writeFile(environment.aptCache,
        "#!/bin/sh\nprintf 'Package: tevrin-probe-engine\\nVersion: 2.0\\nArchitecture: amd64\\n"
        "Installed-Size: 1\\n\\n'\n",
        true);
    environment.dpkgQuery = work.filePath(QStringLiteral("dpkg-query"));
    writeFile(environment.dpkgQuery,
        QStringLiteral("#!/bin/sh\nversion=1.0\n[ -e '%1' ] && version=2.0\n"
                       "printf 'tevrin-probe-engine\\tamd64\\t%s\\tii \\tno\\toptional\\t1\\n\\n' "
                       "$version\n")
            .arg(upgraded)
            .toUtf8(),
        true);
    environment.dpkg = QStringLiteral("/bin/true");
    return environment;
}

int tst_CheckEngine::check(OfflineCheck &engine, const CallerIdentity &caller, const QString &home,
    const QString &package)
{
    QSignalSpy results(&engine, &OfflineCheck::sendOfflineFileCheckResult);
    engine.startOfflineFileCheck(caller, QString(), home, package);
    // A check refused at once reports before it returns.
    if (results.isEmpty() && !results.wait(120000))
        return 100;
    QTest::qWait(50); // a second result would come right after the first
    if (results.count() != 1)
        return 100 + results.count();
    return results.first().at(1).toBool() ? -results.first().at(0).toInt()
                                          : results.first().at(0).toInt();
}

void tst_CheckEngine::faults_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("item");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("detail"); // a part of it

    using namespace OfflineUpdate;
    QTest::newRow("none") << "" << -6 << Reason::None << "";
    QTest::newRow("a home that is not the caller's")
        << "home" << 1 << Reason::NotAuthorized << "not the home directory";
    QTest::newRow("a hooks image that does not mount") << "hooks" << 2 << Reason::NotPackage << "mount";
    QTest::newRow("dpkg's lock held") << "lock" << 0 << Reason::PackageManagerRunning << "pid";
    QTest::newRow("a link swapped into the home by an earlier script")
        << "swap" << 2 << Reason::HookRefused << "no longer leads";
}

void tst_CheckEngine::faults()
{
    QFETCH(QString, fault);
    QFETCH(int, item);
    QFETCH(QString, key);
    QFETCH(QString, detail);

    QTemporaryDir work;
    // Others must reach the package; the home is a directory of its own.
    QVERIFY(chmod(QFile::encodeName(work.path()).constData(), 0755) == 0);
    const CheckEnvironment settings = environment(work);
    const QString home = work.filePath(QStringLiteral("home"));
    QVERIFY(QDir().mkpath(home));
    // An earlier version made the run directories open to everyone.
    QVERIFY(QDir().mkpath(settings.runDirectory + QStringLiteral("/0")));

    PackageFixture::Package contents;
    contents.preHooks = { { QStringLiteral("10-first"), QStringLiteral("exit 0\n") },
        { QStringLiteral("20-second"), QStringLiteral("touch \"$1/second-ran\"\n") } };
    // Where the swapped-in link leads.
    const QString elsewhere = work.filePath(QStringLiteral("elsewhere"));
    QVERIFY(QDir().mkpath(elsewhere));
    if (fault == QLatin1String("swap"))
        contents.preHooks[QStringLiteral("10-first")]
            = QStringLiteral("mv \"$1\" \"$1.moved\" && ln -s '%1' \"$1\"\n").arg(elsewhere);
    const QString package = work.filePath(QStringLiteral("update.oup"));
    QString error;
    QVERIFY2(PackageFixture::build(contents, package, &error), qPrintable(error));
    if (fault == QLatin1String("hooks"))
        QCOMPARE(ChildProcess::run({ QStringLiteral("sh"), QStringLiteral("-ec"),
                     R"(w=$(mktemp -d); unsquashfs -q -d "$w/root" "$1" >/dev/null
head -c 8192 /dev/urandom > "$w/root/hooks.sfs"
mksquashfs "$w/root" "$1" -noappend -all-root >/dev/null; rm -rf "$w")",
                     QStringLiteral("sh"), package }),
            0);
    QVERIFY(QFile::setPermissions(package, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));

    CallerIdentity caller = CallerIdentity::root();
    if (fault == QLatin1String("home")) {
        caller.uid = caller.gid = 65534;
        caller.home = QStringLiteral("/nonexistent");
    }
    ChildProcess locker;
    if (fault == QLatin1String("lock")) {
        locker.start(QStringLiteral("python3"),
            { QStringLiteral("-c"),
                QStringLiteral("import fcntl,sys,time; f=open(sys.argv[1],'w'); "
                               "fcntl.lockf(f, fcntl.LOCK_EX); print('locked', flush=True); "
                               "time.sleep(60)"),
                settings.dpkgAdminDirectory + QStringLiteral("/lock-frontend") });
        QVERIFY(locker.waitForReadyRead(10000));
    }

    OfflineCheck engine(settings);
    CheckRun *run = nullptr;
    QCOMPARE(check(engine, caller, home, package), item);
    run = engine.run(caller.uid);
    QVERIFY(run);
    QCOMPARE(run->record().reasonKey, key);
    QVERIFY2(run->record().reasonDetail.contains(detail), qPrintable(run->record().reasonDetail));
    if (fault == QLatin1String("swap"))
        QVERIFY(!QFileInfo::exists(elsewhere + QStringLiteral("/second-ran")));
    if (fault == QLatin1String("lock")) {
        // Nothing was mounted or pointed anywhere.
        QVERIFY(!QFileInfo::exists(settings.sourceList));
        QVERIFY(!QFileInfo::exists(settings.runDirectory + QStringLiteral("/0/oup")));
    }
    if (item >= 0)
        return;
    QVERIFY(QFileInfo::exists(home + QStringLiteral("/second-ran")));
    struct stat status = {};
    QVERIFY(stat(QFile::encodeName(settings.runDirectory + QStringLiteral("/0")).constData(), &status)
        == 0);
    QCOMPARE(status.st_mode & 07777, mode_t(0700));
}

// The package is rewritten once the upgrade was asked for, and the page cache of the file
// dropped: what the upgrade and its post-upgrade scripts run is still what was checked.
void tst_CheckEngine::rewrittenAfterCheck()
{
    QTemporaryDir work;
    const CheckEnvironment settings = environment(work);
    const QString home = work.filePath(QStringLiteral("home"));
    QVERIFY(QDir().mkpath(home));
    const QString package = work.filePath(QStringLiteral("update.oup"));
    const QString other = work.filePath(QStringLiteral("other.oup"));
    PackageFixture::Package checked;
    checked.postHooks = { { QStringLiteral("10-post"), postHook(QStringLiteral("checked")) } };
    PackageFixture::Package rewritten;
    rewritten.postHooks = { { QStringLiteral("10-post"), postHook(QStringLiteral("rewritten")) } };
    QString error;
    QVERIFY2(PackageFixture::build(checked, package, &error), qPrintable(error));
    QVERIFY2(PackageFixture::build(rewritten, other, &error), qPrintable(error));

    OfflineCheck engine(settings);
    QCOMPARE(check(engine, CallerIdentity::root(), home, package), -6);
    CheckRun *run = engine.run(0);
    QVERIFY(run);
    QSignalSpy upgraded(&engine, &OfflineCheck::upgradeFinished);
    engine.startSystemUpgrade(run, 30);
    QVERIFY(writeFile(package, readFile(other)));
    QVERIFY(writeFile(QStringLiteral("/proc/sys/vm/drop_caches"), "3\n"));
    QVERIFY(upgraded.wait(60000));
    QCOMPARE(upgraded.first().first().toBool(), true);
    QVERIFY(run->upgradeSucceeded());

    QSignalSpy postDone(&engine, &OfflineCheck::hookPostFinished);
    engine.startHookPost(run);
    QVERIFY(postDone.wait(60000));
    QCOMPARE(postDone.first().first().toString(), QString());
    QCOMPARE(readFile(home + QStringLiteral("/post-marker")), QByteArray("checked\n"));
    // The run ended with its scripts: its mounts and copy are gone.
    QVERIFY(!engine.run(0));
    QVERIFY(QDir(settings.stateDirectory + QStringLiteral("/packages"))
                .entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden)
                .isEmpty());
}

QTEST_GUILESS_MAIN(tst_CheckEngine)
#include "tst_checkengine.moc"
