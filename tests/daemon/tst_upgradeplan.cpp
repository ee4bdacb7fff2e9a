// The plan through the real daemon, with real apt and dpkg on throw-away probe packages made
// by the project's own tools. Faults caught here:
// - a check passed although apt finds no solution, would remove a required package, keeps
//   part of the package back, lacks the room, or another package manager is at work; or such a
//   refusal that changed dpkg's state or the system's own sources;
// - an interrupted installation not named by the plan, or its failure blamed on the package;
// - a changed configuration file replaced without the plan saying so, or its old text lost;
// - an upgrade that does not do what the plan foresaw, or that goes ahead after the system
//   changed since its check.
#include "daemonfixture.h"
#include "daemoninterface.h"
#include "offlineupdateprotocol.h"
#include "packagefixture.h"
#include "testuser.h"

#include <QtTest>
#include <sys/stat.h>
#include <unistd.h>

using OfflineUpdate::PlannedPackage;
using OfflineUpdate::UpgradePlan;

namespace {

const QString Prefix = QStringLiteral("tevrin-probe-plan-");
const QString ConfigFile = QStringLiteral("/etc/tevrin-probe-plan-c/probe.conf");

QString probe(const QString &name)
{
    return Prefix + name;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// dpkg's state and every source of the system's own apt.
QByteArray systemState()
{
    QByteArray state = readFile(QStringLiteral("/var/lib/dpkg/status"));
    state += readFile(QStringLiteral("/etc/apt/sources.list"));
    const QDir parts(QStringLiteral("/etc/apt/sources.list.d"));
    for (const QString &name : parts.entryList(QDir::Files, QDir::Name))
        state += name.toUtf8() + readFile(parts.filePath(name));
    return state;
}

int run(const QStringList &command)
{
    return ChildProcess::run(command);
}

} // namespace

class tst_UpgradePlan : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();
    void refusals_data();
    void refusals();
    void interruptedInstallation();
    void changedConfigFile();
    void predictedIsActual();
    void systemChangedSinceCheck();

private:
    // A .deb of probe |name| at |version|, with make-probe-deb's |options|.
    QString deb(const QString &name, const QString &version, const QStringList &options = {});
    // Builds an offline package of |debs|; empty when it could not be made.
    QString package(const QStringList &debs);
    UpgradePlan plan() const;
    // BackupSystem as the user, to its end (no recovery service runs): its reply line.
    QString upgrade(QString *signalsSeen = nullptr);

    QTemporaryDir m_work;
    std::unique_ptr<TestUser> m_user;
    std::unique_ptr<DaemonFixture> m_fixture;
    int m_packages = 0;
};

void tst_UpgradePlan::initTestCase()
{
    if (geteuid() != 0)
        QSKIP("needs root: the daemon mounts packages and installs probe packages");
    QVERIFY(m_work.isValid() && chmod(QFile::encodeName(m_work.path()).constData(), 0755) == 0);
    m_user = std::make_unique<TestUser>(QStringLiteral("tevrint-plan"));
    QVERIFY(m_user->isValid());
    m_fixture = std::make_unique<DaemonFixture>();
    QString error;
    QVERIFY2(m_fixture->startBus(&error), qPrintable(error));
    QVERIFY2(m_fixture->start(&error), qPrintable(error));
    OfflineUpdate::registerUpgradePlanTypes();
}

void tst_UpgradePlan::cleanup()
{
    QByteArray names;
    ChildProcess::run({ QStringLiteral("dpkg-query"), QStringLiteral("--show"),
                          QStringLiteral("--showformat=${Package}\\n"), Prefix + QLatin1Char('*') },
        &names);
    QStringList probes;
    for (const QByteArray &name : names.split('\n')) {
        if (name.startsWith(Prefix.toUtf8()))
            probes << QString::fromUtf8(name);
    }
    if (!probes.isEmpty())
        run(QStringList { QStringLiteral("dpkg"), QStringLiteral("--purge"),
                QStringLiteral("--force-remove-essential"), QStringLiteral("--force-depends") }
            + probes);
    QDir(QStringLiteral("/etc/tevrin-probe-plan-c")).removeRecursively();
}

void tst_UpgradePlan::cleanupTestCase()
{
    m_fixture.reset();
    cleanup();
}

QString tst_UpgradePlan::deb(const QString &name, const QString &version, const QStringList &options)
{
    return PackageFixture::probeDebWith(probe(name), version,
        m_work.filePath(QStringLiteral("debs-%1-%2").arg(version).arg(m_packages)), options);
}

