// The check engine in-process, with its programs and paths handed in: a df that prints what the
// test wants, hook directories the test lays out in its own run directory. Faults caught here:
// - the backup-space rule reading the wrong df field or path, or passing when df prints no
//   table (its comparison is tst_checkrules');
// - post-upgrade scripts run out of name order (case-blind), through a symbolic link, with the
//   home path split at its blank, or left running past their time limit (with their children);
// - a program that ran out of time, or failed, read as one that succeeded;
// - a missing private source list not made afresh, or not pointed at the run's repository.
#include "asynccommand.h"
#include "offlinecheck.h"
#include "packagefixture.h"

#include <QtTest>
#include <unistd.h>

namespace {

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly)
        && file.write(content) == content.size()
        && file.setPermissions(file.permissions() | QFile::ExeOwner | QFile::ExeOther);
}

} // namespace

class tst_OfflineCheck : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void commands_data();
    void commands();
    void backupSpace_data();
    void backupSpace();
    void postHooks();

private:
    QTemporaryDir m_work;
    CheckEnvironment m_environment;
};

void tst_OfflineCheck::initTestCase()
{
    QVERIFY(m_work.isValid());
    // A df that prints a table from the environment, as the real one prints the disk's.
    m_environment.df = m_work.filePath(QStringLiteral("df"));
    QVERIFY(writeFile(m_environment.df,
        "#!/bin/sh\n"
        "echo 'Filesystem 1K-blocks Used Available Use% Mounted on'\n"
        "[ -n \"$FAKE_DF_HEADER_ONLY\" ] && exit 0\n"
        "case \"$1\" in\n"
        "  /home) echo \"/dev/fake 1 1 $FAKE_HOME_FREE 1% /home\" ;;\n"
        "  /) echo \"/dev/fake 1 $FAKE_ROOT_USED 1 1% /\" ;;\n"
        "esac\n"));
    m_environment.sourceList = m_work.filePath(QStringLiteral("update.list"));
    m_environment.listsDirectory = m_work.filePath(QStringLiteral("lists/"));
    m_environment.runDirectory = m_work.filePath(QStringLiteral("run"));
    m_environment.configFile = m_work.filePath(QStringLiteral("daemon.conf"));
    m_environment.hookTimeLimitMs = 1000;
}

void tst_OfflineCheck::commands_data()
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

void tst_OfflineCheck::commands()
{
    QFETCH(QString, script);
    QFETCH(bool, finished);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, output);

    QObject owner;
    bool done = false;
    AsyncCommand::Result result;
    QElapsedTimer clock;
    clock.start();
    AsyncCommand::start(&owner, QStringLiteral("/bin/sh"), { QStringLiteral("-c"), script }, 500,
        [&](const AsyncCommand::Result &r) {
            result = r;
            done = true;
        });
    QTRY_VERIFY_WITH_TIMEOUT(done, 10000);
    QVERIFY(clock.elapsed() < 5000);
    QCOMPARE(result.finished, finished);
    QCOMPARE(result.exitCode, exitCode);
    QCOMPARE(result.succeeded(), finished && exitCode == 0);
    QCOMPARE(result.standardOutput, output);
}

void tst_OfflineCheck::backupSpace_data()
{
    QTest::addColumn<QByteArray>("homeFree");
    QTest::addColumn<QByteArray>("rootUsed"); // empty: df prints no table
    QTest::addColumn<int>("item");

    // Item 6 then fails: nothing in the package is installed here.
    QTest::newRow("free equals used plus reserve")
        << QByteArray("30485760") << QByteArray("20000000") << 6;
    QTest::newRow("df prints no table") << QByteArray() << QByteArray() << 0;
}

void tst_OfflineCheck::backupSpace()
{
    if (geteuid() != 0)
        QSKIP("needs root: the package is loop-mounted");
    QFETCH(QByteArray, homeFree);
    QFETCH(QByteArray, rootUsed);
    QFETCH(int, item);

    QTemporaryDir home;
    const QString package = home.filePath(QStringLiteral("update.oup"));
    QString error;
    QVERIFY2(PackageFixture::build({}, package, &error), qPrintable(error));
    qputenv("FAKE_HOME_FREE", homeFree);
    qputenv("FAKE_ROOT_USED", rootUsed);
    qputenv("FAKE_DF_HEADER_ONLY", rootUsed.isEmpty() ? "1" : "");

    QFile::remove(m_environment.sourceList);
    OfflineCheck check(m_environment);
    QSignalSpy results(&check, &OfflineCheck::sendOfflineFileCheckResult);
    check.startOfflineFileCheck(CallerIdentity::root(), home.path(), package);
    QVERIFY(results.wait(60000));
    QCOMPARE(results.count(), 1);
    QCOMPARE(results.first().at(0).toInt(), item);
    // The source list did not exist: the check that got to item 6 made it, pointing at the run's
    // repository.
    QFile list(m_environment.sourceList);
    QCOMPARE(list.open(QIODevice::ReadOnly)
            && list.readAll().contains(QFile::encodeName(m_environment.runDirectory) + "/0/repo/"),
        item == 6);
    for (const char *mount : { "repo", "hooks", "oup" })
        QProcess::execute(QStringLiteral("umount"),
            { QStringLiteral("--lazy"),
                m_environment.runDirectory + QStringLiteral("/0/") + mount });
}

void tst_OfflineCheck::postHooks()
{
    const QString home = m_work.filePath(QStringLiteral("my home"));
    const QString hooks = m_environment.runDirectory + QStringLiteral("/4242/hooks/posthook/");
    for (const char *name : { "B-second", "a-first", ".hidden" })
        QVERIFY(writeFile(hooks + QLatin1String(name),
            "printf '%s %s %s\\n' \"$(basename \"$0\")\" \"$#\" \"$1\" >> \"$1/order\"\n"));
    // Past the time limit, with a child of its own: both end, and the next script still runs.
    QVERIFY(
        writeFile(hooks + QStringLiteral("A-slow"), "sleep 7.25 &\nsleep 6\ntouch \"$1/late\"\n"));
    // A link in the directory is not run, whatever it points at.
    QVERIFY(writeFile(m_work.filePath(QStringLiteral("outside")), "touch \"$1/outside-ran\"\n"));
    QVERIFY(
        QFile::link(m_work.filePath(QStringLiteral("outside")), hooks + QStringLiteral("0-link")));
    QVERIFY(QDir().mkpath(home));

    OfflineCheck check(m_environment);
    QSignalSpy finished(&check, &OfflineCheck::hookPostFinished);
    QElapsedTimer clock;
    clock.start();
    check.startHookPost(4242, home);
    QVERIFY(finished.wait(20000));
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    QFile order(home + QStringLiteral("/order"));
    QVERIFY(order.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(order.readAll()),
        QStringLiteral(".hidden 1 %1\na-first 1 %1\nB-second 1 %1\n").arg(home));
    QVERIFY(!QFileInfo::exists(home + QStringLiteral("/outside-ran")));
    QVERIFY(!QFileInfo::exists(home + QStringLiteral("/late")));
    QCOMPARE(QProcess::execute(
                 QStringLiteral("pgrep"), { QStringLiteral("-f"), QStringLiteral("sleep 7.25") }),
        1);
}

QTEST_GUILESS_MAIN(tst_OfflineCheck)
#include "tst_offlinecheck.moc"
