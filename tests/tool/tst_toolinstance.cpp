// The real tool program on private session and system buses, offscreen. Faults this test
// catches:
// - a second start not ending at once with status 0, not saying why, or disturbing the
//   instance that owns the name; a start without a session bus doing anything else;
// - a missing settings schema aborting the program instead of leaving the module list hidden;
// - a command line (package, image, stray arguments) crashing the start-up;
// - bus methods answering with errors or ending the program; ExitApp not ending it with 0 or
//   leaving the name behind.
#include "childprocess.h"
#include "privatebus.h"
#include "schemafixture.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QtTest>
#include <memory>

namespace {

const QString ServiceName = QStringLiteral("com.tevrin.offline.update.tool");
const QString ObjectPath = QStringLiteral("/com/tevrin/offline/update/tool");
const QString Interface = QStringLiteral("com.tevrin.offline.update.tool");
const QByteArray RefusedLine
    = QByteArrayLiteral("dbus service already registered!  \"com.tevrin.offline.update.tool\"");
const QByteArray SchemaMissingNote = QByteArrayLiteral("is not installed");

QDBusMessage callTool(const QString &method, const QVariantList &args = {})
{
    QDBusMessage message
        = QDBusMessage::createMethodCall(ServiceName, ObjectPath, Interface, method);
    message.setArguments(args);
    return QDBusConnection::sessionBus().call(message, QDBus::Block, 10000);
}

uint ownerPid()
{
    const QDBusReply<uint> pid = QDBusConnection::sessionBus().interface()->servicePid(ServiceName);
    return pid.isValid() ? pid.value() : 0;
}

} // namespace

class tst_ToolInstance : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void startAndExit_data();
    void startAndExit();
    void refusedStart_data();
    void refusedStart();
    void busMethods();

private:
    enum Schema { SchemaInstalled, SchemaMissing };
    std::unique_ptr<ChildProcess> startTool(
        const QStringList &arguments, Schema schema, const QString &sessionBus = QString());
    bool waitForOwner(const ChildProcess &tool);
    void exitTool(ChildProcess *tool);

    std::unique_ptr<PrivateBus> m_systemBus;
    std::unique_ptr<PrivateBus> m_sessionBus;
    SchemaFixture m_schema;
    QTemporaryDir m_cache;
    std::vector<std::unique_ptr<ChildProcess>> m_tools;
};

void tst_ToolInstance::initTestCase()
{
    // The tool talks to the daemon on the system bus when given a package; neither bus may be
    // the machine's.
    m_systemBus = std::make_unique<PrivateBus>(PrivateBus::System);
    m_sessionBus = std::make_unique<PrivateBus>(PrivateBus::Session);
    QVERIFY2(m_systemBus->start(), qPrintable(m_systemBus->errorString()));
    QVERIFY2(m_sessionBus->start(), qPrintable(m_sessionBus->errorString()));
    m_systemBus->exportAddress();
    m_sessionBus->exportAddress();
    QVERIFY(QDBusConnection::sessionBus().isConnected());

    QString error;
    QVERIFY2(m_schema.compile(&error), qPrintable(error));
    QVERIFY(m_cache.isValid());
}

void tst_ToolInstance::cleanup()
{
    for (const auto &tool : m_tools) {
        if (tool->state() != QProcess::NotRunning) {
            tool->kill();
            tool->waitForFinished(5000);
        }
    }
    m_tools.clear();
}

std::unique_ptr<ChildProcess> tst_ToolInstance::startTool(
    const QStringList &arguments, Schema schema, const QString &sessionBus)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // The log manager's file goes below the cache directory.
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), m_cache.path());
    environment.insert(QStringLiteral("XDG_DATA_HOME"), m_schema.emptyDataDir());
    environment.insert(QStringLiteral("XDG_DATA_DIRS"), m_schema.emptyDataDir());
    environment.insert(QStringLiteral("GSETTINGS_BACKEND"), QStringLiteral("memory"));
    if (schema == SchemaInstalled)
        environment.insert(QStringLiteral("GSETTINGS_SCHEMA_DIR"), m_schema.schemaDir());
    else
        environment.remove(QStringLiteral("GSETTINGS_SCHEMA_DIR"));
    if (!sessionBus.isEmpty())
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), sessionBus);

    auto tool = std::make_unique<ChildProcess>();
    tool->setProcessEnvironment(environment);
    tool->setWorkingDirectory(m_cache.path());
    tool->start(QStringLiteral(TOOL_PROGRAM), arguments);
    return tool;
}

bool tst_ToolInstance::waitForOwner(const ChildProcess &tool)
{
    QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
    (void)QTest::qWaitFor(
        [&] {
            return bus->isServiceRegistered(ServiceName) || tool.state() == QProcess::NotRunning;
        },
        20000);
    return tool.state() == QProcess::Running && ownerPid() == uint(tool.processId());
}

