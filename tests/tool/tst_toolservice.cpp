// The tool's session-bus service, in process: the real window and service on a private bus,
// called from a second connection as another desktop program would call them. Faults this test
// catches:
// - the service claiming to be the one instance when the name is taken or there is no bus, or
//   not logging the line that says so;
// - the published interface drifting from its description (member order, argument names);
// - a method not reaching the window through the adaptor, a method answering with an error;
// - Show not restoring a minimised or hidden window, or rebuilding pages it should leave alone;
// - ShowModule/ShowPage selecting the wrong module, keeping a stale result page, failing on an
//   unknown name;
// - ExitApp not ending the event loop with 0;
// - a service without a main window as its parent dereferencing it anyway.
#include "garrolandbusservice.h"
#include "isoupdatewidget.h"
#include "mainwindow.h"
#include "moduleinterface.h"
#include "offlinecheckresultwidget.h"
#include "offlineupdatemodel.h"
#include "offlineupdatewidget.h"
#include "privatebus.h"
#include "schemafixture.h"
#include "systemupdatewidget.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QPointer>
#include <QSignalSpy>
#include <QTimer>
#include <QXmlStreamReader>
#include <QtTest>
#include <memory>

namespace {

const QString Interface = QStringLiteral("com.tevrin.offline.update.tool");
const char RefusedLine[] = "dbus service already registered!  \"com.tevrin.offline.update.tool\"";

void flushDeletions()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

template <typename Page> Page *onlyPage(const QWidget &window)
{
    flushDeletions();
    const QList<Page *> pages = window.findChildren<Page *>();
    return pages.size() == 1 ? pages.first() : nullptr;
}

// "Method(direction type name, ...)" for each method of |interface| in |xml|, in order.
QStringList methodsOf(const QString &xml, const QString &interface)
{
    QStringList methods;
    QXmlStreamReader reader(xml);
    bool inInterface = false;
    QStringList args;
    QString method;
    while (!reader.atEnd()) {
        reader.readNext();
        const QXmlStreamAttributes attributes = reader.attributes();
        if (reader.isStartElement() && reader.name() == QLatin1String("interface")) {
            inInterface = attributes.value(QLatin1String("name")) == interface;
        } else if (!inInterface) {
            continue;
        } else if (reader.isEndElement() && reader.name() == QLatin1String("interface")) {
            inInterface = false;
        } else if (reader.isStartElement() && reader.name() == QLatin1String("method")) {
            method = attributes.value(QLatin1String("name")).toString();
            args.clear();
        } else if (reader.isStartElement() && reader.name() == QLatin1String("arg")) {
            args << QStringLiteral("%1 %2 %3")
                        .arg(attributes.value(QLatin1String("direction")),
                            attributes.value(QLatin1String("type")),
                            attributes.value(QLatin1String("name")));
        } else if (reader.isEndElement() && reader.name() == QLatin1String("method")) {
            methods << QStringLiteral("%1(%2)").arg(method, args.join(QLatin1String(", ")));
        } else if (reader.isStartElement()) {
            methods << QStringLiteral("unexpected %1").arg(reader.name());
        }
    }
    return methods;
}

} // namespace

class tst_ToolService : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void refused_data();
    void refused();
    void introspection();
    void methodsAct_data();
    void methodsAct();
    void exitAppEndsTheEventLoop();
    void withoutWindowParent();

private:
    QDBusMessage call(
        const QString &method, const QVariantList &args = {}, const QString &iface = Interface);

    std::unique_ptr<PrivateBus> m_systemBus;
    std::unique_ptr<PrivateBus> m_sessionBus;
    SchemaFixture m_schema;
    std::unique_ptr<QDBusConnection> m_serviceBus;
    std::unique_ptr<QDBusConnection> m_client;
    int m_round = 0;
};

void tst_ToolService::initTestCase()
{
    m_systemBus = std::make_unique<PrivateBus>(PrivateBus::System);
    m_sessionBus = std::make_unique<PrivateBus>(PrivateBus::Session);
    QVERIFY2(m_systemBus->start(), qPrintable(m_systemBus->errorString()));
    QVERIFY2(m_sessionBus->start(), qPrintable(m_sessionBus->errorString()));
    m_systemBus->exportAddress();
    m_sessionBus->exportAddress();

    QString error;
    QVERIFY2(m_schema.compile(&error), qPrintable(error));
    qputenv("GSETTINGS_SCHEMA_DIR", QFile::encodeName(m_schema.schemaDir()));
    qputenv("GSETTINGS_BACKEND", "memory");
}

