// Tests the tool's daemon client against scripted stand-ins for the daemon (private system bus)
// and for the window manager and session manager (private session bus).
// Faults caught here:
// - a wrong method name, argument order, argument count or type (the home directory must come
//   first in StartOfflineFileCheck and be QDir::homePath(), not some other notion of home), a
//   call made during construction, or a request sent to the wrong service;
// - a fire-and-forget request that waits for the daemon's answer (a check answers only when it
//   ends), or a query that does not wait for its value;
// - getters that pass on garbage or crash instead of falling back to 0, "" or false when the
//   daemon is missing, fails or answers with an odd type, and a missing warning for the backup
//   question;
// - daemon signals not relayed, relayed with other values, relayed from any sender on the bus
//   (a forged check result), and the check result's log line not in its promised form;
// - the wallpaper URL split in the wrong place;
// - the reboot requested before the post-upgrade hooks have answered, or never when they fail,
//   are missing or overrun the time-out;
// - a check request refused by the bus (no daemon, policy, unknown method) that goes unnoticed
//   and leaves the checking page waiting for ever, and, the other way round, a slow daemon or a
//   time-out taken for a failure.
#include "checkrequestfailure.h"
#include "logcapture.h"
#include "offlineupdatemodel.h"
#include "scriptedservice.h"
#include "testbuses.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QDir>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>
#include <algorithm>
#include <memory>

namespace {

const QString NotRunning = QStringLiteral("the offline update service is not installed or not running");
const QString NotAuthorized = QStringLiteral(
    "checking update packages needs an administrator's authorization, which was not given");

} // namespace

