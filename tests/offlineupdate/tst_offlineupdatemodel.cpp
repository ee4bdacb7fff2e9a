// Tests the tool's daemon client against scripted stand-ins for the daemon and the session
// manager on private buses. Faults caught here:
// - a wrong argument order or type (the home directory, QDir::homePath(), comes first), or a
//   call made during construction;
// - a request that waits for the answer (a check answers only when it ends);
// - a check or upgrade request refused (no daemon, a refusal, a busy daemon) that goes
//   unnoticed and leaves a page waiting for ever, or is noticed only at the time-out, a refusal
//   reported in the other request's words, and a slow daemon taken for a failure;
// - a refusal's or a busy daemon's own words shown in place of a sentence that says what to do,
//   or lost from the details;
// - daemon signals relayed from any sender on the bus (a forged check result), or the generated
//   proxy not listening on the bus it was handed;
// - the post-upgrade hooks' end reported before they have answered, however long they take, or
//   their failure lost; a refused restart request that says nothing;
// - the upgrade plan not asked for after a passed check, asked for after a failed one, or a
//   reply of another shape (an older daemon, a stand-in) read as a plan; a refusal because the
//   plan changed reported as an ordinary failure; the upgrade's failure reason lost.
#include "checkdetails.h"
#include "offlineupdatemodel.h"
#include "offlineupdateprotocol.h"
#include "scriptedservice.h"
#include "testbuses.h"

#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QDBusMessage>
#include <QDir>
#include <QtTest>
#include <memory>
#include <optional>

namespace {

const QString DaemonService = QStringLiteral("com.tevrin.offline.update.daemon");
// Not the real home of whoever runs the test, and with a blank, so that a home directory taken
// from anywhere but QDir::homePath(), or split at blanks, shows.
const QByteArray TestHome = "/tmp/tst offlineupdatemodel home";
const QString PackagePath = QStringLiteral("/media/usb stick/system update.oup");

enum Operation { Construct, Check, Upgrade };

using Reply = ScriptedService::Reply;

// A plan as an earlier draft of the interface had it: the packages alone, whose first fields
// read as the plan's.
struct PackagesOnly
{
    QList<OfflineUpdate::PlannedPackage> upgraded;
};

QDBusArgument &operator<<(QDBusArgument &argument, const PackagesOnly &plan)
{
    argument.beginStructure();
    argument << plan.upgraded;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, PackagesOnly &plan)
{
    argument.beginStructure();
    argument >> plan.upgraded;
    argument.endStructure();
    return argument;
}

OfflineUpdate::UpgradePlan plan()
{
    OfflineUpdate::UpgradePlan plan;
    plan.upgraded = { { "libc6", "amd64", "2.36", "2.37" } };
    plan.removed = { { "oldpkg", "all", "0.9", "" } };
    plan.replacedConfigFiles = { { "openssh-server", "/etc/ssh/sshd_config" } };
    plan.space = { { "/", 1 << 30, qint64(5) << 30 } };
    return plan;
}

} // namespace

Q_DECLARE_METATYPE(PackagesOnly)

class tst_OfflineUpdateModel : public QObject
{
    Q_OBJECT

    TestBuses m_buses;
    std::unique_ptr<ScriptedService> m_daemon;
    std::unique_ptr<ScriptedService> m_sessionManager;

private slots:
    void initTestCase()
    {
        QCOMPARE(m_buses.start(), QString());
        qputenv("HOME", TestHome);
        QCOMPARE(QDir::homePath(), QString::fromUtf8(TestHome));
    }

    void init()
    {
        m_daemon = std::make_unique<ScriptedService>(m_buses.systemAddress(), DaemonService);
        m_sessionManager = std::make_unique<ScriptedService>(
            m_buses.sessionAddress(), QStringLiteral("com.tevrin.SessionManager"));
        QCOMPARE(m_daemon->start(), QString());
        QCOMPARE(m_sessionManager->start(), QString());
    }

