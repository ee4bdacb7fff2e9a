// The command-line client's check and upgrade against a scripted stand-in for the service on a
// private bus, in process, and the program itself once for its language. Faults caught here:
// - a passed check whose text leaves out the plan's summary, a removal, a replaced
//   configuration file (and where the user's own version goes), what stays behind or the room
//   needed, or that floods the terminal with every upgraded package; a plan printed after a
//   failed check, or a service without plans taken for a failure;
// - JSON whose check object does not carry the whole plan, or a failed upgrade's result without
//   the service's key and detail;
// - a failed upgrade whose last line is not the service's reason in the library's words (the
//   tool's), or blames the package for an earlier unfinished installation; a refusal because
//   the system changed since the check reported as the service being unreachable;
// - an upgrade's log that claims a backup the service did not announce, leaves out the repair
//   or the package i of n the service names, glues the service's status texts to apt's output
//   or shows them untranslated, or shows a failure with its code as a percentage; JSON without
//   the stage events or the status texts' words;
// - the program not loading the shared sentences' translation for a Chinese user.
#include "capturedstream.h"
#include "checkfailuretext.h"
#include "checkreport.h"
#include "commandline.h"
#include "daemonclient.h"
#include "jsonevents.h"
#include "offlineupdateprotocol.h"
#include "packagecommand.h"
#include "reporttexttranslation.h"
#include "scriptedlastcheck.h"
#include "scriptedservice.h"
#include "testbuses.h"
#include "textoutput.h"
#include "upgradefailuretext.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>
#include <memory>

Q_DECLARE_METATYPE(Outcome)

using namespace OfflineUpdate;
using Reply = ScriptedService::Reply;

namespace {

const Reply UnknownMethod = errorAnswer(QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"));

UpgradePlan plan()
{
    UpgradePlan plan;
    plan.upgraded = { { "libc6", "amd64", "2.36", "2.37" }, { "bash", "amd64", "5.1", "5.2" } };
    plan.removed = { { "oldpkg", "all", "0.9", "" } };
    plan.keptBack = QStringList { QStringLiteral("firmware-misc") };
    plan.replacedConfigFiles = { { "openssh-server", "/etc/ssh/sshd_config" } };
    plan.space = { { "/", qint64(3) << 29, qint64(5) << 30 } };
    return plan;
}

} // namespace

class tst_PackageCommand : public QObject
{
    Q_OBJECT

    TestBuses m_buses;
    std::unique_ptr<ScriptedService> m_daemon;

    // Runs |arguments| as the program's main() does, the stand-in reporting the check as
    // |item|, |result| and, for an upgrade, the pair |pair| after BackupSystem; returns what
    // was written, the last line the result.
    QByteArray run(const QStringList &arguments, int item, bool result, const QString &pair)
    {
        return runWith(arguments, item, result,
            pair.isEmpty() ? QStringList() : QStringList { QStringLiteral("30,1"), pair });
    }

    // The same with |events| after BackupSystem: "30,1" a pair, "stage:upgrade,3,20,name" a
    // stage, "info:text" a status text or piece of apt's output.
    QByteArray runWith(
        const QStringList &arguments, int item, bool result, const QStringList &events)
    {
        const CommandLine commandLine = CommandLine::parse(arguments, QStringLiteral("/tmp"));
        CapturedStream out;
        CapturedStream errors;
        std::unique_ptr<SessionOutput> output;
        if (commandLine.json)
            output = std::make_unique<JsonEvents>(out.file());
        else
            output = std::make_unique<TextOutput>(out.file(), errors.file(), false, false);
        DaemonClient daemon(QDBusConnection::systemBus());
        PackageCommand command(
            commandLine, QStringLiteral("/home/someone"), &daemon, output.get(), nullptr);
        QSignalSpy finished(&command, &PackageCommand::finished);
        // An earlier run against the same stand-in has made these calls already.
        const int checks = m_daemon->members().count(QStringLiteral("StartOfflineFileCheck"));
        const int backups = m_daemon->members().count(QStringLiteral("BackupSystem"));
        command.start();
        if (!QTest::qWaitFor(
                [this, checks] {
                    return m_daemon->members().count(QStringLiteral("StartOfflineFileCheck"))
                        > checks;
                },
                5000))
            return "no check asked for";
        m_daemon->emitSignal(QStringLiteral("NotifyOfflineFileCheckResult"), { item, result });
        if (!events.isEmpty()
            && QTest::qWaitFor(
                [this, &finished, backups] {
                    return !finished.isEmpty()
                        || m_daemon->members().count(QStringLiteral("BackupSystem")) > backups;
                },
                5000)
            && finished.isEmpty()) {
            for (const QString &each : events)
                emitEvent(each);
        }
        if (finished.isEmpty() && !finished.wait(5000))
            return "did not finish";
        output->result(
            commandLine.commandName, finished.constFirst().constFirst().value<Outcome>());
        return out.written() + errors.written();
    }

