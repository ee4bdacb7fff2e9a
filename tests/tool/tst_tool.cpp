// The tool: its command line, its window and session-bus service in process on the offscreen
// platform with the real modules on private buses, and the real program. The page flow of an
// ordinary check is the end-to-end test's. Faults caught here:
// - arguments dispatched without the program's own path, stopping at the first match, by
//   suffix or case-blind instead of a substring search, an image winning over a package in a
//   path naming both, the file-type error for a single stray or a partly recognised line;
// - relative names not made absolute, file URLs not made local, network URLs passed on as
//   files, an editor ":line:column" suffix kept on a missing file or cut off an existing one;
// - a missing settings schema aborting the tool, the module list's setting ignored, the page
//   area not filling the rest of the window;
// - a second report or a press on the active row replacing the result page, re-activation not
//   giving a fresh first page, models made again, a package path reaching a gone page;
// - popping the stack deactivating another module than the top page's, null entries pushed;
// - Show/ShowModule/ShowPage not restoring the window, selecting the wrong module (names are
//   case-sensitive, unknown ones select the first) or keeping a stale result page;
// - closing the window not ending the event loop with 0;
// - a second start not ending at once with 0 and saying why, or disturbing the first; a start
//   without a session bus doing anything else; a start-up crashing without a schema; ExitApp
//   not ending the program with 0 or leaving the name behind.
#include "argumentdispatcher.h"
#include "backgroundgroup.h"
#include "childprocess.h"
#include "garrolandbusservice.h"
#include "isoupdatemodel.h"
#include "isoupdatewidget.h"
#include "mainwindow.h"
#include "moduleinterface.h"
#include "multiselectlistview.h"
#include "offlinecheckresultwidget.h"
#include "offlineupdatecheckingwidget.h"
#include "offlineupdatemodel.h"
#include "offlineupdatewidget.h"
#include "privatebus.h"
#include "systemupdatemodel.h"
#include "systemupdatewidget.h"

#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QGSettings/qgsettings.h>
#include <QtTest>
#include <memory>

namespace {

const QString ServiceName = QStringLiteral("com.tevrin.offline.update.tool");

const QByteArray AbsentSchema = QByteArrayLiteral("com.tevrin.offline.update.absent");

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

// The one first page of |module|'s kind.
QWidget *firstPage(const QWidget &window, const QString &module)
{
    if (module == QLatin1String("isoupdate"))
        return onlyPage<ISOUpdateWidget>(window);
    if (module == QLatin1String("systemupdate"))
        return onlyPage<SystemUpdateWidget>(window);
    return onlyPage<OfflineUpdateWidget>(window);
}

// What a mouse press on a row, or an arrow key onto it, tells the window.
void press(const MainWindow &window, int row)
{
    auto *list = window.findChild<MultiSelectListView *>();
    emit list->pressed(list->model()->index(row, 0));
}

// Reports a check of a package, so that the result page is on top.
void showResult(const MainWindow &window)
{
    auto *model = window.findChild<OfflineUpdateModel *>();
    emit model->notifyCheckFilePath(QStringLiteral("/tmp/earlier.oup"));
    emit model->notifyOfflineCheckResult(6, true);
}

// A module of the test's own, to see which module the window deactivates when it pops a page.
class RecordingModule : public ModuleInterface
{
public:
    using ModuleInterface::ModuleInterface;
    QString name() const override { return QStringLiteral("recording"); }
    void active(int) override { ++activations; }
    void deactive() override { ++deactivations; }

    int activations = 0;
    int deactivations = 0;
};

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
    void init();
    void cleanup();
    void dispatch_data();
    void dispatch();
    void moduleListSetting_data();
    void moduleListSetting();
    void resultPageStays();
    void reactivationGivesAFreshFirstPage();
    void pageStack();
    void packagePaths_data();
    void packagePaths();
    void busMethods_data();
    void busMethods();
    void closingEndsTheEventLoop();
    void startAndExit_data();
    void startAndExit();
    void refusedStart_data();
    void refusedStart();

private:
    // Calls the tool's service from another connection, as another desktop program would.
    QDBusMessage call(const QString &method, const QVariantList &args = {});
    std::unique_ptr<ChildProcess> startTool(const QStringList &arguments,
        bool schemaInstalled = true, const QString &sessionBus = QString());
    // Whether |tool| came to own the name.
    bool waitForOwner(const ChildProcess &tool);
    void exitTool(ChildProcess *tool);

