// Tests the tool's daemon client against scripted stand-ins for the daemon (private system bus)
// and for the window manager and session manager (private session bus).
// Faults caught here:
// - a wrong method name, argument order, argument count or type (the home directory must come
//   first in StartOfflineFileCheck and StartExecHookPost and be QDir::homePath()), a call made
//   during construction, or a request sent to the wrong service;
// - a fire-and-forget request that waits for the answer (a check answers only when it ends), or
//   a query that does not wait for its value;
// - getters that pass on garbage instead of falling back to 0, "" or false when the peer is
//   missing, fails or answers with an odd type, and a missing warning for the backup question;
// - the wallpaper URL split in the wrong place or case-insensitively;
// - daemon signals not relayed, relayed with other values, relayed from any sender on the bus
//   (a forged check result), and the check result's log line not in its promised form;
// - the reboot requested before the post-upgrade hooks have answered, or never when they fail,
//   are missing or overrun the time-out;
// - a check or upgrade request refused (no daemon, the bus policy or the daemon refusing, an
//   unknown method) that goes unnoticed and leaves a page waiting for ever, a refusal reported
//   in the other request's words, and, the other way round, a slow daemon or a time-out taken
//   for a failure.
#include "offlineupdatemodel.h"
#include "scriptedservice.h"
#include "testbuses.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QElapsedTimer>
#include <QMutex>
#include <QSignalSpy>
#include <QtTest>
#include <memory>

namespace {

const QString DaemonService = QStringLiteral("com.tevrin.offline.update.daemon");
const QString DaemonPath = QStringLiteral("/com/tevrin/offline/update/daemon");
const QString NotRunning
    = QStringLiteral("the offline update service is not installed or not running");
const QString CheckNotAuthorized = QStringLiteral(
    "checking update packages needs an administrator's authorization, which was not given");
const QString UpgradeNotAuthorized = QStringLiteral(
    "upgrading the system needs an administrator's authorization, which was not given");
// Not the real home of whoever runs the test, and with a blank, so that a home directory taken
// from anywhere but QDir::homePath(), or split at blanks, shows.
const QByteArray TestHome = "/tmp/tst offlineupdatemodel home";
const QString PackagePath = QStringLiteral("/media/usb stick/system update.oup");
const QStringList Members = { QStringLiteral("StartOfflineFileCheck"),
    QStringLiteral("GetUpgradeType"), QStringLiteral("GetDistUpgradeSum"),
    QStringLiteral("GetPatchUpgradeSerial"), QStringLiteral("IsAllowBackupSystem"),
    QStringLiteral("BackupSystem"), QStringLiteral("StartExecHookPost"),
    QStringLiteral("GetCurrentWorkspaceBackground"), QStringLiteral("RequestReboot") };

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

// "Member(type:value, ...)", so that an int sent for a string shows.
QStringList describe(const QList<ScriptedObject::Call> &calls)
{
    QStringList lines;
    for (const ScriptedObject::Call &call : calls) {
        QStringList arguments;
        for (const QVariant &argument : call.arguments)
            arguments.append(
                QString::fromLatin1(argument.typeName()) + QLatin1Char(':') + argument.toString());
        lines.append(call.member + QLatin1Char('(') + arguments.join(QStringLiteral(", "))
            + QLatin1Char(')'));
    }
    return lines;
}

ScriptedObject::Reply answer(const QVariant &value, int delayMs = 0, bool never = false)
{
    return { value.isValid() ? QVariantList { value } : QVariantList(), delayMs, never, {}, {} };
}

ScriptedObject::Reply error(const QString &name, const QString &message)
{
    return { {}, 0, false, name, message };
}

QMutex logMutex;
QStringList logLines;
QtMessageHandler previousHandler = nullptr;

void captureLog(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    {
        QMutexLocker locker(&logMutex);
        logLines.append(message);
    }
    previousHandler(type, context, message);
}

bool loggedStartingWith(const QString &start)
{
    QMutexLocker locker(&logMutex);
    for (const QString &line : qAsConst(logLines))
        if (line.startsWith(start))
            return true;
    return false;
}

} // namespace