    void cleanup()
    {
        m_daemon.reset();
        m_sessionManager.reset();
    }

    void requests_data()
    {
        // |calls|: "Member(type:argument, ...) mode", waited for or sent without waiting.
        // |outcome|: what a request reports as its failure.
        QTest::addColumn<int>("operation");
        QTest::addColumn<bool>("daemonRuns");
        QTest::addColumn<Reply>("reply");
        // A pattern for "check: sentence | details", empty when nothing is reported.
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<QStringList>("calls");

        const Reply refused = errorAnswer("org.freedesktop.DBus.Error.AccessDenied", "no", 300);
        const QStringList check { QStringLiteral(
            "StartOfflineFileCheck(QString:%1, QString:%2) sent")
                                      .arg(QString::fromUtf8(TestHome), PackagePath) };
        QTest::newRow("construction") << int(Construct) << true << answer() << "" << QStringList();
        QTest::newRow("check: no daemon")
            << int(Check) << false << answer()
            << "^check: The offline update service is not installed or not running\\. Ask .*"
               "\\| .*ServiceUnknown"
            << QStringList();
        QTest::newRow("check: refused")
            << int(Check) << true << refused
            << "^check: Checking update packages needs an administrator's authorization.*"
               "\\| org.freedesktop.DBus.Error.AccessDenied: no$"
            << check;
        QTest::newRow("check: answer after the check")
            << int(Check) << true << answer({}, 1500) << "" << check;
        QTest::newRow("check: busy")
            << int(Check) << true << errorAnswer(OfflineUpdate::BusyError, "a check runs", 300)
            << "^check: The offline update service is busy .* Try again .*\\| "
               "com.tevrin.offline.update.Error.Busy: a check runs$"
            << check;
        QTest::newRow("upgrade: refused")
            << int(Upgrade) << true << refused
            << "^upgrade: Upgrading the system needs an administrator's authorization.*\\| "
               "org.freedesktop.DBus.Error.AccessDenied: no$"
            << QStringList { "BackupSystem() sent" };
        QTest::newRow("upgrade: the plan changed")
            << int(Upgrade) << true
            << errorAnswer(OfflineUpdate::PlanChangedError, "apt foresees another upgrade", 300)
            << "^plan changed: com.tevrin.offline.update.Error.PlanChanged: apt foresees another "
               "upgrade$"
            << QStringList { "BackupSystem() sent" };
    }

    void requests()
    {
        QFETCH(int, operation);
        QFETCH(bool, daemonRuns);
        QFETCH(Reply, reply);
        QFETCH(QString, outcome);
        QFETCH(QStringList, calls);

        m_daemon->setReply(QString(), reply);
        if (!daemonRuns)
            m_daemon->stop();
        OfflineUpdateModel model(QDBusConnection::systemBus(), QDBusConnection::sessionBus());
        QString reported;
        connect(&model, &OfflineUpdateModel::notifyOfflineCheckFailed, this,
            [&](const QString &reason, const QString &details) {
                reported += "check: " + reason + " | " + details;
            });
        connect(&model, &OfflineUpdateModel::notifyOfflineUpgradeFailed, this,
            [&](const QString &reason, const QString &details) {
                reported += "upgrade: " + reason + " | " + details;
            });
        connect(&model, &OfflineUpdateModel::notifyUpgradePlanChanged, this,
            [&](const QString &details) { reported += "plan changed: " + details; });
        const auto matches = [&] {
            return outcome.isEmpty() ? reported.isEmpty()
                                     : QRegularExpression(outcome).match(reported).hasMatch();
        };

        QElapsedTimer elapsed;
        elapsed.start();
        if (operation == Check)
            model.startOfflineFileChecking(PackagePath);
        else if (operation == Upgrade)
            model.startOfflineUpgrade();
        const qint64 returnedMs = ScriptedService::now();
        QTRY_VERIFY2_WITH_TIMEOUT(matches(), qPrintable(reported), 5000);
        QVERIFY2(elapsed.elapsed() < 5000, "an immediate error taken only at the time-out");
        // A failure reported once the answer has come, or a second time, shows now.
        QTRY_VERIFY_WITH_TIMEOUT(
            calls.isEmpty() || m_daemon->calls().value(0).answeredMs >= 0, 5000);
        QTest::qWait(300);
        QVERIFY2(matches() && reported.count(": ") <= 2, qPrintable(reported));

        QStringList seen;
        for (const ScriptedService::Call &call : m_daemon->calls()) {
            QStringList arguments;
            for (const QVariant &argument : call.arguments)
                arguments << QString::fromLatin1(argument.typeName()) + ':' + argument.toString();
            seen << call.member + '(' + arguments.join(", ") + ')'
                    + (call.answeredMs <= returnedMs ? " waited" : " sent");
        }
        QCOMPARE(seen, calls);
    }

