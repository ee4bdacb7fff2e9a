// The upgrade's plan from real apt, apt-cache, dpkg-query and dpkg-deb, against a dpkg
// database and a repository of probe packages made for each case: nothing here reads or writes
// the machine's own dpkg state, sources or lists. Faults caught here:
// - a plan apt cannot solve, one that removes a package the system cannot lose, one that keeps
//   back part of the package, or one that does not fit, passed as fine;
// - packages an earlier dpkg run left half-way not named;
// - a locally changed configuration file not named although the upgrade replaces it, or named
//   although it stays;
// - a package left at another version than planned taken as planned;
// - apt's simulation output misread.
#include "aptsimulation.h"
#include "checkenvironment.h"
#include "childprocess.h"
#include "installedpackages.h"
#include "offlineupdateprotocol.h"
#include "packagefixture.h"
#include "upgradeplanner.h"

#include <QCryptographicHash>
#include <QtTest>

using OfflineUpdate::PlannedPackage;
using Probes = QMap<QString, QStringList>; // name -> make-probe-deb's options

namespace {

bool writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

QString md5(const QByteArray &text)
{
    return QString::fromLatin1(QCryptographicHash::hash(text, QCryptographicHash::Md5).toHex());
}

// One installed package as dpkg's status file holds it.
QString installed(const QString &name, const QString &version,
    const QString &extra = QString(), const QString &state = QStringLiteral("installed"))
{
    return QStringLiteral("Package: %1\nStatus: install ok %3\nPriority: optional\n"
                          "Maintainer: t <t@localhost>\nArchitecture: all\nVersion: %2\n"
                          "Installed-Size: 1\n%4Description: probe\n\n")
        .arg(name, version, state, extra);
}

} // namespace

class tst_UpgradePlanner : public QObject
{
    Q_OBJECT

private slots:
    void simulationOutput_data();
    void simulationOutput();
    void plans_data();
    void plans();
    void unmet_data();
    void unmet();

private:
    // Plans against |status| and a repository of the 2.0 probes built with |probes| (name ->
    // make-probe-deb options); the free space of every file system is |freeBytes|.
    UpgradePlanner::Outcome planFor(QTemporaryDir &work, const QString &status,
        const Probes &probes, qint64 freeBytes = qint64(1) << 40);
};

void tst_UpgradePlanner::simulationOutput_data()
{
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("upgraded");
    QTest::addColumn<QString>("installed");
    QTest::addColumn<QString>("removed");
    QTest::addColumn<QString>("keptBack");
    QTest::addColumn<int>("complaints");

    QTest::newRow("upgrade, new, removal")
        << "Inst pd (1.0 localhost [all])\nInst pa [1.0] (2.0 localhost [all])\nRemv pb [1.0]\n"
           "Conf pd (1.0 localhost [all])\n"
        << "pa all 1.0 2.0" << "pd all  1.0" << "pb  1.0 " << "" << 0;
    QTest::newRow("a release with spaces, a foreign architecture, an epoch")
        << "Inst libx:i386 [1:1.0-1] (1:1.1-1 Debian:12.5/stable, Debian-Security:12/stable "
           "[i386]) []\n"
        << "libx i386 1:1.0-1 1:1.1-1" << "" << "" << "" << 0;
    QTest::newRow("kept back, and the list after it")
        << "The following packages have been kept back:\n  pc pe:i386\n"
           "The following packages will be upgraded:\n  pa\nInst pa [1] (2 x [all])\n"
        << "pa all 1 2" << "" << "" << "pc pe" << 0;
    QTest::newRow("no solution")
        << "The following packages have unmet dependencies:\n pc : Depends: pmissing but it is "
           "not installable\nE: Unable to correct problems, you have held broken packages.\n"
        << "" << "" << "" << "" << 2;
}

void tst_UpgradePlanner::simulationOutput()
{
    QFETCH(QString, output);
    QFETCH(QString, upgraded);
    QFETCH(QString, installed);
    QFETCH(QString, removed);
    QFETCH(QString, keptBack);
    QFETCH(int, complaints);

    const AptSimulation simulation = AptSimulation::parse(output);
    const auto text = [](const QList<PlannedPackage> &packages) {
        QStringList lines;
        for (const PlannedPackage &package : packages)
            lines << QStringList { package.name, package.architecture, package.fromVersion,
                package.toVersion }
                         .join(QLatin1Char(' '));
        return lines.join(QLatin1Char('\n'));
    };
    QCOMPARE(text(simulation.upgraded), upgraded);
    QCOMPARE(text(simulation.installed), installed);
    QCOMPARE(text(simulation.removed), removed);
    QCOMPARE(simulation.keptBack.join(QLatin1Char(' ')), keptBack);
    QCOMPARE(simulation.complaints.size(), complaints);
}

