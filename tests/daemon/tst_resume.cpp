// An upgrade cut short, as by a power loss: the daemon is killed together with apt and dpkg at
// points through the run, then the daemon's resume mode, as the unit runs it at boot, finishes
// the run. Faults caught here:
// - an upgrade cut short and left half-done, or finished with packages at other versions, or
//   with dpkg still interrupted;
// - post-upgrade scripts run twice or not at all;
// - the run missing from the history, or not marked as finished at boot;
// - a package that can never be installed tried at every boot: after two attempts the record
//   goes and the failure is in the history;
// - a run whose record was all but removed added to the history twice.
#include "checkenvironment.h"
#include "daemonfixture.h"
#include "daemoninterface.h"
#include "packagefixture.h"
#include "resumerun.h"
#include "runhistory.h"
#include "runjournal.h"
#include "runrecords.h"
#include "testuser.h"

#include <QtTest>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString Prefix = QStringLiteral("tevrin-probe-res-");
constexpr int Probes = 20;
const QString PostMarker = QStringLiteral("/tmp/tevrin-resume-post");
const QString State = QStringLiteral("/var/lib/tevrin-offline-update");
const QString Record = State + QStringLiteral("/run.json");
const QString History = State + QStringLiteral("/history.jsonl");

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString probe(int i)
{
    return Prefix + QStringLiteral("%1").arg(i, 2, 10, QLatin1Char('0'));
}

// Every program of the run, as a power loss would stop it.
void killEverything(QProcess &daemon)
{
    ::kill(pid_t(daemon.processId()), SIGKILL);
    daemon.waitForFinished(10000);
    for (const char *program : { "apt", "apt-get", "dpkg", "dpkg-deb" })
        ChildProcess::run({ QStringLiteral("pkill"), QStringLiteral("-KILL"), QStringLiteral("-x"),
            QString::fromLatin1(program) });
    ChildProcess::run({ QStringLiteral("pkill"), QStringLiteral("-KILL"), QStringLiteral("-f"),
        QStringLiteral("tevrin-resume-post|tevrin-probe-res") });
    QTest::qWait(300);
}

int resume(QString *output = nullptr)
{
    QByteArray printed;
    const int code = ChildProcess::run(
        { DaemonFixture::daemonProgram(), QStringLiteral("--resume") }, &printed, 600000);
    if (output)
        *output = QString::fromLocal8Bit(printed);
    return code;
}

QJsonObject lastHistoryEntry()
{
    const QList<QByteArray> lines = readFile(History).trimmed().split('\n');
    return QJsonDocument::fromJson(lines.last()).object();
}

} // namespace

class tst_Resume : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void killPoints_data();
    void killPoints();
    void scriptThatAlwaysFails();
    void doneButForTheRecord();
    void orphanedCopy();

private:
    void installOld();
    // Checks |file| as the user and starts its upgrade (and, with |postHooks|, its post-upgrade
    // scripts once it succeeded), until |killNow| says, from the signals so far, that the moment
    // has come: then kills everything. False when the moment never came.
    bool upgradeUntil(const QString &file, const QStringList &recovery,
        const std::function<bool(const QStringList &events)> &killNow, bool postHooks);

    QTemporaryDir m_work;
    std::unique_ptr<TestUser> m_user;
    std::unique_ptr<DaemonFixture> m_fixture;
    QStringList m_oldDebs;
    QString m_package;
};

void tst_Resume::initTestCase()
{
    if (geteuid() != 0)
        QSKIP("needs root: the daemon upgrades probe packages and is killed half-way");
    QVERIFY(m_work.isValid() && chmod(QFile::encodeName(m_work.path()).constData(), 0755) == 0);
    m_user = std::make_unique<TestUser>(QStringLiteral("tevrint-resume"));
    QVERIFY(m_user->isValid());
    PackageFixture::Package contents;
    for (int i = 1; i <= Probes; ++i) {
        m_oldDebs << PackageFixture::probeDeb(probe(i), QStringLiteral("1.0"), m_work.filePath("v1"));
        // Slow enough to be caught at work, unpacking and configuring.
        contents.debs << PackageFixture::probeDebWith(probe(i), QStringLiteral("2.0"),
            m_work.filePath("v2"), { "--preinst", "sleep 0.3", "--postinst", "sleep 0.2" });
    }
    const QString post = QStringLiteral("sleep %1\necho %2 >> ") + PostMarker + QLatin1Char('\n');
    contents.postHooks = { { QStringLiteral("10-first"), post.arg(2).arg("10-first") },
        { QStringLiteral("20-second"), post.arg(0).arg("20-second") } };
    m_package = m_work.filePath(QStringLiteral("upgrade.oup"));
    QString error;
    QVERIFY2(PackageFixture::build(contents, m_package, &error), qPrintable(error));
    // An upgrade of another test whose post-upgrade scripts nobody asked for waits for the
    // next boot in the record; this test's runs are to be the only ones there.
    QFile::remove(Record);
    QFile::remove(State + QStringLiteral("/packages/run.oup"));
    m_fixture = std::make_unique<DaemonFixture>();
    QVERIFY2(m_fixture->start(&error), qPrintable(error));
}