Q_DECLARE_METATYPE(ScriptedObject::Reply)

class tst_OfflineUpdateModel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void requests_data();
    void requests();
    void getters_data();
    void getters();
    void signalsRelayed_data();
    void signalsRelayed();
    void reboot_data();
    void reboot();
    void requestErrors_data();
    void requestErrors();

private:
    TestBuses m_buses;
    std::unique_ptr<ScriptedService> m_daemon;
    std::unique_ptr<ScriptedService> m_windowManager;
    std::unique_ptr<ScriptedService> m_sessionManager;
};

void tst_OfflineUpdateModel::initTestCase()
{
    QString error;
    QVERIFY2(m_buses.start(&error), qPrintable(error));
    qputenv("HOME", TestHome);
    QCOMPARE(QDir::homePath(), QString::fromUtf8(TestHome));
    previousHandler = qInstallMessageHandler(captureLog);
}

void tst_OfflineUpdateModel::init()
{
    m_daemon = std::make_unique<ScriptedService>(
        m_buses.systemAddress(), DaemonService, DaemonPath, DaemonService);
    m_windowManager = std::make_unique<ScriptedService>(m_buses.sessionAddress(),
        QStringLiteral("com.tevrin.wm"), QStringLiteral("/com/tevrin/wm"),
        QStringLiteral("com.tevrin.wm"));
    m_sessionManager = std::make_unique<ScriptedService>(m_buses.sessionAddress(),
        QStringLiteral("com.tevrin.SessionManager"), QStringLiteral("/com/tevrin/SessionManager"),
        QStringLiteral("com.tevrin.SessionManager"));
    QString error;
    QVERIFY2(m_daemon->start(&error), qPrintable(error));
    QVERIFY2(m_windowManager->start(&error), qPrintable(error));
    QVERIFY2(m_sessionManager->start(&error), qPrintable(error));
    QMutexLocker locker(&logMutex);
    logLines.clear();
}

void tst_OfflineUpdateModel::cleanup()
{
    m_daemon.reset();
    m_windowManager.reset();
    m_sessionManager.reset();
}

void tst_OfflineUpdateModel::requests_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<QStringList>("daemonCalls");
    QTest::addColumn<QStringList>("windowManagerCalls");
    QTest::addColumn<QStringList>("sessionManagerCalls");
    QTest::addColumn<QStringList>("waitedFor");

    const QString home = QStringLiteral("QString:") + QString::fromUtf8(TestHome);
    const QStringList none;
    const auto call = [](const char *member) { return QStringList { QLatin1String(member) }; };
    QTest::newRow("construction") << int(Construct) << none << none << none << none;
    QTest::newRow("setCheckFilePath") << int(SetPath) << none << none << none << none;
    QTest::newRow("startOfflineFileChecking")
        << int(Check)
        << QStringList { QStringLiteral("StartOfflineFileCheck(%1, QString:%2)")
                             .arg(home, PackagePath) }
        << none << none << none;
    QTest::newRow("getUpgradeType")
        << int(Type) << call("GetUpgradeType()") << none << none << call("GetUpgradeType");
    QTest::newRow("getDistUpgradeSum")
        << int(Sum) << call("GetDistUpgradeSum()") << none << none << call("GetDistUpgradeSum");
    QTest::newRow("getPatchUpgradeSerial") << int(Serial) << call("GetPatchUpgradeSerial()") << none
                                           << none << call("GetPatchUpgradeSerial");
    QTest::newRow("getABSystemBackupStatus") << int(Backup) << call("IsAllowBackupSystem()") << none
                                             << none << call("IsAllowBackupSystem");
    QTest::newRow("startOfflineUpgrade")
        << int(Upgrade) << call("BackupSystem()") << none << none << none;
    QTest::newRow("getDesktopImage")
        << int(Image) << none << call("GetCurrentWorkspaceBackground()") << none
        << call("GetCurrentWorkspaceBackground");
    QTest::newRow("systemReboot") << int(
        Reboot) << QStringList { QStringLiteral("StartExecHookPost(%1)").arg(home) }
                                  << none << call("RequestReboot()") << call("StartExecHookPost");
}