namespace {

const QString DaemonService = QStringLiteral("com.tevrin.offline.update.daemon");
const QString DaemonPath = QStringLiteral("/com/tevrin/offline/update/daemon");
const QString DaemonInterface = QStringLiteral("com.tevrin.offline.update.daemon");
const QString WmService = QStringLiteral("com.tevrin.wm");
const QString SessionManagerService = QStringLiteral("com.tevrin.SessionManager");
// Not the real home of whoever runs the test, and with a blank, so that a home directory taken
// from anywhere but QDir::homePath(), or split at blanks, shows.
const QByteArray TestHome = "/tmp/tst offlineupdatemodel home";
const QString PackagePath = QStringLiteral("/media/usb stick/system update.oup");

enum Operation {
    Construct,
    StartCheck,
    UpgradeType,
    UpgradeSum,
    PatchSerial,
    BackupStatus,
    StartUpgrade,
    DesktopImage,
    Reboot,
    SetCheckFilePath,
};

enum Peer { Daemon, WindowManager, SessionManager };

QVariant run(OfflineUpdateModel &model, int operation)
{
    switch (operation) {
    case StartCheck:
        model.startOfflineFileChecking(PackagePath);
        break;
    case UpgradeType:
        return model.getUpgradeType();
    case UpgradeSum:
        return model.getDistUpgradeSum();
    case PatchSerial:
        return model.getPatchUpgradeSerial();
    case BackupStatus:
        return model.getABSystemBackupStatus();
    case StartUpgrade:
        model.startOfflineUpgrade();
        break;
    case DesktopImage:
        return model.getDesktopImage();
    case Reboot:
        model.systemReboot();
        break;
    case SetCheckFilePath:
        model.setCheckFilePath(PackagePath);
        break;
    default:
        break;
    }
    return QVariant();
}

// "Member(arg, arg)" with every argument's type, so that an int sent for a string shows.
QStringList describe(const QList<ScriptedObject::Call> &calls)
{
    QStringList lines;
    for (const ScriptedObject::Call &call : calls) {
        QStringList arguments;
        for (const QVariant &argument : call.arguments)
            arguments.append(QStringLiteral("%1:%2").arg(
                QString::fromLatin1(argument.typeName()), argument.toString()));
        lines.append(call.member + QLatin1Char('(') + arguments.join(QStringLiteral(", "))
            + QLatin1Char(')'));
    }
    return lines;
}

ScriptedObject::Reply answerWith(const QVariant &value, int delayMs = 0)
{
    ScriptedObject::Reply reply;
    if (value.isValid())
        reply.arguments = { value };
    reply.delayMs = delayMs;
    return reply;
}

ScriptedObject::Reply errorReply(const QString &name, const QString &message)
{
    ScriptedObject::Reply reply;
    reply.errorName = name;
    reply.errorMessage = message;
    return reply;
}

ScriptedObject::Reply noAnswer()
{
    ScriptedObject::Reply reply;
    reply.never = true;
    return reply;
}

bool logged(const QString &line)
{
    return LogCapture::messages().contains(line);
}

bool loggedStartingWith(const QString &start)
{
    const QStringList messages = LogCapture::messages();
    return std::any_of(messages.cbegin(), messages.cend(),
        [&start](const QString &message) { return message.startsWith(start); });
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

    void checkRequestReply_data();
    void checkRequestReply();
    void requests_data();
    void requests();
    void setCheckFilePathOnlyEmits_data();
    void setCheckFilePathOnlyEmits();
    void callModes_data();
    void callModes();
    void getterValues_data();
    void getterValues();
    void signalsRelayed_data();
    void signalsRelayed();
    void desktopImage_data();
    void desktopImage();
    void rebootFollowsPostHook_data();
    void rebootFollowsPostHook();
    void rebootAfterPostHookTimeout();
    void checkRequestErrors_data();
    void checkRequestErrors();

private:
    ScriptedService *peer(int which);

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
    LogCapture::install();
}

void tst_OfflineUpdateModel::init()
{
    m_daemon = std::make_unique<ScriptedService>(
        m_buses.systemAddress(), DaemonService, DaemonPath, DaemonInterface);
    m_windowManager = std::make_unique<ScriptedService>(m_buses.sessionAddress(), WmService,
        QStringLiteral("/com/tevrin/wm"), QStringLiteral("com.tevrin.wm"));
    m_sessionManager = std::make_unique<ScriptedService>(m_buses.sessionAddress(),
        SessionManagerService, QStringLiteral("/com/tevrin/SessionManager"),
        QStringLiteral("com.tevrin.SessionManager"));
    QString error;
    QVERIFY2(m_daemon->start(&error), qPrintable(error));
    QVERIFY2(m_windowManager->start(&error), qPrintable(error));
    QVERIFY2(m_sessionManager->start(&error), qPrintable(error));
    LogCapture::clear();
}

void tst_OfflineUpdateModel::cleanup()
{
    m_daemon.reset();
    m_windowManager.reset();
    m_sessionManager.reset();
}

ScriptedService *tst_OfflineUpdateModel::peer(int which)
{
    switch (which) {
    case WindowManager:
        return m_windowManager.get();
    case SessionManager:
        return m_sessionManager.get();
    default:
        return m_daemon.get();
    }
}

void tst_OfflineUpdateModel::checkRequestReply_data()
{
    QTest::addColumn<QDBusMessage>("reply");
    QTest::addColumn<QString>("reason");

    const QDBusMessage call = QDBusMessage::createMethodCall(
        DaemonService, DaemonPath, DaemonInterface, QStringLiteral("StartOfflineFileCheck"));
    QTest::newRow("answered") << call.createReply() << QString();
    QTest::newRow("no reply in time")
        << call.createErrorReply(QDBusError::NoReply, QStringLiteral("Did not receive a reply"))
        << QString();
    QTest::newRow("timeout") << call.createErrorReply(QDBusError::Timeout, QStringLiteral("t"))
                             << QString();
    QTest::newRow("timed out") << call.createErrorReply(QDBusError::TimedOut, QStringLiteral("t"))
                               << QString();
    QTest::newRow("no daemon") << call.createErrorReply(
        QDBusError::ServiceUnknown, QStringLiteral("not provided"))
                               << NotRunning;
    QTest::newRow("refused") << call.createErrorReply(
        QDBusError::AccessDenied, QStringLiteral("Rejected send"))
                            << NotAuthorized;
    QTest::newRow("no bus") << call.createErrorReply(
        QDBusError::Disconnected, QStringLiteral("Not connected"))
                            << QStringLiteral("Not connected");
    QTest::newRow("activation failed") << call.createErrorReply(
        QStringLiteral("org.freedesktop.DBus.Error.Spawn.ChildExited"), QStringLiteral("exit 1"))
                                       << QStringLiteral("exit 1");
    QTest::newRow("error without text")
        << call.createErrorReply(QStringLiteral("com.example.Error.Odd"), QString())
        << QStringLiteral("com.example.Error.Odd");
}

void tst_OfflineUpdateModel::checkRequestReply()
{
    QFETCH(QDBusMessage, reply);
    QFETCH(QString, reason);
    QCOMPARE(::checkRequestFailure(reply), reason);
}

void tst_OfflineUpdateModel::requests_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<QStringList>("daemonCalls");
    QTest::addColumn<QStringList>("windowManagerCalls");
    QTest::addColumn<QStringList>("sessionManagerCalls");

