// Tests the tool's daemon client against scripted stand-ins for the daemon, the window manager
// and the session manager on private buses. Faults caught here:
// - a wrong method name, argument order, count or type (the home directory, QDir::homePath(),
//   comes first), a call made during construction, or a request sent to the wrong service;
// - a fire-and-forget request that waits for the answer (a check answers only when it ends), or
//   a query that does not wait for its value;
// - queries that pass on garbage instead of falling back to 0, "" or false when the peer is
//   missing, fails or answers with an odd type, and a missing warning for the backup question;
// - the wallpaper URL split in the wrong place, or empty parts dropped;
// - a check or upgrade request refused (no daemon, a refusal, an unknown method) that goes
//   unnoticed and leaves a page waiting for ever, or is noticed only at the time-out, a refusal
//   reported in the other request's words, and a slow daemon taken for a failure;
// - daemon signals not relayed, relayed with other values, relayed from any sender on the bus
//   (a forged check result), and the check result's log line not in its promised form;
// - the reboot requested before the post-upgrade hooks have answered, or never when they fail
//   or overrun the time-out, and that time-out taken for a failed check.
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
const QString DaemonPath = QStringLiteral("/com/tevrin/offline/update/daemon");
// Not the real home of whoever runs the test, and with a blank, so that a home directory taken
// from anywhere but QDir::homePath(), or split at blanks, shows.
const QByteArray TestHome = "/tmp/tst offlineupdatemodel home";
const QString PackagePath = QStringLiteral("/media/usb stick/system update.oup");

enum Operation { Construct, SetPath, Check, Type, Sum, Serial, Backup, Upgrade, Image, Reboot };

QVariant run(OfflineUpdateModel &model, int operation)
{
    switch (operation) {
    case SetPath:
        model.setCheckFilePath(PackagePath);
        break;
    case Check:
        model.startOfflineFileChecking(PackagePath);
        break;
    case Type:
        return model.getUpgradeType();
    case Sum:
        return model.getDistUpgradeSum();
    case Serial:
        return model.getPatchUpgradeSerial();
    case Backup:
        return model.getABSystemBackupStatus();
    case Upgrade:
        model.startOfflineUpgrade();
        break;
    case Image:
        return model.getDesktopImage();
    case Reboot:
        model.systemReboot();
        break;
    }
    return QVariant();
}

ScriptedObject::Reply answer(const QVariant &value, int delayMs = 0, bool never = false)
{
    return { value.isValid() ? QVariantList { value } : QVariantList(), delayMs, never, {}, {} };
}

ScriptedObject::Reply error(const char *name, const char *message)
{
    return { {}, 0, false, QString::fromLatin1(name), QString::fromLatin1(message) };
}

} // namespace

Q_DECLARE_METATYPE(ScriptedObject::Reply)

class tst_OfflineUpdateModel : public QObject
{
    Q_OBJECT