QString tst_UpgradePlan::package(const QStringList &debs)
{
    PackageFixture::Package contents;
    contents.debs = debs;
    const QString output = m_work.filePath(QStringLiteral("package-%1.oup").arg(++m_packages));
    QString error;
    if (!PackageFixture::build(contents, output, &error)) {
        qWarning() << error;
        return QString();
    }
    return output;
}

UpgradePlan tst_UpgradePlan::plan() const
{
    // Root is answered about the newest check.
    QDBusPendingReply<UpgradePlan> reply = m_fixture->daemon()->GetUpgradePlan();
    reply.waitForFinished();
    return reply.value();
}

QString tst_UpgradePlan::upgrade(QString *signalsSeen)
{
    QString output;
    m_fixture->call(m_user.get(), QStringLiteral("BackupSystem"), {}, &output);
    if (signalsSeen)
        *signalsSeen = output;
    const QStringList lines = output.split(QLatin1Char('\n'), Qt::SkipEmptyParts)
                                  .filter(QRegularExpression(QStringLiteral("^(method return|Error)")));
    return lines.value(0);
}

void tst_UpgradePlan::refusals_data()
{
    QTest::addColumn<QStringList>("installed"); // name=version[;control field]...
    QTest::addColumn<QStringList>("offered");
    QTest::addColumn<QString>("hold");
    QTest::addColumn<bool>("lockDpkg");
    QTest::addColumn<int>("item");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("detail"); // a part of it

    using namespace OfflineUpdate;
    QTest::newRow("an unmet dependency")
        << QStringList { "a=1.0" } << QStringList { "a=2.0;Depends: tevrin-probe-plan-missing" }
        << "" << false << 6 << Reason::PlanUnsolvable << "Depends: tevrin-probe-plan-missing";
    QTest::newRow("a conflict with an essential package")
        << QStringList { "a=1.0", "ess=1.0;Essential: yes" }
        << QStringList { "a=2.0;Conflicts: tevrin-probe-plan-ess" } << "" << false << 6
        << Reason::PlanUnsolvable << "Conflicts: tevrin-probe-plan-ess";
    QTest::newRow("a conflict that removes a required package")
        << QStringList { "a=1.0", "req=1.0;Priority: required" }
        << QStringList { "a=2.0;Conflicts: tevrin-probe-plan-req" } << "" << false << 6
        << Reason::PlanRemovesEssential << "tevrin-probe-plan-req";
    QTest::newRow("a package kept back")
        << QStringList { "a=1.0", "b=1.0" } << QStringList { "a=2.0", "b=2.0" } << "b" << false
        << 6 << Reason::PlanKeepsBack << "tevrin-probe-plan-b";
    QTest::newRow("larger than the file system")
        << QStringList { "a=1.0" } << QStringList { "a=2.0;Installed-Size: 999999999999" } << ""
        << false << 6 << Reason::NoUpgradeSpace << "/";
    QTest::newRow("dpkg's lock held") << QStringList { "a=1.0" } << QStringList { "a=2.0" } << ""
                                      << true << 0 << Reason::PackageManagerRunning << "pid";
}

void tst_UpgradePlan::refusals()
{
    QFETCH(QStringList, installed);
    QFETCH(QStringList, offered);
    QFETCH(QString, hold);
    QFETCH(bool, lockDpkg);
    QFETCH(int, item);
    QFETCH(QString, key);
    QFETCH(QString, detail);

    const auto make = [this](const QString &probeText) {
        const QStringList parts = probeText.split(QLatin1Char(';'));
        QStringList options;
        for (const QString &field : parts.mid(1))
            options << QStringLiteral("--control") << field;
        return deb(parts.first().section(QLatin1Char('='), 0, 0),
            parts.first().section(QLatin1Char('='), 1), options);
    };
    for (const QString &probeText : installed)
        QVERIFY(PackageFixture::install(make(probeText)));
    if (!hold.isEmpty())
        QCOMPARE(run({ QStringLiteral("sh"), QStringLiteral("-c"),
                     QStringLiteral("echo %1 hold | dpkg --set-selections").arg(probe(hold)) }),
            0);
    QStringList debs;
    for (const QString &probeText : offered)
        debs << make(probeText);
    const QString file = package(debs);
    QVERIFY(!file.isEmpty());

    ChildProcess locker;
    if (lockDpkg) {
        // dpkg's and apt's own kind of lock.
        locker.start(QStringLiteral("python3"),
            { QStringLiteral("-c"),
                QStringLiteral("import fcntl, sys, time; f = open(sys.argv[1], 'a'); "
                               "fcntl.lockf(f, fcntl.LOCK_EX); print('locked', flush=True); "
                               "time.sleep(600)"),
                QStringLiteral("/var/lib/dpkg/lock-frontend") });
        QVERIFY(locker.waitForReadyRead(10000));
    }
    const QByteArray before = systemState();
    QCOMPARE(m_fixture->check(m_user.get(), file), item);
    locker.stop();
    QDBusPendingReply<QString, QString> reason = m_fixture->daemon()->GetCheckFailureReason();
    reason.waitForFinished();
    QCOMPARE(reason.argumentAt<0>(), key);
    QVERIFY2(reason.argumentAt<1>().contains(detail), qPrintable(reason.argumentAt<1>()));
    QVERIFY(systemState() == before);
    QVERIFY(plan().isEmpty()); // a refused plan is not one to show
}

