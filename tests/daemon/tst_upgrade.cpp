// A real upgrade through the real daemon: a throw-away probe package installed at 1.0 is
// upgraded to 2.0 from an offline package's repository, behind the development recovery
// service set up for each branch of the backup sequence. Faults caught here:
// - status texts, progress pairs and apt output sent in the wrong order, or pairs the client
//   does not expect (anything after a final pair);
// - an upgrade made although the backup failed or was refused, or not made after it ended well;
// - an upgrade started by the end of a backup that this daemon never asked for, or by a job
//   of another kind;
// - post-upgrade scripts not run for the caller's home, or run for a home that is not the
//   caller's.
#include "architecturetable.h"
#include "commandoutput.h"
#include "daemonfixture.h"
#include "daemoninterface.h"
#include "packagefixture.h"
#include "testuser.h"

#include <QtTest>
#include <unistd.h>

namespace {

const QString Probe = QStringLiteral("tevrin-probe-upgrade");
const QString PostOrder = QStringLiteral("/tmp/tevrin-post-order");
const QStringList StatusTexts { QStringLiteral("info:开始进行系统备份..."),
    QStringLiteral("info:系统备份完成"), QStringLiteral("info:开始进行系统升级...") };

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

private:
    QTemporaryDir m_work;
    std::unique_ptr<TestUser> m_carol;
    std::unique_ptr<TestUser> m_dave;
    std::unique_ptr<DaemonFixture> m_fixture;
    QString m_probeV1;
    QString m_package;
};

void tst_Upgrade::initTestCase()
{
    if (geteuid() != 0)
        QSKIP("needs root: the daemon mounts the package and upgrades a probe package");
    QVERIFY(m_work.isValid()
        && QFile::setPermissions(m_work.path(),
            QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther
                | QFile::ExeOther));
    m_carol = std::make_unique<TestUser>(QStringLiteral("tevrint-carol"));
    m_dave = std::make_unique<TestUser>(QStringLiteral("tevrint-dave"));
    QVERIFY(m_carol->isValid() && m_dave->isValid());

    m_probeV1 = PackageFixture::probeDeb(
        Probe, QStringLiteral("1.0"), m_work.filePath(QStringLiteral("v1")));
    PackageFixture::Package contents;
    contents.debs = QStringList { PackageFixture::probeDeb(
        Probe, QStringLiteral("2.0"), m_work.filePath(QStringLiteral("v2"))) };
    QVERIFY(!m_probeV1.isEmpty() && !contents.debs.first().isEmpty());
    contents.manifest
        = QStringLiteral(R"({"type": 1, "data": {"systemType": "desktop", "archs": "%1"}})")
              .arg(ArchitectureTable::acceptedPackageArchitecture(
                  CommandOutput::run(QStringLiteral("uname"), { QStringLiteral("-m") })));
    const QString post
        = QStringLiteral("printf '%s %s %s\\n' \"$(basename \"$0\")\" \"$#\" \"$1\" >> ")
        + PostOrder + QLatin1Char('\n');
    contents.postHooks
        = { { QStringLiteral("B-last"), post }, { QStringLiteral("a-first"), post } };
    m_package = m_work.filePath(QStringLiteral("upgrade.oup"));
    QString error;
    QVERIFY2(PackageFixture::build(contents, m_package, &error), qPrintable(error));
    m_fixture = std::make_unique<DaemonFixture>();
    QVERIFY2(m_fixture->start(&error), qPrintable(error));
}

void tst_Upgrade::cleanupTestCase()
{
    m_fixture.reset();
    PackageFixture::purge(Probe);
    QFile::remove(PostOrder);
    if (m_carol)
        PackageFixture::unmountCache(m_carol->home());
}