void tst_OfflineUpdateModel::requests()
{
    QFETCH(int, operation);
    QFETCH(QStringList, daemonCalls);
    QFETCH(QStringList, windowManagerCalls);
    QFETCH(QStringList, sessionManagerCalls);
    QFETCH(QStringList, waitedFor);

    const std::initializer_list<ScriptedService *> peers
        = { m_daemon.get(), m_windowManager.get(), m_sessionManager.get() };
    for (ScriptedService *peer : peers)
        for (const QString &member : Members)
            peer->setReply(member, answer(QVariant(), 700));
    OfflineUpdateModel model;
    run(model, operation);
    const qint64 returnedMs = ScriptedObject::now();

    QTRY_COMPARE_WITH_TIMEOUT(describe(m_daemon->calls()), daemonCalls, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(describe(m_windowManager->calls()), windowManagerCalls, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(describe(m_sessionManager->calls()), sessionManagerCalls, 5000);
    for (ScriptedService *peer : peers) {
        for (int i = 0; i < peer->calls().size(); ++i) {
            QTRY_VERIFY_WITH_TIMEOUT(peer->calls().at(i).answeredMs >= 0, 5000);
            const ScriptedObject::Call call = peer->calls().at(i);
            QVERIFY2((call.answeredMs <= returnedMs) == waitedFor.contains(call.member),
                qPrintable(call.member + QStringLiteral(": wrong call mode")));
        }
    }
}

void tst_OfflineUpdateModel::getters_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<bool>("peerRuns");
    QTest::addColumn<ScriptedObject::Reply>("reply");
    QTest::addColumn<QVariant>("expected");

    const ScriptedObject::Reply failed
        = error(QStringLiteral("com.example.Error.Failed"), QStringLiteral("it broke"));
    const ScriptedObject::Reply none;
    const auto row = [](const char *name, int operation, bool runs,
                         const ScriptedObject::Reply &reply, const QVariant &expected) {
        QTest::newRow(name) << operation << runs << reply << expected;
    };
    row("type", Type, true, answer(2), 2);
    row("type: text that reads as a number", Type, true, answer(QStringLiteral("1")), 1);
    row("type: text", Type, true, answer(QStringLiteral("system")), 0);
    row("type: empty reply", Type, true, none, 0);
    row("type: error", Type, true, failed, 0);
    row("type: no daemon", Type, false, none, 0);
    row("sum", Sum, true, answer(17), 17);
    row("sum: no daemon", Sum, false, none, 0);
    row("serial", Serial, true, answer(QStringLiteral("CVE-2024-0001")),
        QStringLiteral("CVE-2024-0001"));
    row("serial: a number", Serial, true, answer(5), QStringLiteral("5"));
    row("serial: error", Serial, true, failed, QString());
    row("backup: possible", Backup, true, answer(true), true);
    row("backup: not possible", Backup, true, answer(false), false);
    row("backup: error", Backup, true, failed, false);
    row("backup: no daemon", Backup, false, none, false);
    row("image: file URL with blanks", Image, true,
        answer(QStringLiteral("file:///home/u/My Pictures/a b.png")),
        QStringLiteral("/home/u/My Pictures/a b.png"));
    row("image: two separators", Image, true, answer(QStringLiteral("a://b://c")),
        QStringLiteral("b"));
    row("image: separator first", Image, true, answer(QStringLiteral("://x")), QStringLiteral("x"));
    row("image: no separator", Image, true, answer(QStringLiteral("/usr/share/a.jpg")), QString());
    row("image: separator in capitals", Image, true, answer(QStringLiteral("FILE:/X")), QString());
    row("image: not a string", Image, true, answer(42), QString());
    row("image: no window manager", Image, false, none, QString());
}

void tst_OfflineUpdateModel::getters()
{
    QFETCH(int, operation);
    QFETCH(bool, peerRuns);
    QFETCH(ScriptedObject::Reply, reply);
    QFETCH(QVariant, expected);

    ScriptedService *peer = operation == Image ? m_windowManager.get() : m_daemon.get();
    for (const QString &member : Members)
        peer->setReply(member, reply);
    if (!peerRuns)
        peer->stop();
    OfflineUpdateModel model;

    QElapsedTimer elapsed;
    elapsed.start();
    QCOMPARE(run(model, operation).toString(), expected.toString());
    QVERIFY2(elapsed.elapsed() < 5000, "an immediate error taken only at the time-out");

    const QString warning = QStringLiteral("bool OfflineUpdateModel::getABSystemBackupStatus() \"");
    const bool backupFailed = operation == Backup && (!peerRuns || !reply.errorName.isEmpty());
    QCOMPARE(loggedStartingWith(warning), backupFailed);
    if (backupFailed && peerRuns)
        QVERIFY(loggedStartingWith(warning + reply.errorMessage + QLatin1Char('"')));
}

void tst_OfflineUpdateModel::signalsRelayed_data()
{
    QTest::addColumn<QString>("signal");
    QTest::addColumn<QVariantList>("arguments");
    QTest::addColumn<bool>("fromDaemon");
    QTest::addColumn<int>("relayedAs"); // index into the spies below, -1: not relayed
    QTest::addColumn<QString>("logLine");

    const QString check = QStringLiteral("NotifyOfflineFileCheckResult");
    const QString log = QStringLiteral("void OfflineUpdateModel::acceptOfflineFileCheckResult(int, "
                                       "bool) \"Offline file check result, itemtype:%1\"");
    QTest::newRow("check passed") << check << QVariantList { 6, true } << true << 0
                                  << log.arg(QStringLiteral("6, result:1"));
    QTest::newRow("check failed") << check << QVariantList { 0, false } << true << 0
                                  << log.arg(QStringLiteral("0, result:0"));
    QTest::newRow("upgrade failed") << QStringLiteral("NotifyOfflineUpgradeProgress")
                                    << QVariantList { 80, -2 } << true << 1 << QString();
    QTest::newRow("status text") << QStringLiteral("NotifyExecDistUpgradeInfo")
                                 << QVariantList { QStringLiteral("开始进行系统升级...") } << true
                                 << 2 << QString();
    QTest::newRow("forged check result")
        << check << QVariantList { 6, true } << false << -1 << QString();
}

void tst_OfflineUpdateModel::signalsRelayed()
{
    QFETCH(QString, signal);
    QFETCH(QVariantList, arguments);
    QFETCH(bool, fromDaemon);
    QFETCH(int, relayedAs);
    QFETCH(QString, logLine);

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
            QDBusConnection impostor
                = QDBusConnection::connectToBus(m_buses.systemAddress(), QStringLiteral("fake"));
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
    QCOMPARE(
        loggedStartingWith(QStringLiteral("void OfflineUpdateModel::acceptOfflineFileCheckResult")),
        relayedAs == 0);
    QVERIFY(logLine.isEmpty() || loggedStartingWith(logLine));
}

void tst_OfflineUpdateModel::reboot_data()
{
    QTest::addColumn<bool>("daemonRuns");
    QTest::addColumn<ScriptedObject::Reply>("postHook");

    QTest::newRow("hooks answer after a while") << true << answer(QVariant(), 1000);
    QTest::newRow("hooks fail") << true
                                << error(QStringLiteral("com.example.Error.Failed"),
                                       QStringLiteral("hook exited with 3"));
    QTest::newRow("no daemon") << false << ScriptedObject::Reply();
    // The one slow row: it waits for the bus library's default time-out of 25 s.
    QTest::newRow("hooks never answer") << true << answer(QVariant(), 0, true);
}

void tst_OfflineUpdateModel::reboot()
{
    QFETCH(bool, daemonRuns);
    QFETCH(ScriptedObject::Reply, postHook);

    m_daemon->setReply(QStringLiteral("StartExecHookPost"), postHook);
    m_daemon->setReply(QStringLiteral("StartOfflineFileCheck"), answer(QVariant(), 0, true));
    if (!daemonRuns)
        m_daemon->stop();
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
    if (daemonRuns) {
        const ScriptedObject::Call hook = m_daemon->calls().constLast();
        QCOMPARE(hook.member, QStringLiteral("StartExecHookPost"));
        QVERIFY2(postHook.never || (hook.answeredMs >= 0 && hook.answeredMs <= returnedMs),
            "returned before the hooks had answered");
        QVERIFY2(m_sessionManager->calls().constFirst().receivedMs >= hook.answeredMs,
            "the reboot was requested before the post-upgrade hooks had answered");
    }
    if (postHook.never) {
        // The check request was sent first, so its time-out has passed too by now.
        QTest::qWait(1000);
        QCOMPARE(failed.count(), 0);
    }
}

void tst_OfflineUpdateModel::requestErrors_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<bool>("daemonRuns");
    QTest::addColumn<ScriptedObject::Reply>("reply");
    QTest::addColumn<QString>("reason");

    const ScriptedObject::Reply refused = error(
        QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"), QStringLiteral("Rejected"));
    const QString noMethod = QStringLiteral("No such method");
    QTest::newRow("check: no daemon")
        << int(Check) << false << ScriptedObject::Reply() << NotRunning;
    QTest::newRow("check: refused") << int(Check) << true << refused << CheckNotAuthorized;
    QTest::newRow("check: daemon without the method")
        << int(Check) << true
        << error(QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"), noMethod) << noMethod;
    QTest::newRow("check: answer after the check")
        << int(Check) << true << answer(QVariant(), 1500) << QString();
    QTest::newRow("check: answer at once") << int(Check) << true << answer(QVariant()) << QString();
    QTest::newRow("upgrade: refused") << int(Upgrade) << true << refused << UpgradeNotAuthorized;
    QTest::newRow("upgrade: no daemon")
        << int(Upgrade) << false << ScriptedObject::Reply() << NotRunning;
    QTest::newRow("upgrade: answer after the upgrade")
        << int(Upgrade) << true << answer(QVariant(), 1500) << QString();
}

void tst_OfflineUpdateModel::requestErrors()
{
    QFETCH(int, operation);
    QFETCH(bool, daemonRuns);
    QFETCH(ScriptedObject::Reply, reply);
    QFETCH(QString, reason);

    for (const QString &member : Members)
        m_daemon->setReply(member, reply);
    if (!daemonRuns)
        m_daemon->stop();
    OfflineUpdateModel model;
    QSignalSpy checkFailed(&model, &OfflineUpdateModel::notifyOfflineCheckFailed);
    QSignalSpy upgradeFailed(&model, &OfflineUpdateModel::notifyOfflineUpgradeFailed);
    QSignalSpy &failed = operation == Check ? checkFailed : upgradeFailed;
    run(model, operation);

    if (!reason.isEmpty()) {
        QVERIFY2(failed.wait(5000), "noticed only after a time-out, or never");
        QCOMPARE(failed.count(), 1);
        QVERIFY2(failed.first().first().toString().contains(reason),
            qPrintable(failed.first().first().toString()));
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(
            !m_daemon->calls().isEmpty() && m_daemon->calls().first().answeredMs >= 0, 5000);
        QVERIFY(!failed.wait(500));
    }
    QCOMPARE(checkFailed.count() + upgradeFailed.count(), failed.count());
}

QTEST_GUILESS_MAIN(tst_OfflineUpdateModel)
#include "tst_offlineupdatemodel.moc"
