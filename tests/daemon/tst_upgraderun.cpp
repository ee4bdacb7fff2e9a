// The check engine's steps in-process, with their programs and paths handed in: the upgrade with
// real apt and dpkg on throw-away probe packages from a file:// repository, a df that prints what
// the test wants. Faults caught here (apt's standard error and the shutdown lock during a whole
// upgrade are tst_upgrade's, the space comparisons tst_checkrules'):
// - a program that ran out of time, failed or was killed read as one that succeeded;
// - the backup-space rule reading the wrong df field or path; a missing private source list
//   not made afresh, or not pointed at the run's repository;
// - progress going backwards, repeating, passing 99, flooding the bus, or a held-back value
//   lost; progress after the end of the run;
// - an interrupted dpkg not repaired first, so that apt refuses to run;
// - a character split between reads broken, a NUL byte passed on, a killed or missing apt read
//   as success.
// Without a login manager on the bus the shutdown lock is not waited for: tst_cli's upgrades
// run so.
#include "aptstatusprogress.h"
#include "asynccommand.h"
#include "childprocess.h"
#include "offlinecheck.h"
#include "packagefixture.h"
#include "upgraderun.h"

#include <QtTest>
#include <unistd.h>

namespace {

const QStringList Probes { QStringLiteral("tevrin-probe-ur-a"), QStringLiteral("tevrin-probe-ur-b"),
    QStringLiteral("tevrin-probe-ur-c") };
const QString Killer = QStringLiteral("tevrin-probe-ur-killer");

// The killer's first configuration kills the dpkg that runs it, as a power cut would. Arguments:
// the killer's .deb, its marker file, the repository, the source list and the lists directory.
const char MakeKillerAndRepository[] = R"(d=$(mktemp -d); dpkg-deb -R "$1" "$d"
printf '#!/bin/sh\n[ -e %s ] || { touch %s; kill -9 $PPID; }\n' "$2" "$2" >"$d/DEBIAN/postinst"
chmod 755 "$d/DEBIAN/postinst"; dpkg-deb --build --root-owner-group "$d" "$1" >/dev/null
rm -rf "$d"; cd "$3"; apt-ftparchive packages . >Packages; apt-ftparchive release . >Release
echo "deb [trusted=yes] file:$3 ./" >"$4"; mkdir -p "$5/partial"
apt-get -o Dir::Etc::sourcelist="$4" -o Dir::Etc::sourceparts=/dev/null -o Dir::State::lists="$5" \
    -o APT::Sandbox::User=root update)";

bool writeScript(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size()
        && file.setPermissions(file.permissions() | QFile::ExeOwner);
}

void purgeProbes()
{
    for (const QString &name : Probes + QStringList { Killer })
        PackageFixture::purge(name);
}

} // namespace

class tst_UpgradeRun : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void commands_data();
    void commands();
    void backupSpace();
    void statusProgress_data();
    void statusProgress();
    void upgrade_data();
    void upgrade();

private:
    QTemporaryDir m_work;
    CheckEnvironment m_environment;
    QStringList m_oldDebs;
};

void tst_UpgradeRun::initTestCase()
{
    if (geteuid() != 0)
        return; // only the pure rows run
    const QString repo = m_work.filePath(QStringLiteral("repo"));
    for (const QString &name : Probes + QStringList { Killer }) {
        m_oldDebs << PackageFixture::probeDeb(name, QStringLiteral("1.0"), m_work.path());
        QVERIFY(!PackageFixture::probeDeb(name, QStringLiteral("2.0"), repo).isEmpty());
    }
    m_environment.sourceList = m_work.filePath(QStringLiteral("update.list"));
    m_environment.listsDirectory = m_work.filePath(QStringLiteral("lists"));
    QByteArray printed;
    QVERIFY2(ChildProcess::run({ "sh", "-ec", MakeKillerAndRepository, "sh", m_oldDebs.last(),
                                   m_work.filePath(QStringLiteral("killed")), repo,
                                   m_environment.sourceList, m_environment.listsDirectory },
                 &printed)
            == 0,
        printed.constData());
}

void tst_UpgradeRun::cleanupTestCase()
{
    if (geteuid() == 0)
        purgeProbes();
}

