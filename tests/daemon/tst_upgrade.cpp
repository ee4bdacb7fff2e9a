// A real upgrade through the real daemon: a throw-away probe package installed at 1.0 is
// upgraded to 2.0 from an offline package's repository, behind the development recovery
// service set up for each branch of the backup sequence. Faults caught here:
// - status texts, progress pairs and apt output sent in the wrong order, or pairs the client
//   does not expect (anything after a final pair);
// - an upgrade made although the backup failed or was refused, or not made after it ended well;
// - an upgrade started by the end of a backup that this daemon never asked for, or by a job
//   of another kind;
// - post-upgrade hooks run in the wrong order, with the home path split, or for a home that
//   is not the caller's.
#include "architecturetable.h"
#include "childprocess.h"
#include "commandoutput.h"
#include "daemonfixture.h"
#include "daemoninterface.h"
#include "packagefixture.h"
#include "systemsourcelist.h"
#include "testuser.h"

#include <QtTest>
#include <unistd.h>

namespace {

const QString Probe = QStringLiteral("tevrin-probe-upgrade");
const QString BackupStarting = QStringLiteral("开始进行系统备份...");
const QString BackupDone = QStringLiteral("系统备份完成");
const QString UpgradeStarting = QStringLiteral("开始进行系统升级...");

QString recoveryProgram()
{
    return qEnvironmentVariable("TEVRIN_BINARY_DIR")
           + QStringLiteral("/tools/devabrecovery/tevrin-dev-abrecovery");
}

} // namespace

// What the daemon sends during one sequence, in the order it arrives.
class SequenceRecorder : public QObject
{
    Q_OBJECT

public:
    QStringList events;

    // The events with the apt output folded into one "output" entry, so that branches can be
    // compared without depending on how apt's writes were cut.
    QStringList outline() const
    {
        QStringList result;
        for (const QString &event : events) {
            const bool output = event.startsWith(QLatin1String("info:"))
                                && !event.endsWith(BackupStarting) && !event.endsWith(BackupDone)
                                && !event.endsWith(UpgradeStarting);
            if (!output)
                result << event;
            else if (result.isEmpty() || result.last() != QLatin1String("output"))
                result << QStringLiteral("output");
        }
        return result;
    }

    bool finished() const
    {
        for (const char *last : { "progress:100,1", "progress:80,-2", "progress:70,-1", "progress:30,-1" }) {
            if (events.contains(QLatin1String(last)))
                return true;
        }
        return false;
    }

public slots:
    void info(const QString &text) { events << QStringLiteral("info:") + text; }
    void progress(int value, int code)
    {
        events << QStringLiteral("progress:%1,%2").arg(value).arg(code);
    }
};

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
    bool startRecovery(const QStringList &options);
    void stopRecovery();

    QTemporaryDir m_work;
    std::unique_ptr<TestUser> m_alice;
    std::unique_ptr<TestUser> m_bob;
    std::unique_ptr<DaemonFixture> m_fixture;
    ChildProcess m_recovery;
    QString m_probeV1;
    QString m_package;
    std::unique_ptr<SystemSourceList> m_sourceList;
};