// Each test owns the name through a connection of its own, which takes the name with it when it
// goes.
void tst_ToolService::init()
{
    ++m_round;
    m_serviceBus = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(
        m_sessionBus->address(), QStringLiteral("service-%1").arg(m_round)));
    m_client = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(
        m_sessionBus->address(), QStringLiteral("client-%1").arg(m_round)));
    QVERIFY(m_serviceBus->isConnected());
    QVERIFY(m_client->isConnected());
}

void tst_ToolService::cleanup()
{
    const QString serviceName = m_serviceBus->name();
    const QString clientName = m_client->name();
    m_serviceBus.reset();
    m_client.reset();
    QDBusConnection::disconnectFromBus(serviceName);
    QDBusConnection::disconnectFromBus(clientName);
    flushDeletions();
}

QDBusMessage tst_ToolService::call(
    const QString &method, const QVariantList &args, const QString &iface)
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        GarrolanDBusService::ServiceName, GarrolanDBusService::ObjectPath, iface, method);
    message.setArguments(args);
    // Asynchronous, so that this thread can serve the call it is waiting for.
    QDBusPendingCallWatcher watcher(m_client->asyncCall(message, 10000));
    QSignalSpy finished(&watcher, &QDBusPendingCallWatcher::finished);
    if (!watcher.isFinished() && !finished.wait(10000))
        return QDBusMessage::createError(QStringLiteral("test.Timeout"), method);
    return watcher.reply();
}

void tst_ToolService::refused_data()
{
    QTest::addColumn<bool>("busReachable");

    QTest::newRow("name already taken") << true;
    QTest::newRow("no session bus") << false;
}

void tst_ToolService::refused()
{
    QFETCH(bool, busReachable);

    MainWindow window;
    GarrolanDBusService first(*m_serviceBus, &window);
    QVERIFY(first.isRegistered());

    const QString secondName = QStringLiteral("second-%1").arg(m_round);
    const QDBusConnection secondBus = QDBusConnection::connectToBus(
        busReachable ? m_sessionBus->address() : QStringLiteral("unix:path=/nonexistent/bus"),
        secondName);
    QCOMPARE(secondBus.isConnected(), busReachable);
    QTest::ignoreMessage(QtDebugMsg, RefusedLine);
    MainWindow otherWindow;
    GarrolanDBusService second(secondBus, &otherWindow);
    QVERIFY(!second.isRegistered());
    QDBusConnection::disconnectFromBus(secondName);

    // The first instance still answers.
    const QDBusMessage reply = call(QStringLiteral("Show"));
    QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
}

void tst_ToolService::introspection()
{
    MainWindow window;
    GarrolanDBusService service(*m_serviceBus, &window);
    QVERIFY(service.isRegistered());

    const QDBusMessage reply = call(
        QStringLiteral("Introspect"), {}, QStringLiteral("org.freedesktop.DBus.Introspectable"));
    QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
    QCOMPARE(methodsOf(reply.arguments().value(0).toString(), Interface),
        (QStringList { "Show()", "ShowModule(in s module)", "ShowPage(in s module, in s page)",
            "ExitApp()" }));
}

