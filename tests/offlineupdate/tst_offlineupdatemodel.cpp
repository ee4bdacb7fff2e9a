// Tests the tool's daemon client against scripted stand-ins for the daemon and the session
// manager on private buses. Faults caught here:
// - a wrong argument order or type (the home directory, QDir::homePath(), comes first), or a
//   call made during construction;
// - a fire-and-forget request that waits for the answer (a check answers only when it ends), or
//   a query that does not wait for its value, or passes on garbage when the daemon is missing;
// - a check or upgrade request refused (no daemon, a refusal) that goes unnoticed and leaves a
//   page waiting for ever, or is noticed only at the time-out, a refusal reported in the other
//   request's words, and a slow daemon taken for a failure;
// - daemon signals relayed from any sender on the bus (a forged check result), and the check
//   result's log line not in its promised form;
// - the reboot never requested when the post-upgrade hooks overrun the time-out, and that
//   time-out taken for a failed check.
#include "offlineupdatemodel.h"
#include "scriptedservice.h"
#include "testbuses.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QtTest>
#include <memory>

namespace {

const QString DaemonService = QStringLiteral("com.tevrin.offline.update.daemon");
// Not the real home of whoever runs the test, and with a blank, so that a home directory taken
// from anywhere but QDir::homePath(), or split at blanks, shows.
const QByteArray TestHome = "/tmp/tst offlineupdatemodel home";
const QString PackagePath = QStringLiteral("/media/usb stick/system update.oup");

enum Operation { Construct, Check, Type, Upgrade };

QVariant run(OfflineUpdateModel &model, int operation)
{
    switch (operation) {
    case Check:
        model.startOfflineFileChecking(PackagePath);
        break;
    case Type:
        return model.getUpgradeType();
    case Upgrade:
        model.startOfflineUpgrade();
        break;
    }
    return QVariant();
}

ScriptedService::Reply answer(const QVariant &value, int delayMs = 0, bool never = false)
{
    return { value.isValid() ? QVariantList { value } : QVariantList(), delayMs, never, {}, {} };
}

} // namespace

Q_DECLARE_METATYPE(ScriptedService::Reply)

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
        // |outcome|: what a query returns, or what a request reports as its failure.
        QTest::addColumn<int>("operation");
        QTest::addColumn<bool>("daemonRuns");
        QTest::addColumn<ScriptedService::Reply>("reply");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<QStringList>("calls");

        const ScriptedService::Reply refused
            = { {}, 300, false, QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"), "no" };
        const QStringList check { QStringLiteral(
            "StartOfflineFileCheck(QString:%1, QString:%2) sent")
                                      .arg(QString::fromUtf8(TestHome), PackagePath) };
        QTest::newRow("construction") << int(Construct) << true << answer(2) << "" << QStringList();
        QTest::newRow("type") << int(Type) << true << answer(2, 300) << "2"
                              << QStringList { "GetUpgradeType() waited" };
        QTest::newRow("type: no daemon") << int(Type) << false << answer(2) << "0" << QStringList();
        QTest::newRow("check: no daemon")
            << int(Check) << false << answer(QVariant())
            << "check: the offline update service is not installed or not running" << QStringList();
        QTest::newRow("check: refused") << int(Check) << true << refused
                                        << "check: checking update packages needs an "
                                           "administrator's authorization, which was not given"
                                        << check;
        QTest::newRow("check: answer after the check")
            << int(Check) << true << answer(QVariant(), 1500) << "" << check;
        QTest::newRow("upgrade: refused") << int(Upgrade) << true << refused
                                          << "upgrade: upgrading the system needs an "
                                             "administrator's authorization, which was not given"
                                          << QStringList { "BackupSystem() sent" };
    }

    void requests()
    {
        QFETCH(int, operation);
        QFETCH(bool, daemonRuns);
        QFETCH(ScriptedService::Reply, reply);
        QFETCH(QString, outcome);
        QFETCH(QStringList, calls);

        m_daemon->setReply(QString(), reply);
        if (!daemonRuns)
            m_daemon->stop();
        OfflineUpdateModel model;
        QString reported;
        connect(&model, &OfflineUpdateModel::notifyOfflineCheckFailed, this,
            [&](const QString &reason) { reported += "check: " + reason; });
        connect(&model, &OfflineUpdateModel::notifyOfflineUpgradeFailed, this,
            [&](const QString &reason) { reported += "upgrade: " + reason; });

        QElapsedTimer elapsed;
        elapsed.start();
        const QString returned = run(model, operation).toString();
        const qint64 returnedMs = ScriptedService::now();
        QTRY_COMPARE_WITH_TIMEOUT(returned + reported, outcome, 5000);
        QVERIFY2(elapsed.elapsed() < 5000, "an immediate error taken only at the time-out");
        // A failure reported once the answer has come, or a second time, shows now.
        const auto answered = [this] {
            const QList<ScriptedService::Call> made = m_daemon->calls();
            return !made.isEmpty() && made.constFirst().answeredMs >= 0;
        };
        QTRY_VERIFY_WITH_TIMEOUT(calls.isEmpty() || answered(), 5000);
        QTest::qWait(300);
        QCOMPARE(returned + reported, outcome);

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

    // Any client of the system bus may broadcast a signal with the daemon's path and interface;
    // only the owner of the daemon's name may be listened to.
    void forgedSignalIgnored()
    {
        const QString signal = QStringLiteral("NotifyOfflineFileCheckResult");
        QTest::ignoreMessage(QtInfoMsg,
            "void OfflineUpdateModel::acceptOfflineFileCheckResult(int, bool) \"Offline file "
            "check result, itemtype:6, result:1\"");
        OfflineUpdateModel model;
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

    // The one slow test: it waits for the bus library's default time-out of 25 s.
    void rebootAfterHooksTimeOut()
    {
        m_daemon->setReply(QStringLiteral("StartExecHookPost"), answer(QVariant(), 0, true));
        m_daemon->setReply(QStringLiteral("StartOfflineFileCheck"), answer(QVariant(), 0, true));
        OfflineUpdateModel model;
        QSignalSpy failed(&model, &OfflineUpdateModel::notifyOfflineCheckFailed);
        // A check that never answers either, waited for at the same time: its time-out must not
        // count as a failure, since a check may run for minutes.
        model.startOfflineFileChecking(PackagePath);
        QElapsedTimer elapsed;
        elapsed.start();
        model.systemReboot();
        QVERIFY(elapsed.elapsed() >= 24000);
        QTRY_COMPARE_WITH_TIMEOUT(
            m_sessionManager->members(), QStringList { QStringLiteral("RequestReboot") }, 5000);
        QCOMPARE(m_daemon->calls().constLast().member, QStringLiteral("StartExecHookPost"));
        QCOMPARE(m_daemon->calls().constLast().arguments, QVariantList { QDir::homePath() });
        // The check request was sent first, so its time-out has passed too by now.
        QTest::qWait(1000);
        QCOMPARE(failed.count(), 0);
    }
};

QTEST_GUILESS_MAIN(tst_OfflineUpdateModel)
#include "tst_offlineupdatemodel.moc"