    const QString home = QStringLiteral("QString:") + QString::fromUtf8(TestHome);
    QTest::newRow("construction") << int(Construct) << QStringList() << QStringList()
                                  << QStringList();
    QTest::newRow("setCheckFilePath")
        << int(SetCheckFilePath) << QStringList() << QStringList() << QStringList();
    QTest::newRow("startOfflineFileChecking")
        << int(StartCheck)
        << QStringList { QStringLiteral("StartOfflineFileCheck(%1, QString:%2)")
                             .arg(home, PackagePath) }
        << QStringList() << QStringList();
    QTest::newRow("getUpgradeType")
        << int(UpgradeType) << QStringList { QStringLiteral("GetUpgradeType()") } << QStringList()
        << QStringList();
    QTest::newRow("getDistUpgradeSum")
        << int(UpgradeSum) << QStringList { QStringLiteral("GetDistUpgradeSum()") } << QStringList()
        << QStringList();
    QTest::newRow("getPatchUpgradeSerial")
        << int(PatchSerial) << QStringList { QStringLiteral("GetPatchUpgradeSerial()") }
        << QStringList() << QStringList();
    QTest::newRow("getABSystemBackupStatus")
        << int(BackupStatus) << QStringList { QStringLiteral("IsAllowBackupSystem()") }
        << QStringList() << QStringList();
    QTest::newRow("startOfflineUpgrade")
        << int(StartUpgrade) << QStringList { QStringLiteral("BackupSystem()") } << QStringList()
        << QStringList();
    QTest::newRow("getDesktopImage")
        << int(DesktopImage) << QStringList()
        << QStringList { QStringLiteral("GetCurrentWorkspaceBackground()") } << QStringList();
    QTest::newRow("systemReboot") << int(
        Reboot) << QStringList { QStringLiteral("StartExecHookPost(%1)").arg(home) }
                                  << QStringList()
                                  << QStringList { QStringLiteral("RequestReboot()") };
}

