// The tool: its command line, its window's modules in process on the offscreen
// platform with the real modules on private buses, and the real program's single instance. The
// page flow of a check is the end-to-end test's. Faults caught here:
// - arguments dispatched out of order or stopping at the first match, the file-type error for a
//   single stray; relative names not made absolute, file URLs not made local, network URLs
//   passed on as files;
// - coming back to the offline module during a check showing anything but the check; models
//   made again on re-activation;
// - a second start not ending at once with 0 and saying why, or not handing its package over
//   to the first, which must check it; a start without a session bus doing anything else; Show
//   not answering, ExitApp not ending the program with 0 or leaving the name behind.
#include "argumentdispatcher.h"
#include "blankpage.h"
#include "childprocess.h"
#include "mainwindow.h"
#include "moduleinterface.h"
#include "multiselectlistview.h"
#include "offlineupdatecheckingwidget.h"
#include "offlineupdatemodel.h"
#include "offlineupdateprotocol.h"
#include "offlineupdatewidget.h"
#include "scriptedservice.h"
#include "testbuses.h"

#include <QDBusConnectionInterface>
#include <QGSettings/qgsettings.h>
#include <QtTest>
#include <memory>

namespace {

const QString ServiceName = QStringLiteral("com.tevrin.offline.update.tool");

// The pages of one type that are still alive. A module keeps at most one page of each type, so
// more than one means a page was not disposed of.
template <typename Page> QList<Page *> livePages(const QWidget &window)
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return window.findChildren<Page *>();
}

template <typename Page> Page *onlyPage(const QWidget &window)
{
    const QList<Page *> pages = livePages<Page>(window);
    return pages.size() == 1 ? pages.first() : nullptr;
}

// What a mouse press on a row, or an arrow key onto it, tells the window.
void press(const MainWindow &window, int row)
{
    auto *list = window.findChild<MultiSelectListView *>();
    emit list->pressed(list->model()->index(row, 0));
}

const QByteArray RefusedLine
    = QByteArrayLiteral("dbus service already registered!  \"com.tevrin.offline.update.tool\"");

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

private slots:
    void initTestCase();
    void cleanupTestCase();
    void dispatch_data();
    void dispatch();
    void reactivationKeepsTheCheck();
    void refusedStart_data();
    void refusedStart();

private:
    std::unique_ptr<ChildProcess> startTool(
        const QStringList &arguments, const QString &sessionBus = QString());
    // Whether |tool| came to own the name.
    bool waitForOwner(const ChildProcess &tool);
    void exitTool(ChildProcess *tool);

    TestBuses m_buses;
    // The tool's settings schema compiled into schemas/, and nothing in empty/: GSettings finds
    // the schema without anything being installed on the machine.
    QTemporaryDir m_data;
    const QString m_schemaDir = m_data.filePath(QStringLiteral("schemas"));
    const QString m_emptyDir = m_data.filePath(QStringLiteral("empty"));
    // The working directory while the test runs, holding what relative arguments name.
    QTemporaryDir m_work;
    QString m_previousDir = QDir::currentPath();
};

void tst_Tool::initTestCase()
{
    // The offline module's model reaches the daemon and the desktop services, and the program
    // given a package the daemon: keep them off the machine's buses.
    QCOMPARE(m_buses.start(), QString());
    const QString schema = QStringLiteral(TOOL_SCHEMA_FILE);
    QVERIFY(QDir().mkpath(m_emptyDir) && QDir().mkpath(m_schemaDir));
    QVERIFY(QFile::copy(schema, m_schemaDir + QStringLiteral("/") + QFileInfo(schema).fileName()));
    QByteArray output;
    QVERIFY2(ChildProcess::run({ QStringLiteral("glib-compile-schemas"), QStringLiteral("--strict"),
                                   m_schemaDir },
                 &output)
            == 0,
        output.constData());
    // GSettings reads these once, at its first use in this process, which is still to come.
    qputenv("GSETTINGS_SCHEMA_DIR", QFile::encodeName(m_schemaDir));
    qputenv("GSETTINGS_BACKEND", "memory");
    qputenv("XDG_DATA_DIRS", QFile::encodeName(m_emptyDir));
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_emptyDir));
    QVERIFY(QGSettings::isSchemaInstalled(MainWindow::SettingsSchema));
    QVERIFY(m_work.isValid() && QDir::setCurrent(m_work.path()));
}

void tst_Tool::cleanupTestCase()
{
    QDir::setCurrent(m_previousDir);
}

void tst_Tool::dispatch_data()
{
    QTest::addColumn<QStringList>("arguments"); // after the program's own path
    // "oup:<path>", "iso:<path>" or "error", in call order; relative paths are under the
    // working directory.
    QTest::addColumn<QStringList>("calls");

    QTest::newRow("one stray argument") << QStringList { "a.txt" } << QStringList {};
    QTest::newRow("image then package")
        << QStringList { "c.iso", "d.oup" } << QStringList { "iso:c.iso", "oup:d.oup" };
    QTest::newRow("absolute path, file URL") << QStringList { "/nonexistent/x.oup",
        "file:///tmp/x.iso" } << QStringList { "oup:/nonexistent/x.oup", "iso:/tmp/x.iso" };
    QTest::newRow("network URL among strays")
        << QStringList { "http://example.com/update.oup", "c.txt" } << QStringList { "error" };
}