    PrivateBus m_systemBus { PrivateBus::System };
    PrivateBus m_sessionBus { PrivateBus::Session };
    // The tool's settings schema compiled into schemas/, and nothing in empty/: GSettings finds
    // the schema without anything being installed on the machine, or finds nothing at all.
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
    for (PrivateBus *bus : { &m_systemBus, &m_sessionBus }) {
        QVERIFY2(bus->start(), qPrintable(bus->errorString()));
        bus->exportAddress();
    }
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
    QVERIFY(!QGSettings::isSchemaInstalled(AbsentSchema));
    QVERIFY(m_work.isValid() && QDir::setCurrent(m_work.path()));
    QVERIFY(QFile(QStringLiteral("notes.oup:12")).open(QIODevice::WriteOnly));
}

void tst_Tool::cleanupTestCase()
{
    QDir::setCurrent(m_previousDir);
}

// Each test's service owns the name through a connection of its own, which takes the name with
// it when it goes.
void tst_Tool::init()
{
    for (const char *name : { "service", "client" })
        QVERIFY(QDBusConnection::connectToBus(m_sessionBus.address(), QLatin1String(name))
                    .isConnected());
}

void tst_Tool::cleanup()
{
    QGSettings(MainWindow::SettingsSchema).reset(QStringLiteral("nav-show-type"));
    for (const char *name : { "service", "client" })
        QDBusConnection::disconnectFromBus(QLatin1String(name));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QDBusMessage tst_Tool::call(const QString &method, const QVariantList &args)
{
    QDBusMessage message = toolCall(method);
    message.setArguments(args);
    // Asynchronous, so that this thread can serve the call it is waiting for.
    QDBusPendingCallWatcher watcher(
        QDBusConnection(QStringLiteral("client")).asyncCall(message, 10000));
    QSignalSpy finished(&watcher, &QDBusPendingCallWatcher::finished);
    if (!watcher.isFinished() && !finished.wait(10000))
        return QDBusMessage::createError(QStringLiteral("test.Timeout"), method);
    return watcher.reply();
}

void tst_Tool::dispatch_data()
{
    QTest::addColumn<QStringList>("arguments"); // after the program's own path
    // "oup:<path>", "iso:<path>" or "error", in call order; relative paths are under the
    // working directory.
    QTest::addColumn<QStringList>("calls");

    QTest::newRow("one stray argument") << QStringList { "a.txt" } << QStringList {};
    QTest::newRow("upper-case suffixes are strays")
        << QStringList { "update.OUP", "x.ISO" } << QStringList { "error" };
    QTest::newRow("suffix inside the name")
        << QStringList { "/data/my.oup.old" } << QStringList { "oup:/data/my.oup.old" };
    QTest::newRow("package marker before image marker")
        << QStringList { "/tmp/disk.oup.iso" } << QStringList { "oup:/tmp/disk.oup.iso" };
    QTest::newRow("image then package")
        << QStringList { "c.iso", "d.oup" } << QStringList { "iso:c.iso", "oup:d.oup" };
    QTest::newRow("package among strays")
        << QStringList { "a.txt", "b.oup", "c.txt" } << QStringList { "oup:b.oup" };
    QTest::newRow("existing file named like a position")
        << QStringList { "notes.oup:12" } << QStringList { "oup:notes.oup:12" };
    QTest::newRow("position cut off a missing file")
        << QStringList { "missing.oup:10:2:" } << QStringList { "oup:missing.oup" };
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
    // The program's own path counts like any other argument.
    seen.clear();
    dispatcher.dispatch({ QStringLiteral("/opt/tools.oup/bin/tool") });
    QCOMPARE(seen, QStringList { QStringLiteral("oup:/opt/tools.oup/bin/tool") });
}

void tst_Tool::moduleListSetting_data()
{
    QTest::addColumn<QByteArray>("schema");
    QTest::addColumn<bool>("navShowType");

    QTest::newRow("schema missing") << AbsentSchema << true;
    QTest::newRow("setting off") << MainWindow::SettingsSchema << false;
    QTest::newRow("setting on") << MainWindow::SettingsSchema << true;
}

void tst_Tool::moduleListSetting()
{
    QFETCH(QByteArray, schema);
    QFETCH(bool, navShowType);
    QGSettings(MainWindow::SettingsSchema).set(QStringLiteral("nav-show-type"), navShowType);
    const bool listShown = navShowType && schema != AbsentSchema;
    if (schema == AbsentSchema)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("is not installed")));

    MainWindow window(schema);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *list = window.findChild<MultiSelectListView *>();
    QCOMPARE(list->isVisible(), listShown);
    const int available
        = window.centralWidget()->contentsRect().width() - (listShown ? list->width() : 0);
    QTRY_COMPARE_WITH_TIMEOUT(
        window.findChild<Karvo::BackgroundGroup *>()->width(), available, 2000);
    // The import page is there whatever the setting.
    QVERIFY(onlyPage<OfflineUpdateWidget>(window));
}