void tst_ToolService::methodsAct_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("method");
    QTest::addColumn<QVariantList>("args");
    QTest::addColumn<QString>("module");
    // Whether the page that was on screen before the call has been replaced.
    QTest::addColumn<bool>("pageReplaced");

    const auto row = [](const char *name, const char *before, const char *method,
                         const QVariantList &args, const char *module, bool pageReplaced) {
        QTest::newRow(name) << QString::fromLatin1(before) << QString::fromLatin1(method) << args
                            << QString::fromLatin1(module) << pageReplaced;
    };
    row("Show, hidden window", "hidden", "Show", {}, "offlineupdate", false);
    row("Show, minimised window", "minimised", "Show", {}, "offlineupdate", false);
    row("ShowModule iso", "shown", "ShowModule", { "isoupdate" }, "isoupdate", true);
    row("ShowModule unknown", "shown", "ShowModule", { "nosuchmodule" }, "offlineupdate", true);
    row("ShowModule offline over a result", "result", "ShowModule", { "offlineupdate" },
        "offlineupdate", true);
    row("ShowModule, minimised window", "minimised", "ShowModule", { "systemupdate" },
        "systemupdate", true);
    row("ShowPage system with a page name", "hidden", "ShowPage", { "systemupdate", "details" },
        "systemupdate", true);
    row("ShowPage iso without a page name", "shown", "ShowPage", { "isoupdate", "" }, "isoupdate",
        true);
}

void tst_ToolService::methodsAct()
{
    QFETCH(QString, before);
    QFETCH(QString, method);
    QFETCH(QVariantList, args);
    QFETCH(QString, module);
    QFETCH(bool, pageReplaced);

    MainWindow window;
    GarrolanDBusService service(*m_serviceBus, &window);
    QVERIFY(service.isRegistered());

    if (before == QLatin1String("result")) {
        auto *model = window.findChild<OfflineUpdateModel *>();
        emit model->notifyCheckFilePath(QStringLiteral("/tmp/update.oup"));
        emit model->notifyOfflineCheckResult(6, true);
    }
    if (before == QLatin1String("minimised")) {
        window.showMinimized();
        QTRY_VERIFY_WITH_TIMEOUT(window.isMinimized(), 2000);
    } else if (before != QLatin1String("hidden")) {
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
    }
    flushDeletions();
    QWidget *pageBefore = before == QLatin1String("result")
        ? static_cast<QWidget *>(onlyPage<OfflineCheckResultWidget>(window))
        : static_cast<QWidget *>(onlyPage<OfflineUpdateWidget>(window));
    QVERIFY(pageBefore);
    const QPointer<QWidget> oldPage = pageBefore;

    const QDBusMessage reply = call(method, args);
    QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
    QVERIFY(reply.arguments().isEmpty());

    QCOMPARE(window.currentModule()->name(), module);
    QTRY_VERIFY_WITH_TIMEOUT(window.isVisible(), 2000);
    QTRY_VERIFY_WITH_TIMEOUT(!window.isMinimized(), 2000);
    flushDeletions();
    QCOMPARE(oldPage.isNull(), pageReplaced);
    if (module == QLatin1String("offlineupdate"))
        QVERIFY(onlyPage<OfflineUpdateWidget>(window));
    else if (module == QLatin1String("isoupdate"))
        QVERIFY(onlyPage<ISOUpdateWidget>(window));
    else
        QVERIFY(onlyPage<SystemUpdateWidget>(window));
    QVERIFY(window.findChildren<OfflineCheckResultWidget *>().isEmpty());
}

void tst_ToolService::exitAppEndsTheEventLoop()
{
    MainWindow window;
    GarrolanDBusService service(*m_serviceBus, &window);
    QVERIFY(service.isRegistered());
    window.show();

    QDBusMessage exit = QDBusMessage::createMethodCall(GarrolanDBusService::ServiceName,
        GarrolanDBusService::ObjectPath, Interface, QStringLiteral("ExitApp"));
    exit.setAutoStartService(false);
    QVERIFY(m_client->send(exit));
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    guard.start(10000);
    QCOMPARE(QCoreApplication::exec(), 0);
}

void tst_ToolService::withoutWindowParent()
{
    QObject notAWindow;
    GarrolanDBusService service(*m_serviceBus, &notAWindow);
    QVERIFY(service.isRegistered());
    QCOMPARE(service.parent(), nullptr);

    const QList<QPair<QString, QVariantList>> calls = {
        { QStringLiteral("Show"), {} },
        { QStringLiteral("ShowModule"), { QStringLiteral("isoupdate") } },
        { QStringLiteral("ShowPage"), { QStringLiteral("isoupdate"), QString() } },
    };
    for (const auto &method : calls)
        QCOMPARE(call(method.first, method.second).type(), QDBusMessage::ReplyMessage);
}

QTEST_MAIN(tst_ToolService)
#include "tst_toolservice.moc"