void tst_OfflineUpdateModel::requests()
{
    QFETCH(int, operation);
    QFETCH(QStringList, daemonCalls);
    QFETCH(QStringList, windowManagerCalls);
    QFETCH(QStringList, sessionManagerCalls);

    OfflineUpdateModel model;
    run(model, operation);

    QTRY_COMPARE_WITH_TIMEOUT(describe(m_daemon->calls()), daemonCalls, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(describe(m_windowManager->calls()), windowManagerCalls, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(describe(m_sessionManager->calls()), sessionManagerCalls, 5000);
}

void tst_OfflineUpdateModel::setCheckFilePathOnlyEmits_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("package") << PackagePath;
    QTest::newRow("empty") << QString();
    QTest::newRow("not a package") << QStringLiteral("/tmp/image.iso");
}

void tst_OfflineUpdateModel::setCheckFilePathOnlyEmits()
{
    QFETCH(QString, path);
    OfflineUpdateModel model;
    QSignalSpy accepted(&model, &OfflineUpdateModel::notifyCheckFilePath);
    model.setCheckFilePath(path);
    QCOMPARE(accepted.count(), 1);
    QCOMPARE(accepted.at(0).at(0).toString(), path);
}

void tst_OfflineUpdateModel::callModes_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<int>("slowPeer");
    QTest::addColumn<QString>("member");
    QTest::addColumn<QVariant>("answer");
    QTest::addColumn<bool>("waits");
    QTest::addColumn<QVariant>("result");

    QTest::newRow("check request does not wait")
        << int(StartCheck) << int(Daemon) << QStringLiteral("StartOfflineFileCheck") << QVariant()
        << false << QVariant();
    QTest::newRow("upgrade request does not wait")
        << int(StartUpgrade) << int(Daemon) << QStringLiteral("BackupSystem") << QVariant() << false
        << QVariant();
    QTest::newRow("reboot request does not wait")
        << int(Reboot) << int(SessionManager) << QStringLiteral("RequestReboot") << QVariant()
        << false << QVariant();
    QTest::newRow("post-upgrade hooks are waited for")
        << int(Reboot) << int(Daemon) << QStringLiteral("StartExecHookPost") << QVariant() << true
        << QVariant();
    QTest::newRow("upgrade type is waited for")
        << int(UpgradeType) << int(Daemon) << QStringLiteral("GetUpgradeType") << QVariant(2)
        << true << QVariant(2);
    QTest::newRow("update sum is waited for")
        << int(UpgradeSum) << int(Daemon) << QStringLiteral("GetDistUpgradeSum") << QVariant(31)
        << true << QVariant(31);
    QTest::newRow("patch serial is waited for")
        << int(PatchSerial) << int(Daemon) << QStringLiteral("GetPatchUpgradeSerial")
        << QVariant(QStringLiteral("CVE-2024-0001")) << true
        << QVariant(QStringLiteral("CVE-2024-0001"));
    QTest::newRow("backup question is waited for")
        << int(BackupStatus) << int(Daemon) << QStringLiteral("IsAllowBackupSystem")
        << QVariant(true) << true << QVariant(true);
    QTest::newRow("wallpaper is waited for")
        << int(DesktopImage) << int(WindowManager)
        << QStringLiteral("GetCurrentWorkspaceBackground")
        << QVariant(QStringLiteral("file:///usr/share/wallpapers/a.jpg")) << true
        << QVariant(QStringLiteral("/usr/share/wallpapers/a.jpg"));
}

void tst_OfflineUpdateModel::callModes()
{
    QFETCH(int, operation);
    QFETCH(int, slowPeer);
    QFETCH(QString, member);
    QFETCH(QVariant, answer);
    QFETCH(bool, waits);
    QFETCH(QVariant, result);

    const int delayMs = 1500;
    peer(slowPeer)->setReply(member, answerWith(answer, delayMs));
    OfflineUpdateModel model;

    const QVariant value = run(model, operation);
    const qint64 returnedMs = ScriptedObject::now();

    QTRY_VERIFY_WITH_TIMEOUT(
        !peer(slowPeer)->calls().isEmpty() && peer(slowPeer)->calls().constFirst().answeredMs >= 0,
        5000);
    QCOMPARE(peer(slowPeer)->members(), QStringList { member });
    const qint64 answeredMs = peer(slowPeer)->calls().constFirst().answeredMs;
    if (waits) {
        QVERIFY2(answeredMs <= returnedMs, "returned before the answer was sent");
        QCOMPARE(value, result);
    } else {
        QVERIFY2(answeredMs > returnedMs, "returned only after the answer had been sent");
    }
}