void tst_Tool::resultPageStays()
{
    MainWindow window;
    window.show();
    showResult(window);
    OfflineCheckResultWidget *result = onlyPage<OfflineCheckResultWidget>(window);
    QTRY_VERIFY(result && result->isVisible());
    emit window.findChild<OfflineUpdateModel *>()->notifyOfflineCheckResult(3, false);
    press(window, 0);
    QCOMPARE(
        livePages<OfflineCheckResultWidget>(window), QList<OfflineCheckResultWidget *> { result });
    QVERIFY(livePages<OfflineUpdateWidget>(window).isEmpty());
    QCOMPARE(window.currentModule()->name(), QStringLiteral("offlineupdate"));
}

void tst_Tool::reactivationGivesAFreshFirstPage()
{
    MainWindow window;
    window.show();
    const QPointer<OfflineUpdateWidget> firstImport = onlyPage<OfflineUpdateWidget>(window);
    QVERIFY(firstImport);
    auto *model = window.findChild<OfflineUpdateModel *>();
    emit model->notifyCheckFilePath(QStringLiteral("/tmp/update.oup"));

    // The ISO module while the check runs, then back.
    press(window, 1);
    QCOMPARE(window.currentModule()->name(), QStringLiteral("isoupdate"));
    QVERIFY(onlyPage<ISOUpdateWidget>(window));
    QVERIFY(livePages<OfflineUpdateCheckingWidget>(window).isEmpty());
    press(window, 0);
    QCOMPARE(window.currentModule()->name(), QStringLiteral("offlineupdate"));
    QVERIFY(livePages<ISOUpdateWidget>(window).isEmpty());
    const QPointer<OfflineUpdateWidget> freshImport = onlyPage<OfflineUpdateWidget>(window);
    QVERIFY(freshImport && firstImport.isNull());
    QTRY_VERIFY(freshImport->isVisible());

    // The walked-away check still reports; the module leaves the fresh page where it is.
    emit model->notifyOfflineCheckResult(2, false);
    QVERIFY(livePages<OfflineCheckResultWidget>(window).isEmpty());
    QCOMPARE(onlyPage<OfflineUpdateWidget>(window), freshImport.data());

    // Pages come and go with activation; the models stay.
    press(window, 2);
    press(window, 1);
    QCOMPARE(window.findChildren<SystemUpdateModel *>().size(), 1);
    QCOMPARE(window.findChildren<ISOUpdateModel *>().size(), 1);
    QCOMPARE(window.findChildren<OfflineUpdateModel *>().size(), 1);
}

