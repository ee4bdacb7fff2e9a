// The history of checks and upgrades: through the real daemon for what callers see, in-process
// for its bound. Faults caught here:
// - a check or an upgrade, passed or failed, missing from the history, or without the fields
//   an administrator reads (package, checksum, plan, outcome and why, stage times);
// - one user's runs shown to another;
// - a failing maintainer script not named as the reason;
// - the history growing without bound, or losing its newest entries to the bound.
#include "checkenvironment.h"
#include "daemonfixture.h"
#include "daemoninterface.h"
#include "offlineupdateprotocol.h"
#include "packagefixture.h"
#include "runhistory.h"
#include "testuser.h"

#include <QtTest>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString Probe = QStringLiteral("tevrin-probe-history");
const QString Bad = QStringLiteral("tevrin-probe-history-bad");

} // namespace

class tst_History : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void runsOfOneUser();
    void bound();

private:
    // The history |user| is answered (root when null), one object per entry.
    QList<QJsonObject> history(const TestUser *user);

    QTemporaryDir m_work;
    std::unique_ptr<TestUser> m_alice;
    std::unique_ptr<TestUser> m_bob;
    std::unique_ptr<DaemonFixture> m_fixture;
};

void tst_History::initTestCase()
{
    if (geteuid() != 0)
        QSKIP("needs root: the daemon mounts packages and installs probe packages");
    QVERIFY(m_work.isValid() && chmod(QFile::encodeName(m_work.path()).constData(), 0755) == 0);
    m_alice = std::make_unique<TestUser>(QStringLiteral("tevrint-hista"));
    m_bob = std::make_unique<TestUser>(QStringLiteral("tevrint-histb"));
    QVERIFY(m_alice->isValid() && m_bob->isValid());
    m_fixture = std::make_unique<DaemonFixture>();
    QString error;
    QVERIFY2(m_fixture->start(&error), qPrintable(error));
}

void tst_History::cleanupTestCase()
{
    m_fixture.reset();
    PackageFixture::purge(Probe);
    PackageFixture::purge(Bad);
}

QList<QJsonObject> tst_History::history(const TestUser *user)
{
    QString output;
    m_fixture->call(user, QStringLiteral("GetHistory"), {}, &output);
    QList<QJsonObject> entries;
    const QString prefix = QStringLiteral("      string \"");
    for (const QString &line : output.split(QLatin1Char('\n'))) {
        if (line.startsWith(prefix))
            entries << QJsonDocument::fromJson(line.mid(prefix.size()).chopped(1).toUtf8()).object();
    }
    return entries;
}