void tst_Upgrade::backupThenUpgrade_data()
{
    QTest::addColumn<QStringList>("recovery"); // its options; empty: no recovery service
    QTest::addColumn<bool>("callBackup");
    // Status texts and pairs in order, apt's output folded into one "output".
    QTest::addColumn<QStringList>("outline");
    QTest::addColumn<QString>("version");

    const QStringList start { StatusTexts[0], QStringLiteral("progress:30,1") };
    const QStringList upgraded { QStringLiteral("output"), QStringLiteral("progress:100,1") };
    QTest::newRow("no recovery service") << QStringList() << true << start + upgraded << "2.0";
    QTest::newRow("backup not possible")
        << QStringList { "--can-backup", "no" } << true << start + upgraded << "2.0";
    QTest::newRow("backup ends well")
        << QStringList { "--job-success", "yes" } << true
        << start + QStringList { StatusTexts[1], "progress:50,1", StatusTexts[2] } + upgraded
        << "2.0";
    QTest::newRow("StartBackup refused") << QStringList { "--start-backup", "error" } << true
                                         << start + QStringList { "progress:30,-1" } << "1.0";
    QTest::newRow("backup fails") << QStringList { "--job-success", "no", "--job-message",
        "disk on fire" } << true << start + QStringList { "progress:70,-1" }
                                  << "1.0";
    QTest::newRow("end of a job of another kind")
        << QStringList { "--job-kind", "Backup" } << true << start << "1.0";
    QTest::newRow("end of a backup nobody asked for")
        << QStringList { "--unprompted-job-end", "200" } << false << QStringList() << "1.0";
}

void tst_Upgrade::backupThenUpgrade()
{
    QFETCH(QStringList, recovery);
    QFETCH(bool, callBackup);
    QFETCH(QStringList, outline);
    QFETCH(QString, version);

    PackageFixture::purge(Probe);
    QVERIFY(PackageFixture::install(m_probeV1));
    QSignalSpy results(
        m_fixture->daemon(), &ComTevrinOfflineUpdateDaemonInterface::NotifyOfflineFileCheckResult);
    QCOMPARE(m_fixture->call(m_carol.get(), QStringLiteral("StartOfflineFileCheck"),
                 { m_carol->home(), m_package }),
        0);
    QTRY_COMPARE(results.count(), 1);
    QCOMPARE(results.first(), QVariantList({ 6, true }));

    QStringList events;
    QStringList seen; // the outline so far
    const QRegularExpression finalPair(QStringLiteral("^progress:(100,1|\\d+,-\\d+)$"));
    const auto record = [&](const QString &event) {
        events << event;
        const bool output
            = event.startsWith(QLatin1String("info:")) && !StatusTexts.contains(event);
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
    connect(m_fixture->daemon(), &ComTevrinOfflineUpdateDaemonInterface::NotifyExecDistUpgradeInfo,
        &service, [&](const QString &text) { record(QStringLiteral("info:") + text); });
    connect(m_fixture->daemon(),
        &ComTevrinOfflineUpdateDaemonInterface::NotifyOfflineUpgradeProgress, &service,
        [&](int value, int code) {
            record(QStringLiteral("progress:%1,%2").arg(value).arg(code));
        });
    if (callBackup)
        QCOMPARE(m_fixture->call(m_carol.get(), QStringLiteral("BackupSystem"), {}), 0);

    if (!outline.isEmpty() && outline.last().contains(finalPair))
        QTRY_VERIFY_WITH_TIMEOUT(!events.filter(finalPair).isEmpty(), 180000);
    else
        QTest::qWait(2000); // a job end that must change nothing: give it time to arrive
    QTest::qWait(300); // nothing may follow a final pair
    QCOMPARE(seen, outline);
    QCOMPARE(PackageFixture::installedVersion(Probe), version);
    if (outline.contains(QLatin1String("output")))
        QVERIFY(events.join(QString()).contains(Probe));
}

void tst_Upgrade::postHooks()
{
    QFile::remove(PostOrder);
    // Another user's home is refused: nothing runs.
    QCOMPARE(
        m_fixture->call(m_dave.get(), QStringLiteral("StartExecHookPost"), { m_carol->home() }), 0);
    QVERIFY(!QFileInfo::exists(PostOrder));

    QCOMPARE(
        m_fixture->call(m_carol.get(), QStringLiteral("StartExecHookPost"), { m_carol->home() }),
        0);
    QFile order(PostOrder);
    QVERIFY(order.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(order.readAll()),
        QStringLiteral("a-first 1 %1\nB-last 1 %1\n").arg(m_carol->home()));
}

QTEST_GUILESS_MAIN(tst_Upgrade)
#include "tst_upgrade.moc"
