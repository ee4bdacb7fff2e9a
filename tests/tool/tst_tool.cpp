// The real program's single instance, on private buses. Faults caught here: a second start not
// ending at once with 0 and saying why, or the first checking the package it handed over before
// the user agreed; a start without a session bus doing anything else; Show not answering,
// ExitApp not ending the program with 0 or leaving the name behind.
#include "childprocess.h"
#include "offlineupdateprotocol.h"
#include "scriptedservice.h"
#include "testbuses.h"

#include <QDBusConnectionInterface>
#include <QtTest>
#include <memory>

namespace {

const QString ServiceName = QStringLiteral("com.tevrin.offline.update.tool");

QDBusMessage toolCall(const QString &method)
{
    return QDBusMessage::createMethodCall(
        ServiceName, QStringLiteral("/com/tevrin/offline/update/tool"), ServiceName, method);
}

uint ownerPid()
{
    return QDBusConnection::sessionBus().interface()->servicePid(ServiceName).value();
}

} // namespace

class tst_Tool : public QObject
{
    Q_OBJECT

    TestBuses m_buses;
    // The tool's settings schema compiled into schemas/, and nothing in empty/: GSettings finds
    // the schema without anything being installed on the machine. Also the tool's working
    // directory, which relative arguments are under.
    QTemporaryDir m_work;
    const QString m_schemaDir = m_work.filePath(QStringLiteral("schemas"));
    const QString m_emptyDir = m_work.filePath(QStringLiteral("empty"));

    std::unique_ptr<ChildProcess> startTool(
        const QStringList &arguments, const QString &sessionBus = QString())
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        // The log manager's file goes below the cache directory.
        environment.insert(QStringLiteral("XDG_CACHE_HOME"), m_work.path());
        environment.insert(QStringLiteral("XDG_DATA_HOME"), m_emptyDir);
        environment.insert(QStringLiteral("XDG_DATA_DIRS"), m_emptyDir);
        environment.insert(QStringLiteral("GSETTINGS_BACKEND"), QStringLiteral("memory"));
        environment.insert(QStringLiteral("GSETTINGS_SCHEMA_DIR"), m_schemaDir);
        if (!sessionBus.isEmpty())
            environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), sessionBus);
        auto tool = std::make_unique<ChildProcess>();
        tool->setProcessEnvironment(environment);
        tool->setWorkingDirectory(m_work.path());
        tool->start(QStringLiteral(TOOL_PROGRAM), arguments);
        return tool;
    }

private slots:
    void initTestCase()
    {
        // The program given a package reaches the daemon: keep it off the machine's buses.
        QCOMPARE(m_buses.start(), QString());
        const QString schema = QStringLiteral(TOOL_SCHEMA_FILE);
        QVERIFY(QDir().mkpath(m_emptyDir) && QDir().mkpath(m_schemaDir));
        QVERIFY(QFile::copy(schema, m_schemaDir + '/' + QFileInfo(schema).fileName()));
        QByteArray output;
        QVERIFY2(
            ChildProcess::run({ "glib-compile-schemas", "--strict", m_schemaDir }, &output) == 0,
            output.constData());
    }

    void refusedStart_data()
    {
        QTest::addColumn<bool>("firstRuns");
        QTest::newRow("another instance runs") << true;
        QTest::newRow("no session bus") << false;
    }

    void refusedStart()
    {
        QFETCH(bool, firstRuns);
        ScriptedService daemon(m_buses.systemAddress(), OfflineUpdate::DaemonService);
        daemon.setReply(QStringLiteral("StartOfflineFileCheck"), noAnswer());
        QCOMPARE(daemon.start(), QString());
        std::unique_ptr<ChildProcess> first;
        if (firstRuns) {
            first = startTool({});
            QTRY_VERIFY_WITH_TIMEOUT(ownerPid() != 0, 20000);
            QCOMPARE(ownerPid(), uint(first->processId()));
        }
        const auto second = startTool({ QStringLiteral("update.oup") },
            firstRuns ? QString() : QStringLiteral("unix:path=/nonexistent/bus"));
        QVERIFY(second->waitForFinished(15000));
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        const QByteArray log = second->readAllStandardError();
        QVERIFY2(log.contains("dbus service already registered!"), log.constData());
        if (!first) {
            QTest::qWait(500);
            QVERIFY(daemon.calls().isEmpty());
            return;
        }
        // The hand-over was answered before the second start ended; Show is answered after it.
        QCOMPARE(QDBusConnection::sessionBus()
                     .call(toolCall(QStringLiteral("Show")), QDBus::Block, 10000)
                     .type(),
            QDBusMessage::ReplyMessage);
        QTest::qWait(500);
        // The first start reads the history, to tell how the last upgrade ended; nothing more.
        QStringList asked = daemon.members();
        asked.removeAll(QStringLiteral("GetHistory"));
        QVERIFY2(asked.isEmpty(), qPrintable(asked.join(' ')));

        // The reply may or may not make it out before the process ends; only the exit counts.
        QVERIFY(QDBusConnection::sessionBus().send(toolCall(QStringLiteral("ExitApp"))));
        QVERIFY(first->waitForFinished(15000));
        QCOMPARE(first->exitStatus(), QProcess::NormalExit);
        QCOMPARE(first->exitCode(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(ownerPid() == 0, 5000);
    }
};

QTEST_MAIN(tst_Tool)
#include "tst_tool.moc"