    void checkDetailsPlan_data()
    {
        QTest::addColumn<bool>("checkFailed");
        QTest::addColumn<Reply>("reply");
        QTest::addColumn<bool>("planRead"); // else empty

        OfflineUpdate::registerUpgradePlanTypes();
        QTest::newRow("passed") << false << answer({ QVariant::fromValue(plan()) }) << true;
        QTest::newRow("failed: not asked")
            << true << answer({ QVariant::fromValue(plan()) }) << false;
        QTest::newRow("a daemon without plans")
            << false << errorAnswer("org.freedesktop.DBus.Error.UnknownMethod") << false;
        QTest::newRow("a text") << false << answer({ QStringLiteral("(a(ssss)...)") }) << false;
        qDBusRegisterMetaType<PackagesOnly>();
        QTest::newRow("a structure of another shape")
            << false << answer({ QVariant::fromValue(PackagesOnly { plan().upgraded }) }) << false;
        QTest::newRow("an empty reply") << false << answer() << false;
    }

    void checkDetailsPlan()
    {
        QFETCH(bool, checkFailed);
        QFETCH(Reply, reply);
        QFETCH(bool, planRead);
        m_daemon->setReply(QStringLiteral("GetUpgradePlan"), reply);
        OfflineUpdateModel model(QDBusConnection::systemBus(), QDBusConnection::sessionBus());
        std::optional<CheckDetails> details;
        model.requestCheckDetails(
            checkFailed, this, [&](const CheckDetails &answered) { details = answered; });
        QTRY_VERIFY_WITH_TIMEOUT(details.has_value(), 5000);
        QCOMPARE(details->plan == plan(), planRead);
        QVERIFY(planRead || details->plan.isEmpty());
        QCOMPARE(m_daemon->members().contains(QStringLiteral("GetUpgradePlan")), !checkFailed);
    }

    void upgradeFailureReason_data()
    {
        QTest::addColumn<Reply>("reply");
        QTest::addColumn<QString>("reason");
        QTest::newRow("repair failed")
            << answer({ OfflineUpdate::UpgradeReason::RepairFailed, QStringLiteral("libfoo") })
            << "repair-failed|libfoo";
        QTest::newRow("a daemon without reasons")
            << errorAnswer("org.freedesktop.DBus.Error.UnknownMethod") << "|";
    }

    void upgradeFailureReason()
    {
        QFETCH(Reply, reply);
        QFETCH(QString, reason);
        m_daemon->setReply(QStringLiteral("GetUpgradeFailureReason"), reply);
        OfflineUpdateModel model(QDBusConnection::systemBus(), QDBusConnection::sessionBus());
        QString answered;
        model.requestUpgradeFailureReason(this,
            [&](const QString &key, const QString &detail) { answered = key + '|' + detail; });
        QTRY_COMPARE_WITH_TIMEOUT(answered, reason, 5000);
    }