void tst_UpgradeRun::commands_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<bool>("finished");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("output");

    QTest::newRow("succeeds") << "echo out; echo err >&2" << true << 0 << QByteArray("out\n");
    QTest::newRow("fails") << "echo half; exit 3" << true << 3 << QByteArray("half\n");
    QTest::newRow("runs out of time")
        << "echo early; sleep 30; echo late" << false << -1 << QByteArray("early\n");
    QTest::newRow("killed by a signal") << "kill -9 $$" << false << -1 << QByteArray();
}

void tst_UpgradeRun::commands()
{
    QFETCH(QString, script);
    QFETCH(bool, finished);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, output);

    QObject owner;
    bool done = false;
    AsyncCommand::Result result;
    AsyncCommand::start(&owner, QStringLiteral("/bin/sh"), { QStringLiteral("-c"), script }, 500,
        [&](const AsyncCommand::Result &r) {
            result = r;
            done = true;
        });
    QTRY_VERIFY_WITH_TIMEOUT(done, 10000);
    QCOMPARE(result.finished, finished);
    QCOMPARE(result.exitCode, exitCode);
    QCOMPARE(result.succeeded(), finished && exitCode == 0);
    QCOMPARE(result.standardOutput, output);
}

void tst_UpgradeRun::backupSpace()
{
    if (geteuid() != 0)
        QSKIP("needs root: the package is loop-mounted");
    QTemporaryDir home;
    const QString package = home.filePath(QStringLiteral("update.oup"));
    QString error;
    QVERIFY2(PackageFixture::build({}, package, &error), qPrintable(error));
    CheckEnvironment environment;
    environment.sourceList = home.filePath(QStringLiteral("update.list"));
    environment.listsDirectory = home.filePath(QStringLiteral("lists/"));
    environment.runDirectory = home.filePath(QStringLiteral("run"));
    environment.configFile = home.filePath(QStringLiteral("daemon.conf"));
    environment.stateDirectory = home.filePath(QStringLiteral("state"));
    // The home's free space is exactly the root's used space plus the reserve: the check goes on
    // to item 6, which fails as nothing in the package is installed here.
    QVERIFY(writeScript(environment.df = home.filePath(QStringLiteral("df")),
        "#!/bin/sh\necho 'Filesystem 1K-blocks Used Available Use% Mounted on'\ncase \"$1\" in\n"
        "  /home) echo '/dev/fake 1 1 30485760 1% /home' ;;\n"
        "  /) echo '/dev/fake 1 20000000 1 1% /' ;;\n"
        "  *) echo '/dev/fake 1 1 99999999999 1% /var' ;;\nesac\n"));

    OfflineCheck check(environment);
    QSignalSpy results(&check, &OfflineCheck::sendOfflineFileCheckResult);
    check.startOfflineFileCheck(CallerIdentity::root(), QString(), home.path(), package);
    QVERIFY(results.wait(60000));
    QCOMPARE(results.count(), 1);
    QCOMPARE(results.first().at(0).toInt(), 6);
    // The source list did not exist: the check made it, pointing at the run's repository.
    QFile list(environment.sourceList);
    QVERIFY(list.open(QIODevice::ReadOnly)
        && list.readAll().contains(QFile::encodeName(environment.runDirectory) + "/0/repo/"));
    for (const char *mount : { "repo", "hooks", "oup" })
        ChildProcess::run({ "umount", "--lazy", environment.runDirectory + "/0/" + mount });
}

void tst_UpgradeRun::statusProgress_data()
{
    QTest::addColumn<int>("fromStage");
    QTest::addColumn<QStringList>("lines"); // "MS LINE": read at MS, then a value taken at MS
    QTest::addColumn<QStringList>("emitted"); // "MS:VALUE", "end:VALUE" for the final flush

    QTest::newRow("mapped onto fromStage..99")
        << 50 << QStringList { "0 pmstatus:a:0:x", "300 pmstatus:a:50:x", "600 pmstatus:a:100:x" }
        << QStringList { "300:74", "600:99" };
    QTest::newRow("never backwards, never repeated")
        << 50 << QStringList { "0 pmstatus:a:60:x", "300 pmstatus:a:20:x", "600 pmstatus:a:61:x" }
        << QStringList { "0:79" };
    QTest::newRow("held back by the rate limit, then sent")
        << 0 << QStringList { "0 pmstatus:a:10:x", "100 pmstatus:a:20:x", "200 pmstatus:a:30:x" }
        << QStringList { "0:9", "end:29" };
    QTest::newRow("arch-qualified package; other lines ignored")
        << 0
        << QStringList { "0 dlstatus:1:50:x", "0 pmstatus:p:amd64:40:x", "300 pmstatus:p:nan:x",
               "300 garbage", "600 pmstatus:p:150:x" }
        << QStringList { "0:39", "600:99" };
    QTest::newRow("nothing above 99")
        << 99 << QStringList { "0 pmstatus:a:100:x" } << QStringList();
}