    void emitEvent(const QString &event)
    {
        if (event.startsWith(QLatin1String("info:"))) {
            m_daemon->emitSignal(QStringLiteral("NotifyExecDistUpgradeInfo"), { event.mid(5) });
        } else if (event.startsWith(QLatin1String("stage:"))) {
            const QStringList stage = event.mid(6).split(',');
            m_daemon->emitSignal(QStringLiteral("NotifyUpgradeStage"),
                { stage.at(0), stage.at(1).toInt(), stage.at(2).toInt(), stage.at(3) });
        } else {
            m_daemon->emitSignal(QStringLiteral("NotifyOfflineUpgradeProgress"),
                { event.section(',', 0, 0).toInt(), event.section(',', 1).toInt() });
        }
    }

private slots:
    void initTestCase()
    {
        QCOMPARE(m_buses.start(), QString());
        registerUpgradePlanTypes();
        qRegisterMetaType<Outcome>();
    }

    void init()
    {
        m_daemon = std::make_unique<ScriptedService>(m_buses.systemAddress(), DaemonService);
        answerLastCheck(m_daemon.get());
        m_daemon->setReply(
            QStringLiteral("GetUpgradePlan"), answer({ QVariant::fromValue(plan()) }));
        m_daemon->setReply(QStringLiteral("GetUpgradeFailureReason"),
            answer({ UpgradeReason::RepairFailed, QStringLiteral("libfoo1, libbar2") }));
        QCOMPARE(m_daemon->start(), QString());
    }

    void cleanup() { m_daemon.reset(); }

    void text_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("item");
        QTest::addColumn<bool>("result");
        QTest::addColumn<QString>("stage"); // the failing pair after BackupSystem; empty none
        QTest::addColumn<Reply>("planReply");
        QTest::addColumn<Reply>("backupReply");
        QTest::addColumn<QStringList>("shown"); // in order
        QTest::addColumn<QStringList>("notShown");
        QTest::addColumn<QString>("lastLine");

        const Reply planned = answer({ QVariant::fromValue(plan()) });
        const QStringList planLines { "Plan: 2 upgraded, 1 removed\n",
            "Removed (1):\n  oldpkg 0.9\n", "Left at the installed version (1):\n  firmware-misc\n",
            "Replaced configuration files (1):\n  /etc/ssh/sshd_config (openssh-server)\n  Your "
            "changed versions",
            "Disk space needed:\n  /: 1.5 GiB needed, 5.0 GiB free\n" };
        QTest::newRow("passed check")
            << QStringList { "check", "x.oup" } << int(UpgradableItem) << true << "" << planned
            << answer() << planLines << QStringList { "libc6 2.36" }
            << "The package passed every check.";
        QTest::newRow("passed check, service without plans")
            << QStringList { "check", "x.oup" } << int(UpgradableItem) << true << ""
            << UnknownMethod << answer() << QStringList { "Upgrade Type:" }
            << QStringList { "Plan:" } << "The package passed every check.";
        QTest::newRow("failed check")
            << QStringList { "check", "x.oup" } << int(ArchitectureItem) << false << "" << planned
            << answer() << QStringList { "Fail" } << QStringList { "Plan:" }
            << "The package was refused.";
        QTest::newRow("repair failed")
            << QStringList { "upgrade", "x.oup", "--yes" } << int(UpgradableItem) << true << "80,-2"
            << planned << answer() << planLines << QStringList { "problem in the package" }
            << UpgradeFailureText::forReason(UpgradeReason::RepairFailed, "libfoo1, libbar2")
                   .sentence;
        QTest::newRow("plan changed")
            << QStringList { "upgrade", "x.oup", "--yes" } << int(UpgradableItem) << true << ""
            << planned << errorAnswer(PlanChangedError, QStringLiteral("apt foresees more"))
            << planLines << QStringList { "cannot be reached" }
            << UpgradeFailureText::forReason(UpgradeReason::PlanChanged, {}).sentence;
    }

