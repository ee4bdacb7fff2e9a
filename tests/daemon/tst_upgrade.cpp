// A real upgrade through the real daemon: a throw-away probe package installed at 1.0 is
// upgraded to 2.0 from an offline package's repository, behind the development recovery
// service set up for each branch of the backup sequence. The new probe's maintainer script
// writes to standard error and takes a few seconds. Faults caught here:
// - status texts, progress pairs and apt output sent in the wrong order, pairs after a final
//   pair, or BackupSystem answered before the upgrade it runs without a backup has ended;
// - the daemon blocked while the upgrade runs (getters not answered within a second);
// - apt's standard error not reaching the progress view;
// - an upgrade made although the backup failed, was refused, or its service left the bus, or
//   not made after the backup ended well; an upgrade started by the end of a backup that this
//   daemon never asked for, or by a job of another kind;
// - shutdown not held off from the first pair to the final one, or still held off afterwards;
// - an upgrade without a backup let in before a backup failed, or twice;
// - post-upgrade scripts asking their user again, running a second time, or not running in
//   name order with the user's verified home (a user the authority refuses is
//   tst_authorization's).
#include "daemonfixture.h"
#include "daemoninterface.h"
#include "offlineupdateprotocol.h"
#include "packagefixture.h"
#include "testuser.h"

#include <QtTest>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString Probe = QStringLiteral("tevrin-probe-upgrade");
const QString PostOrder = QStringLiteral("/tmp/tevrin-post-order");
const QString StderrLine = QStringLiteral("tevrin-probe-says-hello");
const QStringList StatusTexts { QStringLiteral("info:开始进行系统备份..."),
    QStringLiteral("info:系统备份完成"), QStringLiteral("info:开始进行系统升级...") };
const QRegularExpression FinalPair(QStringLiteral("^progress:(100,1|\\d+,-\\d+)$"));

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class tst_Upgrade : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void backupThenUpgrade_data();
    void backupThenUpgrade();
    void postHooks();
    void withoutBackupAfterItFailed();

private:
    void checkAsCarol();

    QTemporaryDir m_work;
    std::unique_ptr<TestUser> m_carol;
    std::unique_ptr<DaemonFixture> m_fixture;
    ChildProcess m_logind;
    QString m_logindRecord;
    QString m_probeV1;
    QString m_package;
};

void tst_Upgrade::initTestCase()
{
    if (geteuid() != 0)
        QSKIP("needs root: the daemon mounts the package and upgrades a probe package");
    QVERIFY(m_work.isValid() && chmod(QFile::encodeName(m_work.path()).constData(), 0755) == 0);
    m_carol = std::make_unique<TestUser>(QStringLiteral("tevrint-carol"));
    QVERIFY(m_carol->isValid());

    PackageFixture::Package contents;
    contents.debs = QStringList { QString() };
    QVERIFY(PackageFixture::probePair(Probe, m_work.path(), &m_probeV1, &contents.debs.first(),
        QStringLiteral("echo %1 >&2\nsleep 3").arg(StderrLine)));
    const QString post
        = QStringLiteral("printf '%s %s %s\\n' \"$(basename \"$0\")\" \"$#\" \"$1\" >> ")
        + PostOrder + QLatin1Char('\n');
    contents.postHooks
        = { { QStringLiteral("B-last"), post }, { QStringLiteral("a-first"), post } };
    m_package = m_work.filePath(QStringLiteral("upgrade.oup"));
    QString error;
    QVERIFY2(PackageFixture::build(contents, m_package, &error), qPrintable(error));
    m_fixture = std::make_unique<DaemonFixture>();
    QVERIFY2(m_fixture->startBus(&error), qPrintable(error));
    m_logindRecord = m_work.filePath(QStringLiteral("logind-record"));
    m_logind.start(qEnvironmentVariable("TEVRIN_BINARY_DIR")
            + QStringLiteral("/tools/devlogind/tevrin-dev-logind"),
        { QStringLiteral("--record"), m_logindRecord });
    QTRY_VERIFY_WITH_TIMEOUT(readFile(m_logindRecord).endsWith(" ready\n"), 10000);
    QVERIFY2(m_fixture->start(&error), qPrintable(error));
}

void tst_Upgrade::cleanupTestCase()
{
    m_fixture.reset();
    PackageFixture::purge(Probe);
    QFile::remove(PostOrder);
}

void tst_Upgrade::checkAsCarol()
{
    PackageFixture::purge(Probe);
    QVERIFY(PackageFixture::install(m_probeV1));
    QCOMPARE(m_fixture->check(m_carol.get(), m_package), -6);
}

