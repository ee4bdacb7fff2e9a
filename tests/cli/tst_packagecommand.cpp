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
// - the program not loading the shared sentences' translation for a Chinese user.
#include "checkfailuretext.h"
#include "checkreport.h"
#include "commandline.h"
#include "daemonclient.h"
#include "jsonevents.h"
#include "offlineupdateprotocol.h"
#include "packagecommand.h"
#include "reporttexttranslation.h"
#include "scriptedservice.h"
#include "testbuses.h"
#include "textoutput.h"
#include "upgradefailuretext.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>
#include <cstdio>
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

QByteArray readAll(FILE *stream)
{
    fflush(stream);
    rewind(stream);
    QByteArray bytes;
    char buffer[4096];
    for (size_t read; (read = fread(buffer, 1, sizeof buffer, stream)) > 0;)
        bytes.append(buffer, int(read));
    return bytes;
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
        const CommandLine commandLine = CommandLine::parse(arguments, QStringLiteral("/tmp"));
        FILE *out = tmpfile();
        FILE *errors = tmpfile();
        std::unique_ptr<SessionOutput> output;
        if (commandLine.json)
            output = std::make_unique<JsonEvents>(out);
        else
            output = std::make_unique<TextOutput>(out, errors, false, false);
        DaemonClient daemon(QDBusConnection::systemBus());
        PackageCommand command(
            commandLine, QStringLiteral("/home/someone"), &daemon, output.get(), nullptr);
        QSignalSpy finished(&command, &PackageCommand::finished);
        command.start();
        if (!QTest::qWaitFor(
                [this] {
                    return m_daemon->members().contains(QStringLiteral("StartOfflineFileCheck"));
                },
                5000))
            return "no check asked for";
        m_daemon->emitSignal(QStringLiteral("NotifyOfflineFileCheckResult"), { item, result });
        if (!pair.isEmpty()
            && QTest::qWaitFor(
                [this, &finished] {
                    return !finished.isEmpty()
                        || m_daemon->members().contains(QStringLiteral("BackupSystem"));
                },
                5000)
            && finished.isEmpty()) {
            for (const QString &each : { QStringLiteral("30,1"), pair })
                m_daemon->emitSignal(QStringLiteral("NotifyOfflineUpgradeProgress"),
                    { each.section(',', 0, 0).toInt(), each.section(',', 1).toInt() });
        }
        if (finished.isEmpty() && !finished.wait(5000))
            return "did not finish";
        output->result(
            commandLine.commandName, finished.constFirst().constFirst().value<Outcome>());
        const QByteArray written = readAll(out) + readAll(errors);
        fclose(out);
        fclose(errors);
        return written;
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
        m_daemon->setReply(QStringLiteral("GetUpgradeType"), answer({ int(SystemUpgrade) }));
        m_daemon->setReply(QStringLiteral("GetPatchUpgradeSerial"), answer({ QString() }));
        m_daemon->setReply(QStringLiteral("GetDistUpgradeSum"), answer({ 2 }));
        m_daemon->setReply(QStringLiteral("GetPackageSignature"), answer({ int(Unsigned), "" }));
        m_daemon->setReply(QStringLiteral("GetCheckFailureReason"), answer({ "", "" }));
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