UpgradePlanner::Outcome tst_UpgradePlanner::planFor(QTemporaryDir &work, const QString &status,
    const Probes &probes, qint64 freeBytes)
{
    CheckEnvironment environment;
    environment.sourceList = work.filePath(QStringLiteral("update.list"));
    environment.listsDirectory = work.filePath(QStringLiteral("lists/"));
    environment.dpkgAdminDirectory = work.filePath(QStringLiteral("dpkg"));
    environment.kernelRelease = QStringLiteral("9.9.9-probe");
    environment.fileSystemOf = [freeBytes](const QString &path, quint64 *device, qint64 *free) {
        *device = path == QLatin1String("/boot") ? 2 : 1;
        *free = freeBytes;
        return true;
    };
    const QString repository = work.filePath(QStringLiteral("repo"));
    for (auto probe = probes.begin(); probe != probes.end(); ++probe) {
        if (PackageFixture::probeDebWith(probe.key(), QStringLiteral("2.0"),
                repository + QStringLiteral("/pool/main"), probe.value())
                .isEmpty())
            qWarning() << "cannot make the probe" << probe.key();
    }
    QByteArray index;
    ChildProcess::run({ QStringLiteral("sh"), QStringLiteral("-c"),
        QStringLiteral("cd '%1' && apt-ftparchive packages pool > Packages").arg(repository) });
    writeFile(environment.dpkgAdminDirectory + QStringLiteral("/status"), status.toUtf8());
    QDir().mkpath(environment.dpkgAdminDirectory + QStringLiteral("/updates"));
    QDir().mkpath(environment.dpkgAdminDirectory + QStringLiteral("/info"));
    QDir().mkpath(environment.listsDirectory + QStringLiteral("partial"));
    writeFile(environment.sourceList,
        QStringLiteral("deb [trusted=yes] file:%1 ./\n").arg(repository).toUtf8());
    QByteArray output;
    if (ChildProcess::run(QStringList { QStringLiteral("apt-get") }
                + UpgradePlanner::simulationArguments(environment, { QStringLiteral("update") }),
            &output)
        != 0)
        qWarning() << "apt-get update failed:" << output;

    QObject owner;
    UpgradePlanner::Outcome outcome;
    bool done = false;
    UpgradePlanner::plan(&owner, environment, repository,
        [&](const UpgradePlanner::Outcome &result) {
            outcome = result;
            done = true;
        });
    QElapsedTimer clock;
    clock.start();
    while (!done && clock.elapsed() < 120000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    if (!done)
        outcome.refusalKey = QStringLiteral("(no outcome)");
    return outcome;
}

void tst_UpgradePlanner::plans_data()
{
    QTest::addColumn<QString>("status");
    QTest::addColumn<QStringList>("files"); // path=text, written before planning
    QTest::addColumn<Probes>("probes");
    QTest::addColumn<qint64>("freeBytes");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("detail"); // a part of it
    QTest::addColumn<QString>("plan"); // what the plan holds, in words

    using namespace OfflineUpdate;
    const qint64 plenty = qint64(1) << 40;
    const QStringList none;
    const QString conf = QStringLiteral("/tmp/tevrin-planner-probe/etc/%1.conf");
    const QString shipped = QStringLiteral("tevrin-pc 1.0\n");

    QTest::newRow("upgrade, a new dependency, a removal")
        << installed("tevrin-pa", "1.0") + installed("tevrin-pb", "1.0")
        << none
        << Probes { { "tevrin-pa", { "--control", "Depends: tevrin-pn" } },
               { "tevrin-pn", { "--control", "Conflicts: tevrin-pb" } } }
        << plenty << Reason::None << ""
        << "upgraded tevrin-pa 1.0>2.0; installed tevrin-pn; removed tevrin-pb";
    QTest::newRow("an unmet dependency")
        << installed("tevrin-pa", "1.0") << none
        << Probes { { "tevrin-pa", { "--control", "Depends: tevrin-gone" } } }
        << plenty << Reason::PlanUnsolvable << "tevrin-pa : Depends: tevrin-gone" << "";
    QTest::newRow("a conflict with an essential package")
        << installed("tevrin-pa", "1.0") + installed("tevrin-pe", "1.0", "Essential: yes\n")
        << none
        << Probes { { "tevrin-pa", { "--control", "Conflicts: tevrin-pe" } } }
        << plenty << Reason::PlanUnsolvable << "Conflicts: tevrin-pe" << "";
    QTest::newRow("a conflict that removes a required package")
        << installed("tevrin-pa", "1.0")
            + installed("tevrin-pr", "1.0").replace("Priority: optional", "Priority: required")
        << none
        << Probes { { "tevrin-pa", { "--control", "Conflicts: tevrin-pr" } } }
        << plenty << Reason::PlanRemovesEssential << "tevrin-pr" << "";
    QTest::newRow("a conflict that removes the running kernel")
        << installed("tevrin-pa", "1.0") + installed("linux-image-9.9.9-probe", "1.0") << none
        << Probes {
               { "tevrin-pa", { "--control", "Conflicts: linux-image-9.9.9-probe" } } }
        << plenty << Reason::PlanRemovesEssential << "linux-image-9.9.9-probe" << "";
    QTest::newRow("a package kept back")
        << installed("tevrin-pa", "1.0") + installed("tevrin-ph", "1.0")
               .replace("install ok installed", "hold ok installed")
        << none << Probes { { "tevrin-pa", {} }, { "tevrin-ph", {} } }
        << plenty << Reason::PlanKeepsBack << "tevrin-ph" << "";
    QTest::newRow("more than the file system holds")
        << installed("tevrin-pa", "1.0") << none
        << Probes { { "tevrin-pa", { "--control", "Installed-Size: 2048" } } }
        << qint64(3 * 1024 * 1024) << Reason::NoUpgradeSpace << "/: 0.0/0.0"
        << "";
    QTest::newRow("just enough room")
        << installed("tevrin-pa", "1.0") << none
        << Probes { { "tevrin-pa", { "--control", "Installed-Size: 2048" } } }
        << qint64(4095 * 1024) << Reason::None << "" << "upgraded tevrin-pa 1.0>2.0; room / 4095 KiB";
    QTest::newRow("an interrupted installation")
        << installed("tevrin-pa", "1.0") + installed("tevrin-pf", "1.0", "", "half-configured")
        << none << Probes { { "tevrin-pa", {} } } << plenty << Reason::None
        << "" << "upgraded tevrin-pa 1.0>2.0; interrupted tevrin-pf";
    QTest::newRow("a changed configuration file the upgrade replaces")
        << installed("tevrin-pc", "1.0",
               QStringLiteral("Conffiles:\n %1 %2\n").arg(conf.arg("replaced"), md5(shipped.toUtf8())))
        << QStringList { conf.arg("replaced") + "=edited by the administrator\n" }
        << Probes { { "tevrin-pc", { "--conffile", conf.arg("replaced") } } }
        << plenty << Reason::None << ""
        << "upgraded tevrin-pc 1.0>2.0; replaced " + conf.arg("replaced");
    QTest::newRow("an unchanged configuration file")
        << installed("tevrin-pc", "1.0",
               QStringLiteral("Conffiles:\n %1 %2\n").arg(conf.arg("unchanged"), md5(shipped.toUtf8())))
        << QStringList { conf.arg("unchanged") + "=" + shipped }
        << Probes { { "tevrin-pc", { "--conffile", conf.arg("unchanged") } } }
        << plenty << Reason::None << "" << "upgraded tevrin-pc 1.0>2.0";
    // The new version ships what the old one did: dpkg leaves the changed file alone.
    QTest::newRow("a changed configuration file the new version does not change")
        << installed("tevrin-pc", "1.0",
               QStringLiteral("Conffiles:\n %1 %2\n").arg(conf.arg("kept"), md5("tevrin-pc 2.0\n")))
        << QStringList { conf.arg("kept") + "=edited by the administrator\n" }
        << Probes { { "tevrin-pc", { "--conffile", conf.arg("kept") } } }
        << plenty << Reason::None << "" << "upgraded tevrin-pc 1.0>2.0";
}

void tst_UpgradePlanner::plans()
{
    QFETCH(QString, status);
    QFETCH(QStringList, files);
    QFETCH(Probes, probes);
    QFETCH(qint64, freeBytes);
    QFETCH(QString, key);
    QFETCH(QString, detail);
    QFETCH(QString, plan);

    QTemporaryDir work;
    QDir(QStringLiteral("/tmp/tevrin-planner-probe")).removeRecursively();
    for (const QString &file : files)
        QVERIFY(writeFile(file.section(QLatin1Char('='), 0, 0),
            file.section(QLatin1Char('='), 1).toUtf8()));
    const UpgradePlanner::Outcome outcome = planFor(work, status, probes, freeBytes);
    QDir(QStringLiteral("/tmp/tevrin-planner-probe")).removeRecursively();
    QCOMPARE(outcome.refusalKey, key);
    QVERIFY2(outcome.refusalDetail.contains(detail), qPrintable(outcome.refusalDetail));
    if (!key.isEmpty())
        return;

    QStringList words;
    const auto list = [&words](const char *what, const QList<PlannedPackage> &packages) {
        for (const PlannedPackage &package : packages)
            words << QStringLiteral("%1 %2").arg(QLatin1String(what), package.name)
                    + (package.fromVersion.isEmpty() || package.toVersion.isEmpty()
                            ? QString()
                            : QStringLiteral(" %1>%2").arg(package.fromVersion, package.toVersion));
    };
    list("upgraded", outcome.plan.upgraded);
    list("installed", outcome.plan.installed);
    list("removed", outcome.plan.removed);
    for (const QString &name : outcome.plan.interrupted)
        words << QStringLiteral("interrupted ") + name;
    for (const OfflineUpdate::ReplacedConfigFile &file : outcome.plan.replacedConfigFiles)
        words << QStringLiteral("replaced ") + file.path;
    if (plan.contains(QLatin1String("room"))) {
        for (const OfflineUpdate::SpaceNeed &need : outcome.plan.space)
            words << QStringLiteral("room %1 %2 KiB").arg(need.mountPoint).arg(need.neededBytes / 1024);
    }
    QCOMPARE(words.join(QStringLiteral("; ")), plan);
}

void tst_UpgradePlanner::unmet_data()
{
    QTest::addColumn<QString>("installedNow"); // dpkg-query's lines
    QTest::addColumn<QString>("unmet");

    QTest::newRow("as planned") << "pa\tall\t2.0\tii \tno\toptional\t1\npn\tall\t1.0\tii \tno\t\t1\n"
                                << "";
    QTest::newRow("left at the old version")
        << "pa\tall\t1.0\tii \tno\toptional\t1\npn\tall\t1.0\tii \tno\t\t1\n" << "pa (1.0)";
    QTest::newRow("unpacked, not configured")
        << "pa\tall\t2.0\tiU \tno\toptional\t1\npn\tall\t1.0\tii \tno\t\t1\n"
        << "pa (not installed)";
    QTest::newRow("a new package missing") << "pa\tall\t2.0\tii \tno\toptional\t1\n"
                                           << "pn (not installed)";
    QTest::newRow("a removal that did not happen")
        << "pa\tall\t2.0\tii \tno\toptional\t1\npn\tall\t1.0\tii \tno\t\t1\n"
           "pb\tall\t1.0\tii \tno\t\t1\n"
        << "pb";
    QTest::newRow("a removed package's configuration files stay")
        << "pa\tall\t2.0\tii \tno\toptional\t1\npn\tall\t1.0\tii \tno\t\t1\n"
           "pb\tall\t1.0\trc \tno\t\t1\n"
        << "";
}

void tst_UpgradePlanner::unmet()
{
    QFETCH(QString, installedNow);
    QFETCH(QString, unmet);

    OfflineUpdate::UpgradePlan plan;
    plan.upgraded << PlannedPackage { "pa", "all", "1.0", "2.0" };
    plan.installed << PlannedPackage { "pn", "all", "", "1.0" };
    plan.removed << PlannedPackage { "pb", "all", "1.0", "" };
    QCOMPARE(UpgradePlanner::unmet(plan, InstalledPackages::parse(installedNow))
                 .join(QStringLiteral(", ")),
        unmet);
}

QTEST_GUILESS_MAIN(tst_UpgradePlanner)
#include "tst_upgradeplanner.moc"