void tst_OfflineUpdateModel::getterValues_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<QString>("member");
    QTest::addColumn<bool>("daemonRuns");
    QTest::addColumn<ScriptedObject::Reply>("reply");
    QTest::addColumn<QVariant>("expected");

    const QString type = QStringLiteral("GetUpgradeType");
    const QString sum = QStringLiteral("GetDistUpgradeSum");
    const QString serial = QStringLiteral("GetPatchUpgradeSerial");
    const QString backup = QStringLiteral("IsAllowBackupSystem");
    const ScriptedObject::Reply failed
        = errorReply(QStringLiteral("com.example.Error.Failed"), QStringLiteral("it broke"));

    QTest::newRow("type: patch") << int(UpgradeType) << type << true << answerWith(2)
                                 << QVariant(2);
    QTest::newRow("type: text that reads as a number")
        << int(UpgradeType) << type << true << answerWith(QStringLiteral("1")) << QVariant(1);
    QTest::newRow("type: text") << int(UpgradeType) << type << true
                                << answerWith(QStringLiteral("system")) << QVariant(0);
    QTest::newRow("type: empty reply")
        << int(UpgradeType) << type << true << answerWith(QVariant()) << QVariant(0);
    QTest::newRow("type: error") << int(UpgradeType) << type << true << failed << QVariant(0);
    QTest::newRow("type: no daemon")
        << int(UpgradeType) << type << false << ScriptedObject::Reply() << QVariant(0);
    QTest::newRow("sum") << int(UpgradeSum) << sum << true << answerWith(17) << QVariant(17);
    QTest::newRow("sum: error") << int(UpgradeSum) << sum << true << failed << QVariant(0);
    QTest::newRow("sum: no daemon")
        << int(UpgradeSum) << sum << false << ScriptedObject::Reply() << QVariant(0);
    QTest::newRow("serial") << int(PatchSerial) << serial << true
                            << answerWith(QStringLiteral("CVE-2024-0001"))
                            << QVariant(QStringLiteral("CVE-2024-0001"));
    QTest::newRow("serial: a number")
        << int(PatchSerial) << serial << true << answerWith(5) << QVariant(QStringLiteral("5"));
    QTest::newRow("serial: error")
        << int(PatchSerial) << serial << true << failed << QVariant(QString());
    QTest::newRow("serial: no daemon")
        << int(PatchSerial) << serial << false << ScriptedObject::Reply() << QVariant(QString());
    QTest::newRow("backup: possible")
        << int(BackupStatus) << backup << true << answerWith(true) << QVariant(true);
    QTest::newRow("backup: not possible")
        << int(BackupStatus) << backup << true << answerWith(false) << QVariant(false);
    QTest::newRow("backup: error")
        << int(BackupStatus) << backup << true << failed << QVariant(false);
    QTest::newRow("backup: no daemon")
        << int(BackupStatus) << backup << false << ScriptedObject::Reply() << QVariant(false);
}

void tst_OfflineUpdateModel::getterValues()
{
    QFETCH(int, operation);
    QFETCH(QString, member);
    QFETCH(bool, daemonRuns);
    QFETCH(ScriptedObject::Reply, reply);
    QFETCH(QVariant, expected);

    if (daemonRuns)
        m_daemon->setReply(member, reply);
    else
        m_daemon->stop();
    OfflineUpdateModel model;

    QElapsedTimer elapsed;
    elapsed.start();
    QCOMPARE(run(model, operation), expected);
    // Every failure here is an immediate error reply, not a time-out.
    QVERIFY(elapsed.elapsed() < 5000);

    const QString warning = QStringLiteral("bool OfflineUpdateModel::getABSystemBackupStatus() \"");
    const bool failedBackupQuestion
        = operation == BackupStatus && (!daemonRuns || !reply.errorName.isEmpty());
    QCOMPARE(loggedStartingWith(warning), failedBackupQuestion);
    if (failedBackupQuestion && daemonRuns)
        QVERIFY(logged(warning + reply.errorMessage + QLatin1Char('"')));
}