void tst_UpgradePlan::interruptedInstallation()
{
    QVERIFY(PackageFixture::install(deb(QStringLiteral("a"), QStringLiteral("1.0"))));
    // Its script always fails: dpkg leaves it half-configured, and finishing it fails again.
    QVERIFY(!PackageFixture::install(
        deb(QStringLiteral("broken"), QStringLiteral("1.0"), { "--postinst", "exit 1" })));
    const QString file = package({ deb(QStringLiteral("a"), QStringLiteral("2.0")) });
    QCOMPARE(m_fixture->check(m_user.get(), file), -6);
    QCOMPARE(plan().interrupted, QStringList { probe(QStringLiteral("broken")) });
    // Any user learns dpkg's state from the daemon, which reads it as root.
    QString state;
    QCOMPARE(m_fixture->call(m_user.get(), QStringLiteral("GetDpkgState"), {}, &state), 0);
    QVERIFY2(state.contains(QLatin1String("boolean true"))
            && state.contains(probe(QStringLiteral("broken"))),
        qPrintable(state));

    QString seen;
    QVERIFY(upgrade(&seen).startsWith(QLatin1String("method return")));
    // Finishing what was left is a stage of its own, and no backup was announced.
    const QList<QVariantList> stages = DaemonFixture::signalsIn(seen, QStringLiteral("NotifyUpgradeStage"));
    QVERIFY2(!stages.isEmpty() && stages.first().value(0) == QLatin1String("repair"), qPrintable(seen));
    for (const QVariantList &stage : stages)
        QVERIFY(stage.value(0) != QLatin1String("backup"));
    QDBusPendingReply<QString, QString> reason = m_fixture->daemon()->GetUpgradeFailureReason();
    reason.waitForFinished();
    QCOMPARE(reason.argumentAt<0>(), OfflineUpdate::UpgradeReason::RepairFailed);
    QCOMPARE(reason.argumentAt<1>(), probe(QStringLiteral("broken")));
    QCOMPARE(PackageFixture::installedVersion(probe(QStringLiteral("a"))), QStringLiteral("1.0"));
}

void tst_UpgradePlan::changedConfigFile()
{
    QVERIFY(PackageFixture::install(
        deb(QStringLiteral("c"), QStringLiteral("1.0"), { "--conffile", ConfigFile })));
    QVERIFY(writeFile(ConfigFile, "edited by the administrator\n"));
    const QString file
        = package({ deb(QStringLiteral("c"), QStringLiteral("2.0"), { "--conffile", ConfigFile }) });
    QCOMPARE(m_fixture->check(m_user.get(), file), -6);
    const UpgradePlan planned = plan();
    QCOMPARE(planned.replacedConfigFiles.size(), 1);
    QCOMPARE(planned.replacedConfigFiles.first().package, probe(QStringLiteral("c")));
    QCOMPARE(planned.replacedConfigFiles.first().path, ConfigFile);

    QVERIFY(upgrade().startsWith(QLatin1String("method return")));
    QCOMPARE(PackageFixture::installedVersion(probe(QStringLiteral("c"))), QStringLiteral("2.0"));
    QCOMPARE(readFile(ConfigFile), QByteArray("tevrin-probe-plan-c 2.0\n"));
    QCOMPARE(readFile(ConfigFile + QStringLiteral(".dpkg-old")),
        QByteArray("edited by the administrator\n"));
}