void tst_Upgrade::initTestCase()
{
    if (geteuid() != 0)
        QSKIP("needs root: the daemon mounts the package and upgrades a probe package");
    QVERIFY(m_work.isValid());
    QVERIFY(QFile::setPermissions(m_work.path(), QFile::ReadOwner | QFile::WriteOwner
                                                     | QFile::ExeOwner | QFile::ReadOther
                                                     | QFile::ExeOther));
    m_alice = std::make_unique<TestUser>(QStringLiteral("tevrint-carol"));
    m_bob = std::make_unique<TestUser>(QStringLiteral("tevrint-dave"));
    QVERIFY(m_alice->isValid() && m_bob->isValid());

    m_sourceList = std::make_unique<SystemSourceList>();
    QVERIFY(m_sourceList->isValid());

    m_probeV1 = PackageFixture::probeDeb(Probe, QStringLiteral("1.0"), m_work.filePath(QStringLiteral("v1")));
    const QString probeV2 =
        PackageFixture::probeDeb(Probe, QStringLiteral("2.0"), m_work.filePath(QStringLiteral("v2")));
    QVERIFY(!m_probeV1.isEmpty() && !probeV2.isEmpty());

    PackageFixture::Package contents;
    contents.manifest = QStringLiteral(R"({"type": 1, "data": {"systemType": "desktop", "archs": "%1"}})")
                            .arg(ArchitectureTable::acceptedPackageArchitecture(
                                CommandOutput::run(QStringLiteral("uname"), { QStringLiteral("-m") })));
    contents.debs = QStringList { probeV2 };
    const QByteArray post = "printf '%s %s %s\\n' \"$(basename \"$0\")\" \"$#\" \"$1\" >> /tmp/tevrin-post-order\n";
    contents.postHooks = { { QStringLiteral("B-last"), QString::fromLatin1(post) },
                           { QStringLiteral("a-first"), QString::fromLatin1(post) } };
    m_package = m_work.filePath(QStringLiteral("upgrade.oup"));
    QString error;
    QVERIFY2(PackageFixture::build(contents, m_package, &error), qPrintable(error));

    m_fixture = std::make_unique<DaemonFixture>();
    QVERIFY2(m_fixture->start(&error), qPrintable(error));
}

void tst_Upgrade::cleanupTestCase()
{
    stopRecovery();
    m_fixture.reset();
    PackageFixture::purge(Probe);
    QFile::remove(QStringLiteral("/tmp/tevrin-post-order"));
    m_sourceList.reset();
    if (m_alice)
        PackageFixture::unmountCache(m_alice->home());
}

bool tst_Upgrade::startRecovery(const QStringList &options)
{
    stopRecovery();
    m_recovery.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_recovery.start(recoveryProgram(), options);
    if (!m_recovery.waitForStarted(10000))
        return false;
    QDeadlineTimer deadline(10000);
    while (!m_fixture->connection().interface()->isServiceRegistered(QStringLiteral("com.tevrin.ABRecovery"))) {
        if (deadline.hasExpired() || m_recovery.state() != QProcess::Running)
            return false;
        QTest::qWait(20);
    }
    return true;
}

void tst_Upgrade::stopRecovery()
{
    if (m_recovery.state() == QProcess::NotRunning)
        return;
    m_recovery.terminate();
    if (!m_recovery.waitForFinished(5000))
        m_recovery.kill();
    m_recovery.waitForFinished(5000);
}

void tst_Upgrade::backupThenUpgrade_data()
{
    QTest::addColumn<QStringList>("recovery"); // empty: no recovery service on the bus
    QTest::addColumn<bool>("callBackup");
    QTest::addColumn<QStringList>("outline");
    QTest::addColumn<QString>("version");

    const QString p30 = QStringLiteral("progress:30,1");
    const QString starting = QStringLiteral("info:") + BackupStarting;
    QTest::newRow("no recovery service")
        << QStringList() << true
        << QStringList { starting, p30, QStringLiteral("output"), QStringLiteral("progress:100,1") }
        << "2.0";
    QTest::newRow("backup not possible")
        << QStringList { QStringLiteral("--can-backup"), QStringLiteral("no") } << true
        << QStringList { starting, p30, QStringLiteral("output"), QStringLiteral("progress:100,1") }
        << "2.0";
    QTest::newRow("backup ends well")
        << QStringList { QStringLiteral("--job-success"), QStringLiteral("yes") } << true
        << QStringList { starting, p30, QStringLiteral("info:") + BackupDone,
                         QStringLiteral("progress:50,1"), QStringLiteral("info:") + UpgradeStarting,
                         QStringLiteral("output"), QStringLiteral("progress:100,1") }
        << "2.0";
    QTest::newRow("StartBackup refused")
        << QStringList { QStringLiteral("--start-backup"), QStringLiteral("error") } << true
        << QStringList { starting, p30, QStringLiteral("progress:30,-1") } << "1.0";
    QTest::newRow("backup fails")
        << QStringList { QStringLiteral("--job-success"), QStringLiteral("no"),
                         QStringLiteral("--job-message"), QStringLiteral("disk on fire") }
        << true << QStringList { starting, p30, QStringLiteral("progress:70,-1") } << "1.0";
    QTest::newRow("end of a job of another kind")
        << QStringList { QStringLiteral("--job-kind"), QStringLiteral("Backup") } << true
        << QStringList { starting, p30 } << "1.0";
    QTest::newRow("end of a backup nobody asked for")
        << QStringList { QStringLiteral("--unprompted-job-end"), QStringLiteral("200") } << false
        << QStringList() << "1.0";
}