void tst_Upgrade::backupThenUpgrade_data()
{
    QTest::addColumn<QStringList>("recovery"); // its options; empty: no recovery service
    QTest::addColumn<bool>("callBackup");
    QTest::addColumn<bool>("killRecovery"); // once it accepted the backup
    // Status texts and fixed pairs in order, apt's output and its progress folded into "output".
    QTest::addColumn<QStringList>("outline");
    QTest::addColumn<QString>("version");

    const QStringList start { StatusTexts[0], QStringLiteral("progress:30,1") };
    // Where no backup is made, none is announced.
    const QStringList noBackup { StatusTexts[2], QStringLiteral("progress:30,1") };
    const QStringList upgraded { QStringLiteral("output"), QStringLiteral("progress:100,1") };
    const QStringList backupFailed { QStringLiteral("progress:70,-1") };
    QTest::newRow("no recovery service")
        << QStringList() << true << false << noBackup + upgraded << "2.0";
    QTest::newRow("backup not possible")
        << QStringList { "--can-backup", "no" } << true << false << noBackup + upgraded << "2.0";
    QTest::newRow("backup ends well")
        << QStringList { "--job-success", "yes" } << true << false
        << start + QStringList { StatusTexts[1], "progress:50,1", StatusTexts[2] } + upgraded
        << "2.0";
    QTest::newRow("StartBackup refused")
        << QStringList { "--start-backup", "error" } << true << false
        << start + QStringList { "progress:30,-1" } << "1.0";
    // The service's message reaches the caller before the failure.
    QTest::newRow("backup fails") << QStringList { "--job-success", "no", "--job-message",
        "disk on fire" } << true << false
                                  << start + QStringList { "output" } + backupFailed << "1.0";
    QTest::newRow("end of a job of another kind, then the service leaves")
        << QStringList { "--job-kind", "Backup" } << true << true << start + backupFailed << "1.0";
    QTest::newRow("recovery service leaves during the backup")
        << QStringList { "--no-job-end" } << true << true << start + backupFailed << "1.0";
    QTest::newRow("end of a backup nobody asked for") << QStringList { "--unprompted-job-end",
        "200" } << false << false << QStringList() << "1.0";
}

void tst_Upgrade::backupThenUpgrade()
{
    QFETCH(QStringList, recovery);
    QFETCH(bool, callBackup);
    QFETCH(bool, killRecovery);
    QFETCH(QStringList, outline);
    QFETCH(QString, version);

    checkAsCarol();
    // apt takes locks of its own around dpkg; ours are the ones that name this system.
    const QByteArray OurLock = QByteArrayLiteral("\"Tevrin offline update\"");
    const int locksBefore = readFile(m_logindRecord).count(OurLock);
    QStringList events;
    QStringList seen; // the outline so far
    const auto record = [&](const QString &event) {
        events << event;
        const bool output
            = (event.startsWith(QLatin1String("info:")) && !StatusTexts.contains(event))
            || (event.startsWith(QLatin1String("progress:")) && event.endsWith(QLatin1String(",1"))
                && !event.contains(QRegularExpression(QStringLiteral("^progress:(30|50|100),"))));
        if (!output || seen.isEmpty() || seen.last() != QLatin1String("output"))
            seen << (output ? QStringLiteral("output") : event);
    };
    ChildProcess service;
    if (!recovery.isEmpty()) {
        service.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        service.start(qEnvironmentVariable("TEVRIN_BINARY_DIR")
                + QStringLiteral("/tools/devabrecovery/tevrin-dev-abrecovery"),
            recovery);
        QVERIFY(service.waitForReadyRead(10000) && service.readLine() == "ready\n");
    }
    QObject guard;
    QString reply;
    const auto follow = [&](QProcess *call) {
        DaemonFixture::followSignals(call, &guard, [&](const QVariantList &signal) {
            if (signal.value(0) == QLatin1String("#") && reply.isEmpty())
                reply = signal.value(1).toString();
            else if (signal.value(0) == QLatin1String("NotifyExecDistUpgradeInfo"))
                record(QStringLiteral("info:") + signal.value(1).toString());
            else if (signal.value(0) == QLatin1String("NotifyOfflineUpgradeProgress"))
                record(QStringLiteral("progress:%1,%2")
                           .arg(signal.value(1).toInt())
                           .arg(signal.value(2).toInt()));
        });
    };
    const bool upgrades = version == QLatin1String("2.0");
    std::unique_ptr<ChildProcess> call;
    if (callBackup) {
        call = m_fixture->startCall(
            m_carol.get(), QStringLiteral("--until-final"), { QStringLiteral("BackupSystem") });
        follow(call.get());
        if (upgrades) {
            QTRY_VERIFY_WITH_TIMEOUT(seen.contains(QLatin1String("output")), 60000);
            // The daemon answers at once while apt works.
            const qint64 answerTime = m_fixture->getterAnswerTime();
            QVERIFY2(answerTime >= 0 && answerTime < 1000, qPrintable(QString::number(answerTime)));
            QVERIFY(events.filter(FinalPair).isEmpty());
        }
        QTRY_VERIFY_WITH_TIMEOUT(!reply.isEmpty(), 180000);
        QVERIFY2(reply.startsWith(QLatin1String("method return")), qPrintable(reply));
        // Without a backup the reply comes after the final pair.
        QVERIFY(!recovery.isEmpty() || !events.filter(FinalPair).isEmpty());
    }
    // The job ends of these rows must change nothing; each is on the bus before the service
    // says it sent it.
    QByteArray said;
    if (recovery.contains(QLatin1String("--job-kind"))
        || recovery.contains(QLatin1String("--unprompted-job-end")))
        QTRY_VERIFY_WITH_TIMEOUT((said += service.readAll()).contains("JobEnd"), 10000);
    if (killRecovery)
        service.kill();
    if (!outline.isEmpty())
        QTRY_VERIFY_WITH_TIMEOUT(!events.filter(FinalPair).isEmpty(), 180000);
    QCOMPARE(seen, outline);
    // One lock for the sequence, and none left once it ended, however it ended.
    const QByteArray locks = readFile(m_logindRecord);
    QCOMPARE(locks.count(OurLock), locksBefore + (outline.isEmpty() ? 0 : 1));
    QTRY_COMPARE(readFile(m_logindRecord).count(" closed "), locks.count(" taken "));
    QCOMPARE(PackageFixture::installedVersion(Probe), version);
    if (upgrades)
        QVERIFY(
            events.join(QString()).contains(Probe) && events.join(QString()).contains(StderrLine));
    const int message = recovery.indexOf(QLatin1String("--job-message"));
    if (message >= 0)
        QVERIFY2(events.contains(QStringLiteral("info:") + recovery.value(message + 1)),
            qPrintable(events.join(QLatin1Char('\n'))));
}