void tst_OfflineUpdateModel::signalsRelayed_data()
{
    QTest::addColumn<QString>("signal");
    QTest::addColumn<QVariantList>("arguments");
    QTest::addColumn<bool>("fromDaemon");
    QTest::addColumn<QByteArray>("relayedAs");
    QTest::addColumn<QString>("logLine");

    const QString check = QStringLiteral("NotifyOfflineFileCheckResult");
    const QString logPrefix
        = QStringLiteral("void OfflineUpdateModel::acceptOfflineFileCheckResult(int, bool) ");
    QTest::newRow("check passed") << check << QVariantList { 6, true } << true
                                  << QByteArray(SIGNAL(notifyOfflineCheckResult(int, bool)))
                                  << logPrefix
            + QStringLiteral("\"Offline file check result, itemtype:6, result:1\"");
    QTest::newRow("package file failed")
        << check << QVariantList { 0, false } << true
        << QByteArray(SIGNAL(notifyOfflineCheckResult(int, bool)))
        << logPrefix + QStringLiteral("\"Offline file check result, itemtype:0, result:0\"");
    QTest::newRow("upgrade failed")
        << QStringLiteral("NotifyOfflineUpgradeProgress") << QVariantList { 80, -2 } << true
        << QByteArray(SIGNAL(notifyOfflineUpgradeProgress(int, int))) << QString();
    QTest::newRow("status text") << QStringLiteral("NotifyExecDistUpgradeInfo")
                                 << QVariantList { QStringLiteral("开始进行系统升级...") } << true
                                 << QByteArray(SIGNAL(notifyExecDistUpgradeInfo(QString)))
                                 << QString();
    QTest::newRow("forged check result")
        << check << QVariantList { 6, true } << false << QByteArray() << QString();
    QTest::newRow("forged progress")
        << QStringLiteral("NotifyOfflineUpgradeProgress") << QVariantList { 100, 1 } << false
        << QByteArray() << QString();
}

void tst_OfflineUpdateModel::signalsRelayed()
{
    QFETCH(QString, signal);
    QFETCH(QVariantList, arguments);
    QFETCH(bool, fromDaemon);
    QFETCH(QByteArray, relayedAs);
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
        const QString name = QStringLiteral("impostor");
        {
            QDBusConnection impostor = QDBusConnection::connectToBus(m_buses.systemAddress(), name);
            QDBusMessage forged = QDBusMessage::createSignal(DaemonPath, DaemonInterface, signal);
            forged.setArguments(arguments);
            QVERIFY(impostor.send(forged));
            // Answered only after the bus has routed the forged signal.
            QVERIFY(impostor.interface()->isServiceRegistered(DaemonService).value());
        }
        QDBusConnection::disconnectFromBus(name);
    }
    // The bus delivers to the model in order, so once this one has arrived, so has the above.
    const QString sentinel = QStringLiteral("sentinel");
    QVERIFY(m_daemon->emitSignal(QStringLiteral("NotifyExecDistUpgradeInfo"), { sentinel }));
    QTRY_VERIFY_WITH_TIMEOUT(!info.isEmpty() && info.last().at(0).toString() == sentinel, 5000);
    info.removeLast();

    QList<QVariantList> expectedResults;
    QList<QVariantList> expectedProgress;
    QList<QVariantList> expectedInfo;
    if (relayedAs == SIGNAL(notifyOfflineCheckResult(int, bool)))
        expectedResults.append(arguments);
    else if (relayedAs == SIGNAL(notifyOfflineUpgradeProgress(int, int)))
        expectedProgress.append(arguments);
    else if (relayedAs == SIGNAL(notifyExecDistUpgradeInfo(QString)))
        expectedInfo.append(arguments);
    QCOMPARE(QList<QVariantList>(results), expectedResults);
    QCOMPARE(QList<QVariantList>(progress), expectedProgress);
    QCOMPARE(QList<QVariantList>(info), expectedInfo);
    if (!logLine.isEmpty())
        QVERIFY2(logged(logLine), qPrintable(LogCapture::messages().join(QLatin1Char('\n'))));
    QCOMPARE(
        loggedStartingWith(QStringLiteral("void OfflineUpdateModel::acceptOfflineFileCheckResult")),
        !expectedResults.isEmpty());
}