void tst_Upgrade::backupThenUpgrade()
{
    QFETCH(QStringList, recovery);
    QFETCH(bool, callBackup);
    QFETCH(QStringList, outline);
    QFETCH(QString, version);

    PackageFixture::purge(Probe);
    QVERIFY(PackageFixture::install(m_probeV1));
    QSignalSpy results(m_fixture->daemon(),
                       &ComTevrinOfflineUpdateDaemonInterface::NotifyOfflineFileCheckResult);
    QCOMPARE(m_fixture->call(m_alice.get(), QStringLiteral("StartOfflineFileCheck"),
                             { m_alice->home(), m_package }),
             0);
    QTRY_COMPARE(results.count(), 1);
    QCOMPARE(results.first(), QVariantList({ 6, true }));

    stopRecovery();
    if (!recovery.isEmpty())
        QVERIFY(startRecovery(recovery));

    SequenceRecorder recorder;
    connect(m_fixture->daemon(), &ComTevrinOfflineUpdateDaemonInterface::NotifyExecDistUpgradeInfo,
            &recorder, &SequenceRecorder::info);
    connect(m_fixture->daemon(), &ComTevrinOfflineUpdateDaemonInterface::NotifyOfflineUpgradeProgress,
            &recorder, &SequenceRecorder::progress);
    if (callBackup)
        QCOMPARE(m_fixture->call(m_alice.get(), QStringLiteral("BackupSystem"), {}), 0);

    const bool ends = !outline.isEmpty()
                      && (outline.last() == QLatin1String("progress:100,1")
                          || outline.last().contains(QLatin1String(",-")));
    if (ends)
        QTRY_VERIFY_WITH_TIMEOUT(recorder.finished(), 180000);
    else
        QTest::qWait(2000); // a job end that must change nothing: give it time to arrive
    // Nothing follows a final pair.
    QTest::qWait(300);
    QCOMPARE(recorder.outline(), outline);
    QCOMPARE(PackageFixture::installedVersion(Probe), version);
    if (outline.contains(QLatin1String("output")))
        QVERIFY(recorder.events.join(QString()).contains(Probe));
}

void tst_Upgrade::postHooks()
{
    QFile::remove(QStringLiteral("/tmp/tevrin-post-order"));
    // Another user's home is refused: nothing runs.
    QCOMPARE(m_fixture->call(m_bob.get(), QStringLiteral("StartExecHookPost"), { m_alice->home() }), 0);
    QVERIFY(!QFileInfo::exists(QStringLiteral("/tmp/tevrin-post-order")));

    QCOMPARE(m_fixture->call(m_alice.get(), QStringLiteral("StartExecHookPost"), { m_alice->home() }), 0);
    QFile order(QStringLiteral("/tmp/tevrin-post-order"));
    QVERIFY(order.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(order.readAll()),
             QStringLiteral("a-first 1 %1\nB-last 1 %1\n").arg(m_alice->home()));
}

QTEST_GUILESS_MAIN(tst_Upgrade)
#include "tst_upgrade.moc"