void tst_History::runsOfOneUser()
{
    const QString v1 = PackageFixture::probeDeb(Probe, QStringLiteral("1.0"), m_work.filePath("v1"));
    QVERIFY(PackageFixture::install(v1));
    QVERIFY(PackageFixture::install(PackageFixture::probeDeb(Bad, QStringLiteral("1.0"), m_work.filePath("v1"))));
    PackageFixture::Package good;
    good.debs << PackageFixture::probeDeb(Probe, QStringLiteral("2.0"), m_work.filePath("v2"));
    PackageFixture::Package bad;
    bad.debs << PackageFixture::probeDebWith(Bad, QStringLiteral("2.0"), m_work.filePath("v2"),
        { "--postinst", "exit 1" });
    const QString goodFile = m_work.filePath(QStringLiteral("good.oup"));
    const QString badFile = m_work.filePath(QStringLiteral("bad.oup"));
    QString error;
    QVERIFY2(PackageFixture::build(good, goodFile, &error), qPrintable(error));
    QVERIFY2(PackageFixture::build(bad, badFile, &error), qPrintable(error));
    const int before = history(nullptr).size();

    QCOMPARE(m_fixture->check(m_alice.get(), m_work.filePath(QStringLiteral("missing.oup"))), 0);
    QCOMPARE(m_fixture->check(m_alice.get(), badFile), -6);
    QString output;
    m_fixture->call(m_alice.get(), QStringLiteral("BackupSystem"), {}, &output);
    PackageFixture::purge(Bad); // half-configured, it would fail the next upgrade's repair
    QCOMPARE(m_fixture->check(m_alice.get(), goodFile), -6);
    m_fixture->call(m_alice.get(), QStringLiteral("BackupSystem"), {}, &output);
    QCOMPARE(m_fixture->call(m_alice.get(), QStringLiteral("StartExecHookPost"), { m_alice->home() }), 0);

    const QList<QJsonObject> all = history(nullptr);
    QCOMPARE(all.size(), before + 5);
    const QList<QJsonObject> runs = all.mid(before);
    struct Expected
    {
        const char *kind;
        const char *package;
        const char *outcome;
        QString reasonKey;
    };
    const Expected expected[] = { { "check", "missing.oup", "failed", OfflineUpdate::Reason::FileMissing },
        { "check", "bad.oup", "passed", QString() },
        { "upgrade", "bad.oup", "failed", OfflineUpdate::UpgradeReason::ScriptFailed },
        { "check", "good.oup", "passed", QString() },
        { "upgrade", "good.oup", "succeeded", QString() } };
    for (int i = 0; i < 5; ++i) {
        const QJsonObject &entry = runs.at(i);
        QCOMPARE(entry.value("kind").toString(), QLatin1String(expected[i].kind));
        QCOMPARE(entry.value("package").toString(), QLatin1String(expected[i].package));
        QCOMPARE(entry.value("outcome").toString(), QLatin1String(expected[i].outcome));
        QCOMPARE(entry.value("reasonKey").toString(), expected[i].reasonKey);
        QCOMPARE(entry.value("user").toString(), m_alice->name());
        QVERIFY(!entry.value("time").toString().isEmpty());
    }
    QCOMPARE(runs.at(2).value("reasonDetail").toString(), Bad);
    QCOMPARE(runs.at(4).value("sha256").toString().size(), 64);
    QCOMPARE(runs.at(4).value("planned").toObject().value("upgraded").toInt(), 1);
    QVERIFY(runs.at(4).value("stageSeconds").toObject().contains("upgrade"));
    QCOMPARE(runs.at(4).value("resumed").toBool(), false);

    // A user the policy does not let in without asking sees their own runs only; one it does
    // (an administrator) sees everyone's.
    QCOMPARE(m_fixture->check(m_bob.get(), m_work.filePath(QStringLiteral("bobs.oup"))), 0);
    // (Users are told apart by uid: an account removed before may have had the same one.)
    const auto users = [this](const TestUser *user) {
        QSet<uint> uids;
        for (const QJsonObject &entry : history(user))
            uids << uint(entry.value("uid").toDouble());
        return uids;
    };
    QVERIFY(users(m_alice.get()).contains(m_bob->uid()));
    m_fixture->setAnswer(m_alice->name(), DaemonFixture::Deny);
    m_fixture->setAnswer(m_bob->name(), DaemonFixture::Deny);
    QCOMPARE(users(m_alice.get()), QSet<uint> { m_alice->uid() });
    QCOMPARE(users(m_bob.get()), QSet<uint> { m_bob->uid() });
    QVERIFY(history(m_alice.get()).size() >= 5);
    m_fixture->setAnswer(m_alice->name(), DaemonFixture::Allow);
    m_fixture->setAnswer(m_bob->name(), DaemonFixture::Allow);
}

void tst_History::bound()
{
    QTemporaryDir state;
    CheckEnvironment environment;
    environment.stateDirectory = state.filePath(QStringLiteral("state"));
    QString error;
    for (int i = 0; i < RunHistory::Limit + 7; ++i)
        QVERIFY2(RunHistory::append(environment,
                     QJsonObject { { "n", i }, { "uid", i % 2 }, { "time", "t" } }, &error),
            qPrintable(error));
    const QStringList all = RunHistory::entries(environment, true, 0);
    QCOMPARE(all.size(), RunHistory::Limit);
    QCOMPARE(QJsonDocument::fromJson(all.first().toUtf8()).object().value("n").toInt(), 7);
    QCOMPARE(QJsonDocument::fromJson(all.last().toUtf8()).object().value("n").toInt(),
        RunHistory::Limit + 6);
    QCOMPARE(RunHistory::entries(environment, false, 1).size(), RunHistory::Limit / 2);
    QFileInfo file(environment.stateDirectory + QStringLiteral("/history.jsonl"));
    QCOMPARE(int(file.permissions() & (QFile::ReadOther | QFile::ReadGroup)), 0);
}

QTEST_GUILESS_MAIN(tst_History)
#include "tst_history.moc"