void tst_Resume::cleanupTestCase()
{
    m_fixture.reset();
    QStringList names;
    for (int i = 1; i <= Probes; ++i)
        names << probe(i);
    ChildProcess::run(QStringList { QStringLiteral("dpkg"), QStringLiteral("--purge") } + names
        + QStringList { Prefix + QStringLiteral("bad") });
    QFile::remove(PostMarker);
}

void tst_Resume::installOld()
{
    ChildProcess::run(QStringList { QStringLiteral("dpkg"), QStringLiteral("--install") } + m_oldDebs);
}

bool tst_Resume::upgradeUntil(const QString &file, const QStringList &recovery,
    const std::function<bool(const QStringList &events)> &killNow, bool postHooks)
{
    QString error;
    if (m_fixture->process().state() == QProcess::NotRunning && !m_fixture->start(&error)) {
        qWarning() << error;
        return false;
    }
    const int checked = m_fixture->check(m_user.get(), file);
    if (checked != -6) {
        qWarning() << "the check ended with" << checked << m_fixture->log().right(3000);
        return false;
    }
    ChildProcess service;
    if (!recovery.isEmpty()) {
        service.start(qEnvironmentVariable("TEVRIN_BINARY_DIR")
                + QStringLiteral("/tools/devabrecovery/tevrin-dev-abrecovery"),
            recovery);
        if (!service.waitForReadyRead(10000))
            return false;
    }
    QStringList events;
    QObject guard;
    const auto follow = [&](QProcess *call) {
        DaemonFixture::followSignals(call, &guard, [&](const QVariantList &signal) {
            QStringList fields;
            for (const QVariant &field : signal)
                fields << field.toString();
            events << fields.join(QLatin1Char(' '));
        });
    };
    std::unique_ptr<ChildProcess> upgrade = m_fixture->startCall(
        m_user.get(), QStringLiteral("--until-final"), { QStringLiteral("BackupSystem") });
    follow(upgrade.get());
    std::unique_ptr<ChildProcess> hooks;
    QElapsedTimer clock;
    clock.start();
    while (!killNow(events)) {
        if (clock.elapsed() > 240000) {
            qWarning() << "the moment never came:" << events.join(QLatin1Char('\n')).right(3000);
            killEverything(m_fixture->process());
            return false;
        }
        if (postHooks && !hooks && events.contains(QStringLiteral("NotifyOfflineUpgradeProgress 100 1"))) {
            hooks = m_fixture->startCall(m_user.get(), QStringLiteral("StartExecHookPost"),
                { m_user->home() });
            follow(hooks.get());
        }
        QTest::qWait(20);
    }
    killEverything(m_fixture->process());
    return true;
}

void tst_Resume::killPoints_data()
{
    QTest::addColumn<QStringList>("recovery"); // its options; empty: none runs
    QTest::addColumn<QString>("moment"); // a signal that comes first, as its fields
    QTest::addColumn<bool>("postHooks");

    QTest::newRow("as soon as the record is written") << QStringList() << "record" << false;
    QTest::newRow("waiting for the backup")
        << QStringList { "--no-job-end" } << "NotifyUpgradeStage backup" << false;
    QTest::newRow("early in unpacking") << QStringList() << "NotifyUpgradeStage upgrade 2" << false;
    QTest::newRow("in the middle of unpacking")
        << QStringList() << "NotifyUpgradeStage upgrade 10" << false;
    QTest::newRow("late in unpacking") << QStringList() << "NotifyUpgradeStage upgrade 19" << false;
    QTest::newRow("configuring") << QStringList() << "Setting up " + Prefix << false;
    QTest::newRow("in the post-upgrade scripts")
        << QStringList() << "NotifyUpgradeStage post-hooks" << true;
}

void tst_Resume::killPoints()
{
    QFETCH(QStringList, recovery);
    QFETCH(QString, moment);
    QFETCH(bool, postHooks);

    installOld();
    QFile::remove(PostMarker);
    const int historyBefore = readFile(History).count('\n');
    QElapsedTimer sinceHooks;
    const bool killed = upgradeUntil(m_package, recovery, [&](const QStringList &events) {
        if (moment == QLatin1String("record"))
            return readFile(Record).contains("\"package\":\"upgrade.oup\"");
        for (const QString &event : events) {
            if (!event.contains(moment))
                continue;
            // The first script sleeps for two seconds: caught in it.
            if (postHooks) {
                if (!sinceHooks.isValid())
                    sinceHooks.start();
                return sinceHooks.elapsed() > 1000;
            }
            return true;
        }
        return false;
    }, postHooks);
    QVERIFY(killed);
    QVERIFY2(QFile::exists(Record), "the run left no record to finish it from");

    QString output;
    QCOMPARE(resume(&output), 0);
    QVERIFY2(!QFile::exists(Record), qPrintable(output));
    QStringList wrong;
    for (int i = 1; i <= Probes; ++i) {
        if (PackageFixture::installedVersion(probe(i)) != QLatin1String("2.0"))
            wrong << probe(i);
    }
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(' ') + output.right(3000)));
    QByteArray audit;
    QCOMPARE(ChildProcess::run({ QStringLiteral("dpkg"), QStringLiteral("--audit") }, &audit), 0);
    QCOMPARE(audit, QByteArray());
    QCOMPARE(readFile(PostMarker), QByteArray("10-first\n20-second\n"));
    QCOMPARE(readFile(History).count('\n'), historyBefore + 2); // the check, and the upgrade
    const QJsonObject entry = lastHistoryEntry();
    QCOMPARE(entry.value("kind").toString(), QStringLiteral("upgrade"));
    QCOMPARE(entry.value("outcome").toString(), QStringLiteral("succeeded"));
    QCOMPARE(entry.value("resumed").toBool(), true);
    QCOMPARE(entry.value("user").toString(), m_user->name());
    // Nothing is left to do at the next boot.
    QCOMPARE(resume(), 0);
    QCOMPARE(readFile(History).count('\n'), historyBefore + 2);
}