void tst_Tool::dispatch()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, calls);
    for (QString &call : calls) {
        if (call.contains(QLatin1Char(':')) && !call.contains(QLatin1String(":/")))
            call.insert(call.indexOf(QLatin1Char(':')) + 1, m_work.path() + QLatin1Char('/'));
    }

    QStringList seen;
    const ArgumentDispatcher dispatcher(
        [&seen](const QString &path) { seen << QStringLiteral("oup:") + path; },
        [&seen](const QString &path) { seen << QStringLiteral("iso:") + path; },
        [&seen] { seen << QStringLiteral("error"); });
    dispatcher.dispatch(
        QStringList { QStringLiteral("/usr/bin/tevrin-offline-update-tool") } + arguments);
    QCOMPARE(seen, calls);
}

void tst_Tool::reactivationKeepsTheCheck()
{
    MainWindow window;
    window.show();
    QVERIFY(onlyPage<OfflineUpdateWidget>(window));
    auto *model = window.findChild<OfflineUpdateModel *>();
    emit model->notifyCheckFilePath(QStringLiteral("/tmp/update.oup"));

    // The ISO module while the check runs, then back.
    press(window, 1);
    QCOMPARE(window.currentModule()->name(), QStringLiteral("isoupdate"));
    QVERIFY(onlyPage<BlankPage>(window));
    QVERIFY(livePages<OfflineUpdateCheckingWidget>(window).isEmpty());
    press(window, 0);
    QCOMPARE(window.currentModule()->name(), QStringLiteral("offlineupdate"));
    QVERIFY(livePages<BlankPage>(window).isEmpty());
    QVERIFY(livePages<OfflineUpdateWidget>(window).isEmpty());
    const QPointer<OfflineUpdateCheckingWidget> checking
        = onlyPage<OfflineUpdateCheckingWidget>(window);
    QVERIFY(checking);
    QTRY_VERIFY(checking->isVisible());

    // Pages come and go with activation; the models stay.
    press(window, 2);
    press(window, 1);
    QCOMPARE(window.findChildren<OfflineUpdateModel *>().size(), 1);
}

std::unique_ptr<ChildProcess> tst_Tool::startTool(
    const QStringList &arguments, const QString &sessionBus)
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

bool tst_Tool::waitForOwner(const ChildProcess &tool)
{
    (void)QTest::qWaitFor(
        [&] { return ownerPid() != 0 || tool.state() == QProcess::NotRunning; }, 20000);
    return tool.state() == QProcess::Running && ownerPid() == uint(tool.processId());
}

void tst_Tool::exitTool(ChildProcess *tool)
{
    // The reply may or may not make it out before the process ends; only the exit counts.
    QVERIFY(QDBusConnection::sessionBus().send(toolCall(QStringLiteral("ExitApp"))));
    QVERIFY(tool->waitForFinished(15000));
    QCOMPARE(tool->exitStatus(), QProcess::NormalExit);
    QCOMPARE(tool->exitCode(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(ownerPid() == 0, 5000);
}

void tst_Tool::refusedStart_data()
{
    QTest::addColumn<bool>("firstRuns");

    QTest::newRow("another instance runs") << true;
    QTest::newRow("no session bus") << false;
}

void tst_Tool::refusedStart()
{
    QFETCH(bool, firstRuns);
    ScriptedService daemon(m_buses.systemAddress(), OfflineUpdate::DaemonService);
    daemon.setReply(QStringLiteral("StartOfflineFileCheck"), { {}, 0, true, {}, {} });
    QCOMPARE(daemon.start(), QString());
    std::unique_ptr<ChildProcess> first;
    if (firstRuns) {
        first = startTool({});
        QVERIFY(waitForOwner(*first));
    }
    const auto second = startTool({ QStringLiteral("update.oup") },
        firstRuns ? QString() : QStringLiteral("unix:path=/nonexistent/bus"));
    QVERIFY(second->waitForFinished(15000));
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 0);
    const QByteArray log = second->readAllStandardError();
    QVERIFY2(log.contains(RefusedLine), log.constData());
    const QString handedOver = m_work.filePath(QStringLiteral("update.oup"));
    if (!first) {
        QTest::qWait(500);
        QVERIFY(daemon.calls().isEmpty());
        return;
    }
    QCOMPARE(ownerPid(), uint(first->processId()));
    QTRY_COMPARE_WITH_TIMEOUT(
        daemon.members(), QStringList { QStringLiteral("StartOfflineFileCheck") }, 10000);
    QCOMPARE(daemon.calls().constFirst().arguments.value(1).toString(), handedOver);
    QCOMPARE(QDBusConnection::sessionBus()
                 .call(toolCall(QStringLiteral("Show")), QDBus::Block, 10000)
                 .type(),
        QDBusMessage::ReplyMessage);
    exitTool(first.get());
}

QTEST_MAIN(tst_Tool)
#include "tst_tool.moc"