    TestBuses m_buses;
    std::unique_ptr<ScriptedService> m_daemon;
    std::unique_ptr<ScriptedService> m_windowManager;
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
        m_windowManager = std::make_unique<ScriptedService>(
            m_buses.sessionAddress(), QStringLiteral("com.tevrin.wm"));
        m_sessionManager = std::make_unique<ScriptedService>(
            m_buses.sessionAddress(), QStringLiteral("com.tevrin.SessionManager"));
        QCOMPARE(m_daemon->start(), QString());
        QCOMPARE(m_windowManager->start(), QString());
        QCOMPARE(m_sessionManager->start(), QString());
    }

    void cleanup()
    {
        m_daemon.reset();
        m_windowManager.reset();
        m_sessionManager.reset();
    }

    void requests_data()
    {
        // "peer Member(type:argument, ...) mode": waited for, or sent without waiting.
        QTest::addColumn<int>("operation");
        QTest::addColumn<QStringList>("calls");

        const QString home = QStringLiteral("QString:") + QString::fromUtf8(TestHome);
        const auto row = [](const char *name, int operation, const QStringList &calls) {
            QTest::newRow(name) << operation << calls;
        };
        row("construction", Construct, {});
        row("setCheckFilePath", SetPath, {});
        row("startOfflineFileChecking", Check,
            { QStringLiteral("daemon StartOfflineFileCheck(%1, QString:%2) sent")
                    .arg(home, PackagePath) });
        row("getUpgradeType", Type, { "daemon GetUpgradeType() waited" });
        row("getDistUpgradeSum", Sum, { "daemon GetDistUpgradeSum() waited" });
        row("getPatchUpgradeSerial", Serial, { "daemon GetPatchUpgradeSerial() waited" });
        row("getABSystemBackupStatus", Backup, { "daemon IsAllowBackupSystem() waited" });
        row("startOfflineUpgrade", Upgrade, { "daemon BackupSystem() sent" });
        row("getDesktopImage", Image, { "wm GetCurrentWorkspaceBackground() waited" });
        row("systemReboot", Reboot,
            { QStringLiteral("daemon StartExecHookPost(%1) waited").arg(home),
                "session RequestReboot() sent" });
    }

    void requests()
    {
        QFETCH(int, operation);
        QFETCH(QStringList, calls);

        const QList<QPair<QString, ScriptedService *>> peers = { { "daemon", m_daemon.get() },
            { "wm", m_windowManager.get() }, { "session", m_sessionManager.get() } };
        for (const auto &peer : peers)
            peer.second->setReply(QString(), answer(QVariant(), 700));
        OfflineUpdateModel model;
        run(model, operation);
        const qint64 returnedMs = ScriptedObject::now();

        const auto seen = [&] {
            QStringList lines;
            for (const auto &peer : peers) {
                for (const ScriptedObject::Call &call : peer.second->calls()) {
                    QStringList arguments;
                    for (const QVariant &argument : call.arguments)
                        arguments << QString::fromLatin1(argument.typeName()) + ':'
                                + argument.toString();
                    lines << peer.first + ' ' + call.member + '(' + arguments.join(", ") + ')'
                            + (call.answeredMs < 0                  ? " unanswered"
                                    : call.answeredMs <= returnedMs ? " waited"
                                                                    : " sent");
                }
            }
            return lines;
        };
        QTRY_COMPARE_WITH_TIMEOUT(seen(), calls, 5000);
    }

    void answers_data()
    {
        // What a query returns, or what a request reports as its failure.
        QTest::addColumn<int>("operation");
        QTest::addColumn<bool>("peerRuns");
        QTest::addColumn<ScriptedObject::Reply>("reply");
        QTest::addColumn<QString>("expected");

        const auto row = [](const char *name, int operation, bool runs,
                             const ScriptedObject::Reply &reply, const QString &expected) {
            QTest::newRow(name) << operation << runs << reply << expected;
        };
        const ScriptedObject::Reply refused
            = error("org.freedesktop.DBus.Error.AccessDenied", "Rejected");
        row("type", Type, true, answer(2), "2");
        row("type: text that reads as a number", Type, true, answer("1"), "1");
        row("type: text", Type, true, answer("system"), "0");
        row("type: empty reply", Type, true, {}, "0");
        row("type: no daemon", Type, false, {}, "0");
        row("serial: a number", Serial, true, answer(5), "5");
        row("backup: possible", Backup, true, answer(true), "true");
        row("backup: error", Backup, true, error("com.example.Error.Failed", "it broke"), "false");
        row("image: file URL with blanks", Image, true,
            answer("file:///home/u/My Pictures/a b.png"), "/home/u/My Pictures/a b.png");
        row("image: two separators", Image, true, answer("a://b://c"), "b");
        row("image: separator first", Image, true, answer("://x"), "x");
        row("image: no separator", Image, true, answer("/usr/share/a.jpg"), "");
        row("check: no daemon", Check, false, {},
            "check: the offline update service is not installed or not running");
        row("check: refused", Check, true, refused,
            "check: checking update packages needs an administrator's authorization, which was "
            "not given");
        row("check: daemon without the method", Check, true,
            error("org.freedesktop.DBus.Error.UnknownMethod", "No such method"),
            "check: No such method");
        row("check: answer after the check", Check, true, answer(QVariant(), 1500), "");
        row("upgrade: refused", Upgrade, true, refused,
            "upgrade: upgrading the system needs an administrator's authorization, which was not "
            "given");
    }

    void answers()
    {
        QFETCH(int, operation);
        QFETCH(bool, peerRuns);
        QFETCH(ScriptedObject::Reply, reply);
        QFETCH(QString, expected);

        ScriptedService *peer = operation == Image ? m_windowManager.get() : m_daemon.get();
        peer->setReply(QString(), reply);
        if (!peerRuns)
            peer->stop();
        if (operation == Backup && !reply.errorName.isEmpty())
            QTest::ignoreMessage(QtWarningMsg,
                qPrintable("bool OfflineUpdateModel::getABSystemBackupStatus() \""
                    + reply.errorMessage + '"'));
        OfflineUpdateModel model;
        QString reported;
        connect(&model, &OfflineUpdateModel::notifyOfflineCheckFailed, this,
            [&](const QString &reason) { reported += "check: " + reason; });
        connect(&model, &OfflineUpdateModel::notifyOfflineUpgradeFailed, this,
            [&](const QString &reason) { reported += "upgrade: " + reason; });

        QElapsedTimer elapsed;
        elapsed.start();
        const QString returned = run(model, operation).toString();
        QTRY_COMPARE_WITH_TIMEOUT(returned + reported, expected, 5000);
        QVERIFY2(elapsed.elapsed() < 5000, "an immediate error taken only at the time-out");
        if (operation == Check || operation == Upgrade) {
            // A failure reported once the answer has come, or a second time, shows now.
            QTRY_VERIFY_WITH_TIMEOUT(!peerRuns
                    || (!peer->calls().isEmpty() && peer->calls().constFirst().answeredMs >= 0),
                5000);
            QTest::qWait(300);
            QCOMPARE(returned + reported, expected);
        }
    }

    void signalsRelayed_data()
    {
        QTest::addColumn<QString>("signal");
        QTest::addColumn<QVariantList>("arguments");
        QTest::addColumn<bool>("fromDaemon");
        QTest::addColumn<int>("relayedAs"); // index into the spies below, -1: not relayed

        const QString check = QStringLiteral("NotifyOfflineFileCheckResult");
        QTest::newRow("check result") << check << QVariantList { 6, true } << true << 0;
        QTest::newRow("upgrade failed") << QStringLiteral("NotifyOfflineUpgradeProgress")
                                        << QVariantList { 80, -2 } << true << 1;
        QTest::newRow("status text")
            << QStringLiteral("NotifyExecDistUpgradeInfo")
            << QVariantList { QStringLiteral("开始进行系统升级...") } << true << 2;
        QTest::newRow("forged check result") << check << QVariantList { 6, true } << false << -1;
    }

    void signalsRelayed()
    {
        QFETCH(QString, signal);
        QFETCH(QVariantList, arguments);
        QFETCH(bool, fromDaemon);
        QFETCH(int, relayedAs);

        if (relayedAs == 0)
            QTest::ignoreMessage(QtInfoMsg,
                "void OfflineUpdateModel::acceptOfflineFileCheckResult(int, bool) \"Offline file "
                "check result, itemtype:6, result:1\"");
        OfflineUpdateModel model;
        QSignalSpy results(&model, &OfflineUpdateModel::notifyOfflineCheckResult);
        QSignalSpy progress(&model, &OfflineUpdateModel::notifyOfflineUpgradeProgress);
        QSignalSpy info(&model, &OfflineUpdateModel::notifyExecDistUpgradeInfo);

        if (fromDaemon) {
            QVERIFY(m_daemon->emitSignal(signal, arguments));
        } else {
            // Any client of the system bus may broadcast a signal with the daemon's path and
            // interface; only the owner of the daemon's name may be listened to.
            {
                QDBusConnection impostor = QDBusConnection::connectToBus(
                    m_buses.systemAddress(), QStringLiteral("fake"));
                QDBusMessage forged = QDBusMessage::createSignal(DaemonPath, DaemonService, signal);
                forged.setArguments(arguments);
                QVERIFY(impostor.send(forged));
                // Answered only after the bus has routed the forged signal.
                QVERIFY(impostor.interface()->isServiceRegistered(DaemonService).value());
            }
            QDBusConnection::disconnectFromBus(QStringLiteral("fake"));
        }
        // The bus delivers to the model in order, so once this one has arrived, so has the above.
        QVERIFY(m_daemon->emitSignal(QStringLiteral("NotifyExecDistUpgradeInfo"), { QString() }));
        QTRY_VERIFY_WITH_TIMEOUT(!info.isEmpty() && info.last().at(0).toString().isEmpty(), 5000);
        info.removeLast();

        const QList<QSignalSpy *> spies = { &results, &progress, &info };
        for (int i = 0; i < spies.size(); ++i)
            QCOMPARE(QList<QVariantList>(*spies.at(i)),
                i == relayedAs ? QList<QVariantList> { arguments } : QList<QVariantList>());
    }

    void reboot_data()
    {
        QTest::addColumn<ScriptedObject::Reply>("postHook");
        QTest::newRow("hooks answer after a while") << answer(QVariant(), 1000);
        QTest::newRow("hooks fail") << error("com.example.Error.Failed", "hook exited with 3");
        // The one slow row: it waits for the bus library's default time-out of 25 s.
        QTest::newRow("hooks never answer") << answer(QVariant(), 0, true);
    }

    void reboot()
    {
        QFETCH(ScriptedObject::Reply, postHook);

        m_daemon->setReply(QStringLiteral("StartExecHookPost"), postHook);
        m_daemon->setReply(QStringLiteral("StartOfflineFileCheck"), answer(QVariant(), 0, true));
        OfflineUpdateModel model;
        QSignalSpy failed(&model, &OfflineUpdateModel::notifyOfflineCheckFailed);
        // A check that never answers either, waited for at the same time: its time-out must not
        // count as a failure, since a check may run for minutes.
        if (postHook.never)
            model.startOfflineFileChecking(PackagePath);

        QElapsedTimer elapsed;
        elapsed.start();
        model.systemReboot();
        const qint64 returnedMs = ScriptedObject::now();
        QCOMPARE(elapsed.elapsed() >= 24000, postHook.never);

        QTRY_COMPARE_WITH_TIMEOUT(
            m_sessionManager->members(), QStringList { QStringLiteral("RequestReboot") }, 5000);
        const ScriptedObject::Call hook = m_daemon->calls().constLast();
        QCOMPARE(hook.member, QStringLiteral("StartExecHookPost"));
        QVERIFY2(postHook.never || (hook.answeredMs >= 0 && hook.answeredMs <= returnedMs),
            "returned before the hooks had answered");
        QVERIFY2(m_sessionManager->calls().constFirst().receivedMs >= hook.answeredMs,
            "the reboot was requested before the post-upgrade hooks had answered");
        if (postHook.never) {
            // The check request was sent first, so its time-out has passed too by now.
            QTest::qWait(1000);
            QCOMPARE(failed.count(), 0);
        }
    }
};

QTEST_GUILESS_MAIN(tst_OfflineUpdateModel)
#include "tst_offlineupdatemodel.moc"