void tst_Resume::scriptThatAlwaysFails()
{
    installOld();
    const QString bad = Prefix + QStringLiteral("bad");
    QVERIFY(PackageFixture::install(PackageFixture::probeDeb(bad, "1.0", m_work.filePath("bad1"))));
    PackageFixture::Package contents;
    contents.debs << PackageFixture::probeDebWith(bad, QStringLiteral("2.0"),
        m_work.filePath("bad2"), { "--preinst", "sleep 1", "--postinst", "exit 1" });
    const QString file = m_work.filePath(QStringLiteral("bad.oup"));
    QString error;
    QVERIFY2(PackageFixture::build(contents, file, &error), qPrintable(error));
    QVERIFY(upgradeUntil(file, {}, [](const QStringList &events) {
        return !events.filter(QStringLiteral("NotifyUpgradeStage upgrade 1")).isEmpty();
    }, false));
    QVERIFY(QFile::exists(Record));

    QVERIFY(resume() != 0); // the first boot tries, and fails
    QVERIFY(QFile::exists(Record));
    QVERIFY(resume() != 0); // the second gives up
    QVERIFY(!QFile::exists(Record));
    const QJsonObject entry = lastHistoryEntry();
    QCOMPARE(entry.value("outcome").toString(), QStringLiteral("failed"));
    QCOMPARE(entry.value("resumed").toBool(), true);
    QCOMPARE(entry.value("attempts").toInt(), 2);
    const int entries = readFile(History).count('\n');
    QCOMPARE(resume(), 0); // nothing left to try at the third
    QCOMPARE(readFile(History).count('\n'), entries);
    ChildProcess::run({ QStringLiteral("dpkg"), QStringLiteral("--purge"), bad });
}

void tst_Resume::doneButForTheRecord()
{
    // The run ended and is in the history; only its record and copy were still there.
    QTemporaryDir state;
    CheckEnvironment environment;
    environment.stateDirectory = state.filePath(QStringLiteral("state"));
    environment.runDirectory = state.filePath(QStringLiteral("run"));
    RunJournal::Record record;
    record.id = QStringLiteral("a-run");
    record.stage = QStringLiteral("done");
    record.packageName = QStringLiteral("update.oup");
    QFile copy(m_package);
    QVERIFY(copy.open(QIODevice::ReadOnly));
    QString error;
    QVERIFY2(RunJournal::begin(environment, copy.handle(), record, &error), qPrintable(error));
    QVERIFY(RunHistory::append(environment,
        RunJournal::historyEntry(record, QStringLiteral("succeeded"), {}, {}, false), &error));

    ResumeRun run(environment, nullptr);
    QSignalSpy finished(&run, &ResumeRun::finished);
    run.start();
    QVERIFY(finished.wait(120000));
    QVERIFY(!RunJournal::exists(environment));
    QVERIFY(!RunJournal::openCopy(environment).isValid());
    QCOMPARE(RunHistory::entries(environment, true, 0).size(), 1);
}

void tst_Resume::orphanedCopy()
{
    // A run that failed keeps its copy's name for another attempt; a daemon that starts anew
    // has no such run, and a copy without a journal is nobody's. One with a journal waits for
    // the boot that finishes it.
    QTemporaryDir state;
    CheckEnvironment environment;
    environment.stateDirectory = state.filePath(QStringLiteral("state"));
    QFile copy(m_package);
    QVERIFY(copy.open(QIODevice::ReadOnly));
    QString error;
    QVERIFY2(RunJournal::begin(environment, copy.handle(), RunJournal::Record(), &error),
        qPrintable(error));
    RunRecords(environment).dropOrphanedCopy();
    QVERIFY(RunJournal::openCopy(environment).isValid());
    RunJournal::end(environment, true);
    QVERIFY(RunJournal::openCopy(environment).isValid());
    RunRecords(environment).dropOrphanedCopy();
    QVERIFY(!RunJournal::openCopy(environment).isValid());
}

QTEST_GUILESS_MAIN(tst_Resume)
#include "tst_resume.moc"