void tst_Tool::pageStack()
{
    MainWindow window;
    OfflineUpdateWidget *import = onlyPage<OfflineUpdateWidget>(window);
    RecordingModule recording(&window);
    QWidget stray;
    QTest::ignoreMessage(
        QtWarningMsg, QRegularExpression(QStringLiteral("pushWidget.* inter is nullptr$")));
    window.pushWidget(nullptr, &stray);
    QTest::ignoreMessage(
        QtWarningMsg, QRegularExpression(QStringLiteral("pushWidget.* widget is nullptr$")));
    window.pushWidget(&recording, nullptr);
    QVERIFY(!stray.parent());
    QCOMPARE(window.currentModule()->name(), QStringLiteral("offlineupdate"));
    QCOMPARE(onlyPage<OfflineUpdateWidget>(window), import);

    auto *page = new QWidget;
    window.pushWidget(&recording, page);
    QCOMPARE(window.currentModule(), &recording);
    QCOMPARE(page->window(), &window);
    // The offline module's import page lies below; only the top entry's module is told.
    window.setCurrentModule(2, 0);
    QCOMPARE(recording.deactivations, 1);
    QCOMPARE(recording.activations, 0);
    QCOMPARE(window.currentModule()->name(), QStringLiteral("systemupdate"));
    window.setCurrentModule(1, 0);
    QCOMPARE(recording.deactivations, 1);
    QVERIFY(livePages<SystemUpdateWidget>(window).isEmpty());
}

void tst_Tool::packagePaths_data()
{
    QTest::addColumn<QString>("startState");
    QTest::addColumn<QStringList>("paths");
    QTest::addColumn<QStringList>("checked"); // what the model is told to check, in order

    const QString a = QStringLiteral("/tmp/a.oup");
    QTest::newRow("import page takes the path")
        << "import" << QStringList { a } << QStringList { a };
    QTest::newRow("second path dropped")
        << "import" << QStringList { a, "/tmp/b.oup" } << QStringList { a };
    QTest::newRow("from the ISO module") << "iso" << QStringList { a } << QStringList { a };
    QTest::newRow("result page keeps the screen")
        << "result" << QStringList { a } << QStringList {};
}

void tst_Tool::packagePaths()
{
    QFETCH(QString, startState);
    QFETCH(QStringList, paths);
    QFETCH(QStringList, checked);

    MainWindow window;
    auto *model = window.findChild<OfflineUpdateModel *>();
    if (startState == QLatin1String("iso"))
        window.setCurrentModule(1, 0);
    else if (startState == QLatin1String("result"))
        showResult(window);
    QSignalSpy checks(model, &OfflineUpdateModel::notifyCheckFilePath);
    for (const QString &path : qAsConst(paths))
        window.setOfflineUpdateFile(path);

    QStringList seen;
    for (const QList<QVariant> &call : qAsConst(checks))
        seen << call.first().toString();
    QCOMPARE(seen, checked);
    QCOMPARE(window.currentModule()->name(), QStringLiteral("offlineupdate"));
    QVERIFY(livePages<ISOUpdateWidget>(window).isEmpty());
    QVERIFY(livePages<OfflineUpdateWidget>(window).isEmpty());
    QCOMPARE(livePages<OfflineUpdateCheckingWidget>(window).size(), checked.size());
    QCOMPARE(livePages<OfflineCheckResultWidget>(window).size(), 1 - checked.size());
    QVERIFY(!window.findChild<MultiSelectListView *>()->isVisibleTo(&window));
}

void tst_Tool::busMethods_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("method");
    QTest::addColumn<QVariantList>("args");
    QTest::addColumn<QString>("module");
    QTest::addColumn<bool>("pageReplaced"); // the page on screen before the call

    QTest::newRow("Show, hidden window") << "hidden"
                                         << "Show" << QVariantList() << "offlineupdate" << false;
    QTest::newRow("Show, minimised window") << "minimised"
                                            << "Show" << QVariantList() << "offlineupdate" << false;
    QTest::newRow("ShowModule iso")
        << "shown"
        << "ShowModule" << QVariantList { "isoupdate" } << "isoupdate" << true;
    QTest::newRow("ShowModule unknown")
        << "shown"
        << "ShowModule" << QVariantList { "nosuchmodule" } << "offlineupdate" << true;
    QTest::newRow("ShowModule, name in other case")
        << "shown"
        << "ShowModule" << QVariantList { "ISOUPDATE" } << "offlineupdate" << true;
    QTest::newRow("ShowModule offline over a result")
        << "result"
        << "ShowModule" << QVariantList { "offlineupdate" } << "offlineupdate" << true;
    QTest::newRow("ShowPage system with a page name")
        << "hidden"
        << "ShowPage" << QVariantList { "systemupdate", "details" } << "systemupdate" << true;
}