void tst_UpgradeRun::statusProgress()
{
    QFETCH(int, fromStage);
    QFETCH(QStringList, lines);
    QFETCH(QStringList, emitted);

    AptStatusProgress progress(fromStage);
    QStringList seen;
    for (const QString &line : lines) {
        const qint64 ms = line.section(QLatin1Char(' '), 0, 0).toLongLong();
        progress.readLine(line.section(QLatin1Char(' '), 1).toUtf8());
        const int value = progress.take(ms);
        if (value >= 0)
            seen << QStringLiteral("%1:%2").arg(ms).arg(value);
    }
    const int last = progress.take(100000);
    if (last >= 0)
        seen << QStringLiteral("end:%1").arg(last);
    QCOMPARE(seen, emitted);
}

void tst_UpgradeRun::upgrade_data()
{
    // Empty: the real apt after the killer's v1 died half-way, which must succeed; else a
    // script standing in for apt, which must fail.
    QTest::addColumn<QByteArray>("apt");
    QTest::addColumn<QString>("outputHas");

    QTest::newRow("interrupted dpkg repaired first, probes upgraded") << QByteArray() << "";
    QTest::newRow("split character whole, NUL dropped, killed apt fails") << QByteArray(
        "printf '\\303'; sleep 0.3; printf '\\251\\000x'; kill -9 $$") << QStringLiteral("\u00e9x");
    QTest::newRow("apt missing") << QByteArray("-") << "";
}

void tst_UpgradeRun::upgrade()
{
    QFETCH(QByteArray, apt);
    const bool success = apt.isEmpty();
    QFETCH(QString, outputHas);
    if (geteuid() != 0)
        QSKIP("needs root: installs and upgrades probe packages with dpkg and apt");

    purgeProbes();
    QFile::remove(m_work.filePath(QStringLiteral("killed")));
    for (const QString &deb : m_oldDebs.mid(0, Probes.size()))
        QVERIFY(PackageFixture::install(deb));
    if (success) {
        PackageFixture::install(m_oldDebs.last()); // dies half-way, as planned
        QVERIFY(UpgradeRun::dpkgInterrupted(m_environment));
    }
    CheckEnvironment environment = m_environment;
    if (apt == "-")
        environment.apt = m_work.filePath(QStringLiteral("no-such-apt"));
    else if (!apt.isEmpty())
        QVERIFY(writeScript(
            environment.apt = m_work.filePath(QStringLiteral("apt")), "#!/bin/sh\n" + apt + '\n'));

    UpgradeRun run(environment);
    QString output;
    QList<int> progress;
    connect(&run, &UpgradeRun::output, this, [&](const QString &text) { output += text; });
    connect(&run, &UpgradeRun::progress, this, [&](int value) { progress << value; });
    QSignalSpy finished(&run, &UpgradeRun::finished);
    run.start(50);
    QVERIFY(run.isRunning());
    QVERIFY(finished.wait(300000));
    const int progressAtEnd = progress.size();
    QTest::qWait(400); // nothing may follow the end
    QCOMPARE(progress.size(), progressAtEnd);
    QVERIFY2(finished.first().first().toBool() == success, qPrintable(output));
    QVERIFY(!run.isRunning());
    QVERIFY2(output.contains(outputHas), qPrintable(output));
    QVERIFY(!output.contains(QChar(0)));
    // How often it may report is statusProgress' concern.
    for (int i = 0; i < progress.size(); ++i)
        QVERIFY(progress[i] > (i ? progress[i - 1] : 50) && progress[i] <= 99);
    if (!success)
        return;
    QVERIFY(!progress.isEmpty());
    QVERIFY(!UpgradeRun::dpkgInterrupted(m_environment));
    for (const QString &name : Probes + QStringList { Killer })
        QCOMPARE(PackageFixture::installedVersion(name), QStringLiteral("2.0"));
}

QTEST_GUILESS_MAIN(tst_UpgradeRun)
#include "tst_upgraderun.moc"