void tst_UpgradePlan::predictedIsActual()
{
    QStringList offered;
    for (int i = 1; i <= 18; ++i) {
        const QString name = QStringLiteral("u%1").arg(i, 2, 10, QLatin1Char('0'));
        QVERIFY(PackageFixture::install(deb(name, QStringLiteral("1.0"))));
        QStringList options;
        if (i <= 2)
            options << QStringLiteral("--control")
                    << QStringLiteral("Depends: %1").arg(probe(QStringLiteral("new%1").arg(i)));
        if (i == 3)
            options << QStringLiteral("--control")
                    << QStringLiteral("Conflicts: %1").arg(probe(QStringLiteral("gone")));
        offered << deb(name, QStringLiteral("2.0"), options);
    }
    QVERIFY(PackageFixture::install(deb(QStringLiteral("gone"), QStringLiteral("1.0"))));
    offered << deb(QStringLiteral("new1"), QStringLiteral("1.0"))
            << deb(QStringLiteral("new2"), QStringLiteral("1.5"));
    const QString file = package(offered);
    QCOMPARE(m_fixture->check(m_user.get(), file), -6);
    QString state;
    QCOMPARE(m_fixture->call(m_user.get(), QStringLiteral("GetDpkgState"), {}, &state), 0);
    QVERIFY2(state.contains(QLatin1String("boolean false")), qPrintable(state));
    const UpgradePlan planned = plan();
    QCOMPARE(planned.upgraded.size(), 18);
    QCOMPARE(planned.installed.size(), 2);
    QCOMPARE(planned.removed.size(), 1);
    QCOMPARE(planned.removed.first().name, probe(QStringLiteral("gone")));
    QVERIFY(planned.keptBack.isEmpty());

    QString seen;
    QVERIFY(upgrade(&seen).startsWith(QLatin1String("method return")));
    // Each planned package is named once, as the plan names it (apt's own text carries an
    // archive number), counting up to all of them.
    QStringList named;
    int last = 0;
    for (const QVariantList &stage : DaemonFixture::signalsIn(seen, QStringLiteral("NotifyUpgradeStage"))) {
        if (stage.value(0) != QLatin1String("upgrade") || stage.value(3).toString().isEmpty())
            continue;
        named << stage.value(3).toString();
        QCOMPARE(stage.value(1).toInt(), last + 1);
        QCOMPARE(stage.value(2).toInt(), 21);
        last = stage.value(1).toInt();
    }
    QCOMPARE(named.size(), 21);
    for (const QString &name : named)
        QVERIFY2(name.startsWith(Prefix), qPrintable(name));
    QStringList wrong;
    for (const QList<PlannedPackage> *list : { &planned.upgraded, &planned.installed }) {
        for (const PlannedPackage &package : *list) {
            if (PackageFixture::installedVersion(package.name) != package.toVersion)
                wrong << package.name;
        }
    }
    if (!PackageFixture::installedVersion(probe(QStringLiteral("gone"))).isEmpty())
        wrong << probe(QStringLiteral("gone"));
    QCOMPARE(wrong, QStringList());
    QDBusPendingReply<QString, QString> reason = m_fixture->daemon()->GetUpgradeFailureReason();
    reason.waitForFinished();
    QCOMPARE(reason.argumentAt<0>(), QString());
}

void tst_UpgradePlan::systemChangedSinceCheck()
{
    QVERIFY(PackageFixture::install(deb(QStringLiteral("a"), QStringLiteral("1.0"))));
    QVERIFY(PackageFixture::install(deb(QStringLiteral("b"), QStringLiteral("1.0"))));
    const QString file = package({ deb(QStringLiteral("a"), QStringLiteral("2.0")),
        deb(QStringLiteral("b"), QStringLiteral("2.0")) });
    QCOMPARE(m_fixture->check(m_user.get(), file), -6);
    QCOMPARE(run({ QStringLiteral("dpkg"), QStringLiteral("--remove"), probe(QStringLiteral("b")) }), 0);

    const QString reply = upgrade();
    QVERIFY2(reply.startsWith(QStringLiteral("Error ") + OfflineUpdate::PlanChangedError),
        qPrintable(reply));
    QCOMPARE(PackageFixture::installedVersion(probe(QStringLiteral("a"))), QStringLiteral("1.0"));
}

QTEST_GUILESS_MAIN(tst_UpgradePlan)
#include "tst_upgradeplan.moc"