void tst_Tool::busMethods()
{
    QFETCH(QString, before);
    QFETCH(QString, method);
    QFETCH(QVariantList, args);
    QFETCH(QString, module);
    QFETCH(bool, pageReplaced);

    MainWindow window;
    GarrolanDBusService service(QDBusConnection(QStringLiteral("service")), &window);
    QVERIFY(service.isRegistered());
    if (before == QLatin1String("result"))
        showResult(window);
    if (before == QLatin1String("minimised")) {
        window.showMinimized();
        QTRY_VERIFY_WITH_TIMEOUT(window.isMinimized(), 2000);
    } else if (before != QLatin1String("hidden")) {
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
    }
    const QPointer<QWidget> oldPage = before == QLatin1String("result")
        ? onlyPage<OfflineCheckResultWidget>(window)
        : firstPage(window, QString());
    QVERIFY(oldPage);

    const QDBusMessage reply = call(method, args);
    QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
    QVERIFY(reply.arguments().isEmpty());
    QCOMPARE(window.currentModule()->name(), module);
    QTRY_VERIFY_WITH_TIMEOUT(window.isVisible() && !window.isMinimized(), 2000);
    QVERIFY(firstPage(window, module));
    QCOMPARE(oldPage.isNull(), pageReplaced);
    QVERIFY(window.findChildren<OfflineCheckResultWidget *>().isEmpty());
}

void tst_Tool::closingEndsTheEventLoop()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTimer::singleShot(0, &window, &QWidget::close);
    QTimer::singleShot(5000, &window, [] { QCoreApplication::exit(1); });
    QCOMPARE(QCoreApplication::exec(), 0);
}

std::unique_ptr<ChildProcess> tst_Tool::startTool(
    const QStringList &arguments, bool schemaInstalled, const QString &sessionBus)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // The log manager's file goes below the cache directory.
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), m_work.path());
    environment.insert(QStringLiteral("XDG_DATA_HOME"), m_emptyDir);
    environment.insert(QStringLiteral("XDG_DATA_DIRS"), m_emptyDir);
    environment.insert(QStringLiteral("GSETTINGS_BACKEND"), QStringLiteral("memory"));
    environment.insert(
        QStringLiteral("GSETTINGS_SCHEMA_DIR"), schemaInstalled ? m_schemaDir : m_emptyDir);
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

void tst_Tool::startAndExit_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("schemaInstalled");

    QTest::newRow("no arguments") << QStringList {} << true;
    QTest::newRow("two stray arguments") << QStringList { "a.txt", "b.txt" } << true;
    QTest::newRow("schema missing, a package") << QStringList { "update.oup" } << false;
}

void tst_Tool::startAndExit()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, schemaInstalled);

    const auto tool = startTool(arguments, schemaInstalled);
    if (!waitForOwner(*tool))
        QFAIL(tool->readAllStandardError().constData());
    exitTool(tool.get());
    const QByteArray log = tool->readAllStandardError();
    QVERIFY2(log.contains("is not installed") != schemaInstalled, log.constData());
    QVERIFY2(!log.contains(RefusedLine), log.constData());
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
    std::unique_ptr<ChildProcess> first;
    if (firstRuns) {
        first = startTool({});
        QVERIFY(waitForOwner(*first));
    }
    const auto second = startTool({ QStringLiteral("update.oup") }, true,
        firstRuns ? QString() : QStringLiteral("unix:path=/nonexistent/bus"));
    QVERIFY(second->waitForFinished(15000));
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 0);
    const QByteArray log = second->readAllStandardError();
    QVERIFY2(log.contains(RefusedLine), log.constData());
    if (!first)
        return;
    QCOMPARE(ownerPid(), uint(first->processId()));
    QCOMPARE(QDBusConnection::sessionBus()
                 .call(toolCall(QStringLiteral("Show")), QDBus::Block, 10000)
                 .type(),
        QDBusMessage::ReplyMessage);
    exitTool(first.get());
}

QTEST_MAIN(tst_Tool)
#include "tst_tool.moc"