void tst_ToolInstance::exitTool(ChildProcess *tool)
{
    QDBusMessage exit = QDBusMessage::createMethodCall(
        ServiceName, ObjectPath, Interface, QStringLiteral("ExitApp"));
    // The reply may or may not make it out before the process ends; only the exit counts.
    QVERIFY(QDBusConnection::sessionBus().send(exit));
    QVERIFY(tool->waitForFinished(15000));
    QCOMPARE(tool->exitStatus(), QProcess::NormalExit);
    QCOMPARE(tool->exitCode(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(
        !QDBusConnection::sessionBus().interface()->isServiceRegistered(ServiceName), 5000);
}

void tst_ToolInstance::startAndExit_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("schema");

    QTest::newRow("no arguments") << QStringList {} << int(SchemaInstalled);
    QTest::newRow("a package") << QStringList { "update.oup" } << int(SchemaInstalled);
    QTest::newRow("two packages") << QStringList { "a.oup", "b.oup:3:1" } << int(SchemaInstalled);
    QTest::newRow("an image") << QStringList { "file:///tmp/x.iso" } << int(SchemaInstalled);
    QTest::newRow("two stray arguments")
        << QStringList { "a.txt", "b.txt" } << int(SchemaInstalled);
    QTest::newRow("schema missing") << QStringList {} << int(SchemaMissing);
    QTest::newRow("schema missing, a package")
        << QStringList { "update.oup" } << int(SchemaMissing);
}

void tst_ToolInstance::startAndExit()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, schema);

    m_tools.push_back(startTool(arguments, Schema(schema)));
    ChildProcess *tool = m_tools.back().get();
    QVERIFY2(tool->waitForStarted(10000), qPrintable(tool->errorString()));
    if (!waitForOwner(*tool))
        QFAIL(tool->readAllStandardError().constData());

    exitTool(tool);
    const QByteArray log = tool->readAllStandardError();
    QVERIFY2(log.contains(SchemaMissingNote) == (schema == SchemaMissing), log.constData());
    QVERIFY2(!log.contains(RefusedLine), log.constData());
}

void tst_ToolInstance::refusedStart_data()
{
    QTest::addColumn<bool>("firstRuns");

    QTest::newRow("another instance runs") << true;
    QTest::newRow("no session bus") << false;
}

void tst_ToolInstance::refusedStart()
{
    QFETCH(bool, firstRuns);

    ChildProcess *first = nullptr;
    if (firstRuns) {
        m_tools.push_back(startTool({}, SchemaInstalled));
        first = m_tools.back().get();
        QVERIFY(waitForOwner(*first));
    }

    m_tools.push_back(startTool({ QStringLiteral("update.oup") }, SchemaInstalled,
        firstRuns ? QString() : QStringLiteral("unix:path=/nonexistent/bus")));
    ChildProcess *second = m_tools.back().get();
    QVERIFY(second->waitForFinished(15000));
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 0);
    const QByteArray log = second->readAllStandardError();
    QVERIFY2(log.contains(RefusedLine), log.constData());

    if (first) {
        QCOMPARE(first->state(), QProcess::Running);
        QCOMPARE(ownerPid(), uint(first->processId()));
        QCOMPARE(callTool(QStringLiteral("Show")).type(), QDBusMessage::ReplyMessage);
        exitTool(first);
    }
}

void tst_ToolInstance::busMethods()
{
    m_tools.push_back(startTool({}, SchemaInstalled));
    ChildProcess *tool = m_tools.back().get();
    QVERIFY(waitForOwner(*tool));

    const QList<QPair<QString, QVariantList>> calls = {
        { QStringLiteral("Show"), {} },
        { QStringLiteral("ShowModule"), { QStringLiteral("isoupdate") } },
        { QStringLiteral("ShowModule"), { QStringLiteral("nosuchmodule") } },
        { QStringLiteral("ShowPage"), { QStringLiteral("systemupdate"), QStringLiteral("x") } },
        { QStringLiteral("ShowPage"), { QStringLiteral("offlineupdate"), QString() } },
    };
    for (const auto &call : calls) {
        const QDBusMessage reply = callTool(call.first, call.second);
        QVERIFY2(reply.type() == QDBusMessage::ReplyMessage,
            qPrintable(call.first + QStringLiteral(": ") + reply.errorMessage()));
        QVERIFY(reply.arguments().isEmpty());
        QCOMPARE(tool->state(), QProcess::Running);
    }
    // A member the interface does not have is the bus library's error, not a crash.
    QCOMPARE(callTool(QStringLiteral("ShowEverything")).type(), QDBusMessage::ErrorMessage);
    QCOMPARE(tool->state(), QProcess::Running);

    exitTool(tool);
}

QTEST_GUILESS_MAIN(tst_ToolInstance)
#include "tst_toolinstance.moc"