void tst_Upgrade::postHooks()
{
    checkAsCarol();
    QString output;
    QCOMPARE(m_fixture->call(m_carol.get(), QStringLiteral("BackupSystem"), {}, &output), 0);
    QCOMPARE(DaemonFixture::signalsIn(output, QStringLiteral("NotifyOfflineUpgradeProgress")).last(),
        QVariantList({ 100, 1 }));

    // Carol would be refused now, yet her own upgrade's scripts need no second authorization;
    // they run once, whatever home the call names.
    QFile::remove(PostOrder);
    m_fixture->setAnswer(m_carol->name(), DaemonFixture::Deny);
    QCOMPARE(m_fixture->call(m_carol.get(), QStringLiteral("StartExecHookPost"), { "/etc" }), 0);
    QVERIFY(m_fixture->call(m_carol.get(), QStringLiteral("StartExecHookPost"), { m_carol->home() },
                &output)
        != 0);
    QVERIFY2(output.contains(OfflineUpdate::NoPassedCheckError), qPrintable(output));
    m_fixture->setAnswer(m_carol->name(), DaemonFixture::Allow);
    QFile order(PostOrder);
    QVERIFY(order.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(order.readAll()),
        QStringLiteral("a-first 1 %1\nB-last 1 %1\n").arg(m_carol->home()));
}

// Going on without a backup is the user's choice once the backup failed, never a way around
// asking for one, and only for the upgrade whose backup it was.
void tst_Upgrade::withoutBackupAfterItFailed()
{
    checkAsCarol();
    QString output;
    QVERIFY(m_fixture->call(m_carol.get(), QStringLiteral("UpgradeWithoutBackup"), {}, &output) != 0);
    QVERIFY2(output.contains(OfflineUpdate::NoPassedCheckError), qPrintable(output));

    ChildProcess service;
    service.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    service.start(qEnvironmentVariable("TEVRIN_BINARY_DIR")
            + QStringLiteral("/tools/devabrecovery/tevrin-dev-abrecovery"),
        { QStringLiteral("--job-success"), QStringLiteral("no") });
    QVERIFY(service.waitForReadyRead(10000) && service.readLine() == "ready\n");
    QCOMPARE(m_fixture->call(m_carol.get(), QStringLiteral("--until-final"),
                 { QStringLiteral("BackupSystem") }, &output),
        0);
    QCOMPARE(DaemonFixture::signalsIn(output, QStringLiteral("NotifyOfflineUpgradeProgress")).last(),
        QVariantList({ 70, -1 }));
    QCOMPARE(PackageFixture::installedVersion(Probe), QStringLiteral("1.0"));

    QCOMPARE(m_fixture->call(m_carol.get(), QStringLiteral("UpgradeWithoutBackup"), {}, &output), 0);
    const QList<QVariantList> pairs
        = DaemonFixture::signalsIn(output, QStringLiteral("NotifyOfflineUpgradeProgress"));
    QCOMPARE(pairs.first(), QVariantList({ 30, 1 }));
    QCOMPARE(pairs.last(), QVariantList({ 100, 1 }));
    QCOMPARE(PackageFixture::installedVersion(Probe), QStringLiteral("2.0"));
    QVERIFY(m_fixture->call(m_carol.get(), QStringLiteral("UpgradeWithoutBackup"), {}, &output) != 0);
    QVERIFY2(output.contains(OfflineUpdate::NoPassedCheckError), qPrintable(output));
}

QTEST_GUILESS_MAIN(tst_Upgrade)
#include "tst_upgrade.moc"