    void text()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, item);
        QFETCH(bool, result);
        QFETCH(QString, stage);
        QFETCH(Reply, planReply);
        QFETCH(Reply, backupReply);
        QFETCH(QStringList, shown);
        QFETCH(QStringList, notShown);
        QFETCH(QString, lastLine);
        m_daemon->setReply(QStringLiteral("GetUpgradePlan"), planReply);
        m_daemon->setReply(QStringLiteral("BackupSystem"), backupReply);
        const QString output = QString::fromUtf8(run(arguments, item, result, stage));
        int from = 0;
        for (const QString &text : shown) {
            const int at = output.indexOf(text, from);
            QVERIFY2(at >= 0,
                qPrintable(text + QStringLiteral(" not after ") + output.left(from)
                    + QStringLiteral("\n---\n") + output));
            from = at + text.size();
        }
        for (const QString &text : notShown)
            QVERIFY2(!output.contains(text), qPrintable(output));
        QCOMPARE(output.trimmed().section('\n', -1), lastLine);
    }

    void json_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("stage");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<QString>("reasonKey");
        QTest::newRow("check") << QStringList { "check", "x.oup", "--json" } << ""
                               << "passed"
                               << "";
        QTest::newRow("repair failed")
            << QStringList { "upgrade", "x.oup", "--yes", "--json" } << "80,-2"
            << "failed" << UpgradeReason::RepairFailed;
    }

    void json()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, stage);
        QFETCH(QString, outcome);
        QFETCH(QString, reasonKey);
        QList<QJsonObject> lines;
        for (const QByteArray &line : run(arguments, UpgradableItem, true, stage).split('\n'))
            if (!line.isEmpty())
                lines << QJsonDocument::fromJson(line).object();
        QVERIFY(lines.size() >= 2);
        QCOMPARE(lines.first().value("event").toString(), QStringLiteral("check"));
        QCOMPARE(lines.first().value("plan").toObject(), plan().toJson());
        const QJsonObject result = lines.last();
        QCOMPARE(result.value("outcome").toString(), outcome);
        const QJsonObject reason = result.value("reason").toObject();
        QCOMPARE(reason.value("key").toString(), reasonKey);
        if (!reasonKey.isEmpty()) {
            QCOMPARE(reason.value("detail").toString(), QStringLiteral("libfoo1, libbar2"));
            QCOMPARE(result.value("message").toString(), reason.value("text").toString());
        }
    }

    // What a log (no terminal) and a program (JSON) get of an upgrade as the service tells it.
    void upgradeStages_data()
    {
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<QStringList>("shown"); // in order, in the log
        QTest::addColumn<QStringList>("notShown");
        QTest::addColumn<QStringList>("jsonStages"); // the stage events' texts

        const QStringList upgraded { "stage:upgrade,0,2,", "stage:upgrade,1,2,libc6",
            "stage:upgrade,2,2,bash", "100,1" };
        QTest::newRow("no backup: none claimed")
            << (QStringList { "info:开始进行系统升级...", "30,1" } + upgraded)
            << QStringList { "Starting the system upgrade...\n", "Stage: Preparing the upgrade (30%)",
                   "Stage: Upgrading the system (30%)",
                   "Stage: Upgrading the system: package 1 of 2 (libc6) (30%)",
                   "Stage: Upgrading the system: package 2 of 2 (bash) (64%)",
                   "Stage: Upgrade finished (100%)", "The upgrade succeeded." }
            << QStringList { "Backing up", "backup", "开始" }
            << QStringList { "Upgrading the system", "Upgrading the system: package 1 of 2 (libc6)",
                   "Upgrading the system: package 2 of 2 (bash)" };
        QTest::newRow("backup, then a repair")
            << (QStringList { "info:开始进行系统备份...", "30,1", "stage:backup,0,0,",
                    "info:系统备份完成", "50,1", "info:开始进行系统升级...", "stage:repair,0,2," }
                + upgraded)
            << QStringList { "Starting the system backup...\n", "Stage: Backing up the system (30%)",
                   "The system backup is complete\n", "Starting the system upgrade...\n",
                   "Stage: Finishing interrupted installations (50%)",
                   "Stage: Upgrading the system: package 1 of 2 (libc6) (50%)" }
            << QStringList { "系统" }
            << QStringList { "Backing up the system", "Finishing interrupted installations",
                   "Upgrading the system", "Upgrading the system: package 1 of 2 (libc6)",
                   "Upgrading the system: package 2 of 2 (bash)" };
        QTest::newRow("failed: the reason, no percentage")
            << QStringList { "30,1", "stage:upgrade,1,2,libc6", "80,-2" }
            << QStringList { "Stage: Upgrading the system: package 1 of 2 (libc6) (30%)",
                   "Stage: The upgrade failed\n",
                   UpgradeFailureText::forReason(UpgradeReason::RepairFailed, "libfoo1, libbar2")
                       .sentence }
            << QStringList { "80%", "(80" }
            << QStringList { "Upgrading the system: package 1 of 2 (libc6)" };
    }

    void upgradeStages()
    {
        QFETCH(QStringList, events);
        QFETCH(QStringList, shown);
        QFETCH(QStringList, notShown);
        QFETCH(QStringList, jsonStages);
        const QString log = QString::fromUtf8(
            runWith({ "upgrade", "x.oup", "--yes" }, UpgradableItem, true, events));
        int from = 0;
        for (const QString &text : shown) {
            const int at = log.indexOf(text, from);
            QVERIFY2(at >= 0, qPrintable(text + QStringLiteral(" not after ") + log.left(from)));
            from = at + text.size();
        }
        for (const QString &text : notShown)
            QVERIFY2(!log.contains(text), qPrintable(text + QStringLiteral(" in ") + log));

        QStringList stages;
        QStringList statusTexts;
        for (const QByteArray &line :
            runWith({ "upgrade", "x.oup", "--yes", "--json" }, UpgradableItem, true, events)
                .split('\n')) {
            const QJsonObject event = QJsonDocument::fromJson(line).object();
            if (event.value("event") == QLatin1String("stage"))
                stages << event.value("text").toString();
            if (event.value("event") == QLatin1String("output"))
                statusTexts << event.value("message").toString();
        }
        QCOMPARE(stages, jsonStages);
        // Each of the service's status texts comes with its words in the user's language.
        QCOMPARE(statusTexts.count(QString()), 0);
    }

    // The program itself, for a user whose language is Chinese: the shared sentences come in
    // Chinese, the program's own words stay English.
    void chineseUser()
    {
        m_daemon->setReply(QStringLiteral("GetCheckFailureReason"),
            answer({ Reason::WrongArchitecture, QStringLiteral("arm64/amd64") }));
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), m_buses.systemAddress());
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        environment.insert(QStringLiteral("LANGUAGE"), QStringLiteral("zh_CN"));
        program.setProcessEnvironment(environment);
        program.start(qEnvironmentVariable("TEVRIN_BINARY_DIR")
                + QStringLiteral("/cli/tevrin-offline-update"),
            { QStringLiteral("check"), QStringLiteral("/tmp/x.oup") });
        QVERIFY(program.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(
            m_daemon->members().contains(QStringLiteral("StartOfflineFileCheck")), 5000);
        m_daemon->emitSignal(
            QStringLiteral("NotifyOfflineFileCheckResult"), { int(ArchitectureItem), false });
        QVERIFY(program.waitForFinished(10000));
        const QString output = QString::fromUtf8(program.readAllStandardOutput());
        QCOMPARE(program.exitCode(), 1);
        QVERIFY(ReportTextTranslation::load(QLocale(QStringLiteral("zh_CN"))));
        const QString sentence
            = CheckFailureText::forReason(Reason::WrongArchitecture, QString()).sentence;
        ReportTextTranslation::load(QLocale(QLocale::English));
        QVERIFY2(output.contains(QStringLiteral("Reason: ") + sentence), qPrintable(output));
        QVERIFY2(output.contains(QStringLiteral("The package was refused.")), qPrintable(output));
    }
};

QTEST_GUILESS_MAIN(tst_PackageCommand)
#include "tst_packagecommand.moc"