void tst_OfflineUpdateModel::desktopImage_data()
{
    QTest::addColumn<bool>("windowManagerRuns");
    QTest::addColumn<QVariant>("answer");
    QTest::addColumn<QString>("path");

    QTest::newRow("file URL") << true
                              << QVariant(
                                     QStringLiteral("file:///usr/share/backgrounds/default.jpg"))
                              << QStringLiteral("/usr/share/backgrounds/default.jpg");
    QTest::newRow("file URL with blanks")
        << true << QVariant(QStringLiteral("file:///home/u/My Pictures/a b.png"))
        << QStringLiteral("/home/u/My Pictures/a b.png");
    QTest::newRow("two separators")
        << true << QVariant(QStringLiteral("a://b://c")) << QStringLiteral("b");
    QTest::newRow("separator first")
        << true << QVariant(QStringLiteral("://x")) << QStringLiteral("x");
    QTest::newRow("no separator") << true << QVariant(QStringLiteral("/usr/share/a.jpg"))
                                  << QString();
    QTest::newRow("separator in capitals only")
        << true << QVariant(QStringLiteral("FILE:/X")) << QString();
    QTest::newRow("empty answer") << true << QVariant(QString()) << QString();
    QTest::newRow("not a string") << true << QVariant(42) << QString();
    QTest::newRow("no window manager") << false << QVariant() << QString();
}

void tst_OfflineUpdateModel::desktopImage()
{
    QFETCH(bool, windowManagerRuns);
    QFETCH(QVariant, answer);
    QFETCH(QString, path);

    if (windowManagerRuns)
        m_windowManager->setReply(
            QStringLiteral("GetCurrentWorkspaceBackground"), answerWith(answer));
    else
        m_windowManager->stop();
    OfflineUpdateModel model;
    QCOMPARE(model.getDesktopImage(), path);
}

void tst_OfflineUpdateModel::rebootFollowsPostHook_data()
{
    QTest::addColumn<bool>("daemonRuns");
    QTest::addColumn<ScriptedObject::Reply>("postHook");

    QTest::newRow("hooks answer after a while") << true << answerWith(QVariant(), 1000);
    QTest::newRow("hooks fail") << true
                                << errorReply(QStringLiteral("com.example.Error.Failed"),
                                       QStringLiteral("hook exited with 3"));
    QTest::newRow("no daemon") << false << ScriptedObject::Reply();
}

void tst_OfflineUpdateModel::rebootFollowsPostHook()
{
    QFETCH(bool, daemonRuns);
    QFETCH(ScriptedObject::Reply, postHook);

    if (daemonRuns)
        m_daemon->setReply(QStringLiteral("StartExecHookPost"), postHook);
    else
        m_daemon->stop();
    OfflineUpdateModel model;

    model.systemReboot();
    const qint64 returnedMs = ScriptedObject::now();

    QTRY_COMPARE_WITH_TIMEOUT(
        m_sessionManager->members(), QStringList { QStringLiteral("RequestReboot") }, 5000);
    if (daemonRuns) {
        const QList<ScriptedObject::Call> hooks = m_daemon->calls();
        QCOMPARE(hooks.size(), 1);
        QVERIFY(hooks.first().answeredMs >= 0);
        QVERIFY2(hooks.first().answeredMs <= returnedMs, "returned before the hooks had answered");
        QVERIFY2(m_sessionManager->calls().first().receivedMs >= hooks.first().answeredMs,
            "the reboot was requested before the post-upgrade hooks had answered");
    }
}