    // Any client of the system bus may broadcast a signal with the daemon's path and interface;
    // only the owner of the daemon's name may be listened to.
    void forgedSignalIgnored()
    {
        const QString signal = QStringLiteral("NotifyOfflineFileCheckResult");
        OfflineUpdateModel model(QDBusConnection::systemBus(), QDBusConnection::sessionBus());
        QSignalSpy results(&model, &OfflineUpdateModel::notifyOfflineCheckResult);
        {
            QDBusConnection impostor
                = QDBusConnection::connectToBus(m_buses.systemAddress(), QStringLiteral("fake"));
            QDBusMessage forged = QDBusMessage::createSignal(
                QStringLiteral("/com/tevrin/offline/update/daemon"), DaemonService, signal);
            forged.setArguments({ 4, false });
            QVERIFY(impostor.send(forged));
            // Answered only after the bus has routed the forged signal.
            QVERIFY(impostor.interface()->isServiceRegistered(DaemonService).value());
        }
        QDBusConnection::disconnectFromBus(QStringLiteral("fake"));
        // The bus delivers to the model in order, so once this one has arrived, so has the above.
        QVERIFY(m_daemon->emitSignal(signal, { 6, true }));
        QVERIFY(results.wait(5000));
        QCOMPARE(QList<QVariantList>(results), QList<QVariantList>({ { 6, true } }));
    }

    void hooksThenRestart_data()
    {
        QTest::addColumn<Reply>("hooks");
        QTest::addColumn<Reply>("restart");
        // |outcome|: the hooks' error, then "|restart failed: " and the reason when refused.
        QTest::addColumn<QString>("outcome");
        // Longer than a blocking call's time-out would be scaled down to a test's patience: what
        // counts is that nothing but the answer ends the hooks.
        QTest::newRow("hooks answer late") << answer({}, 2000) << answer() << "";
        QTest::newRow("hooks fail, restart refused")
            << errorAnswer("org.freedesktop.DBus.Error.Failed", "hook 20 failed", 1000)
            << errorAnswer("org.freedesktop.DBus.Error.AccessDenied", "not now")
            << "hook 20 failed|restart failed: not now";
    }

    void hooksThenRestart()
    {
        QFETCH(Reply, hooks);
        QFETCH(Reply, restart);
        QFETCH(QString, outcome);
        m_daemon->setReply(QStringLiteral("StartExecHookPost"), hooks);
        m_sessionManager->setReply(QStringLiteral("RequestReboot"), restart);
        OfflineUpdateModel model(QDBusConnection::systemBus(), QDBusConnection::sessionBus());
        QSignalSpy done(&model, &OfflineUpdateModel::notifyPostUpgradeHooksDone);
        QSignalSpy restartFailed(&model, &OfflineUpdateModel::notifyRebootFailed);
        QElapsedTimer elapsed;
        elapsed.start();
        model.runPostUpgradeHooks();
        QVERIFY(elapsed.elapsed() < 100);
        QVERIFY(done.wait(hooks.delayMs + 5000));
        const ScriptedService::Call hookCall = m_daemon->calls().constLast();
        QCOMPARE(hookCall.member, QStringLiteral("StartExecHookPost"));
        QCOMPARE(hookCall.arguments, QVariantList { QDir::homePath() });
        QVERIFY(hookCall.answeredMs >= 0);
        QString seen = done.constFirst().constFirst().toString();
        // Restarting is the user's choice, never a side effect of the hooks' end.
        QVERIFY(m_sessionManager->calls().isEmpty());

        model.requestReboot();
        QTRY_COMPARE_WITH_TIMEOUT(
            m_sessionManager->members(), QStringList { QStringLiteral("RequestReboot") }, 5000);
        if (!restart.errorName.isEmpty()) {
            QTRY_COMPARE_WITH_TIMEOUT(restartFailed.count(), 1, 5000);
            seen += "|restart failed: " + restartFailed.constFirst().constFirst().toString();
        }
        QCOMPARE(seen, outcome);
    }
};

QTEST_GUILESS_MAIN(tst_OfflineUpdateModel)
#include "tst_offlineupdatemodel.moc"