// The one slow test: it waits for the bus library's default time-out of 25 s, twice over at
// the same time. The post-upgrade hooks never answer, and neither does a check started just
// before: the reboot must still be requested, and the check's time-out must not count as a
// failure, since a check may run for minutes.
void tst_OfflineUpdateModel::rebootAfterPostHookTimeout()
{
    m_daemon->setReply(QStringLiteral("StartOfflineFileCheck"), noAnswer());
    m_daemon->setReply(QStringLiteral("StartExecHookPost"), noAnswer());
    OfflineUpdateModel model;
    QSignalSpy failed(&model, &OfflineUpdateModel::notifyOfflineCheckFailed);

    model.startOfflineFileChecking(PackagePath);
    QElapsedTimer elapsed;
    elapsed.start();
    model.systemReboot();
    QVERIFY2(elapsed.elapsed() >= 24000,
        qPrintable(QStringLiteral("returned after %1 ms").arg(elapsed.elapsed())));
    QTRY_COMPARE_WITH_TIMEOUT(
        m_sessionManager->members(), QStringList { QStringLiteral("RequestReboot") }, 5000);

    const QString timedOut = QStringLiteral(
        "void OfflineUpdateModel::acceptCheckRequestReply(QDBusPendingCallWatcher*) "
        "no answer to the check request yet");
    QTRY_VERIFY_WITH_TIMEOUT(loggedStartingWith(timedOut) || !failed.isEmpty(), 5000);
    QCOMPARE(failed.count(), 0);
}

void tst_OfflineUpdateModel::checkRequestErrors_data()
{
    QTest::addColumn<bool>("daemonRuns");
    QTest::addColumn<ScriptedObject::Reply>("reply");
    QTest::addColumn<QString>("reason");

    QTest::newRow("no daemon") << false << ScriptedObject::Reply() << NotRunning;
    QTest::newRow("refused") << true
                             << errorReply(
                                    QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"),
                                    QStringLiteral("Rejected send message"))
                             << NotAuthorized;
    QTest::newRow("daemon without the method")
        << true
        << errorReply(QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
               QStringLiteral("No such method 'StartOfflineFileCheck'"))
        << QStringLiteral("No such method 'StartOfflineFileCheck'");
    QTest::newRow("answer after the check") << true << answerWith(QVariant(), 1500) << QString();
    QTest::newRow("answer at once") << true << answerWith(QVariant()) << QString();
}

void tst_OfflineUpdateModel::checkRequestErrors()
{
    QFETCH(bool, daemonRuns);
    QFETCH(ScriptedObject::Reply, reply);
    QFETCH(QString, reason);

    if (daemonRuns)
        m_daemon->setReply(QStringLiteral("StartOfflineFileCheck"), reply);
    else
        m_daemon->stop();
    OfflineUpdateModel model;
    QSignalSpy failed(&model, &OfflineUpdateModel::notifyOfflineCheckFailed);

    QElapsedTimer elapsed;
    elapsed.start();
    model.startOfflineFileChecking(PackagePath);

    if (!reason.isEmpty()) {
        QVERIFY(failed.wait(5000));
        QVERIFY2(elapsed.elapsed() < 5000, "noticed only after a time-out");
        QCOMPARE(failed.count(), 1);
        QVERIFY2(failed.first().first().toString().contains(reason),
            qPrintable(failed.first().first().toString()));
        return;
    }
    QTRY_VERIFY_WITH_TIMEOUT(
        !m_daemon->calls().isEmpty() && m_daemon->calls().first().answeredMs >= 0, 5000);
    QVERIFY(!failed.wait(500));
}

QTEST_GUILESS_MAIN(tst_OfflineUpdateModel)
#include "tst_offlineupdatemodel.moc"
