// Faults this test is there to catch:
// - method calls that lose or reorder arguments, go to the wrong service, path or interface,
//   or do not hand back the reply or the remote error;
// - property reads that do not go to org.freedesktop.DBus.Properties.Get, send more than the
//   first argument, do not convert it to a string, or that match the keyword case-blindly;
// - an empty name or a property read without a name that reaches the bus anyway, or that comes
//   back with another error name or text;
// - a non-blocking call that waits for the reply or returns anything but the empty message;
// - a connect type mapped to the wrong bus (only 0 is the system bus);
// - signals emitted with the wrong path, interface or arguments, or with an empty name;
// - Connect not delivering the remote signal (also with blanks in the slot signature),
//   accepting the same signal from another sender, or failing without its critical line;
// - a factory that hands out one shared object or does not parent what it makes;
// - a settings invoker that aborts the program on a missing schema, does not pass keys and
//   values through, or parents its settings object wrongly.

#include "dbusinvokerinterface.h"
#include "fakeservice.h"
#include "invokerfactory.h"
#include "privatebus.h"
#include "settingsinvokerinterface.h"
#include "signalrecorder.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QGSettings/qgsettings.h>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <cstdio>
#include <memory>

namespace {

const QString ServiceName = QStringLiteral("com.tevrin.test.Invoker");
const QString ObjectPath = QStringLiteral("/com/tevrin/test/Invoker");
const QString Interface = QString::fromLatin1(FakeService::Interface);
const QString PropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString InvalidArgs = QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs");
const QByteArray TestSchema = "com.tevrin.test.invoker";
const QByteArray AbsentSchema = "com.tevrin.test.absent";

const char SchemaXml[] = R"(<schemalist>
  <schema id="com.tevrin.test.invoker" path="/com/tevrin/test/invoker/">
    <key name="nav-show-type" type="b"><default>false</default></key>
    <key name="label" type="s"><default>'plain'</default></key>
  </schema>
</schemalist>
)";

const char SystemPolicy[] = R"(<busconfig>
  <policy context="default">
    <allow own="com.tevrin.test.Invoker"/>
    <allow send_destination="com.tevrin.test.Invoker"/>
  </policy>
</busconfig>
)";

const char AbsentSchemaFlag[] = "--absent-schema-child";

// Child process of settingsWithoutSchema: prints whether GetValue answers a valid value, once
// before and once after SetValue and ResetValue.
int absentSchemaChild(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QObject owner;
    SettingsInvokerInterface *settings
        = InvokerFactory::GetInstance()->CreateSettingsInvoker(AbsentSchema, QByteArray(), &owner);
    const QString key = QStringLiteral("navShowType");
    std::printf("%s\n", settings->GetValue(key).isValid() ? "valid" : "invalid");
    settings->SetValue(key, true);
    settings->ResetValue(key);
    std::printf("%s\n", settings->GetValue(key).isValid() ? "valid" : "invalid");
    return 0;
}

// A property value comes back wrapped as a D-Bus variant; compare what it holds.
QVariantList unwrapped(const QVariantList &arguments)
{
    QVariantList values;
    for (const QVariant &argument : arguments)
        values << (argument.canConvert<QDBusVariant>() ? argument.value<QDBusVariant>().variant()
                                                       : argument);
    return values;
}

} // namespace

class tst_DBusInvoker : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void factoryMakesNewParentedObjects();
    void invoke_data();
    void invoke();
    void invalidInvokeSendsNothing_data();
    void invalidInvokeSendsNothing();
    void noBlockReturnsAtOnce_data();
    void noBlockReturnsAtOnce();
    void connectTypeSelectsBus_data();
    void connectTypeSelectsBus();
    void emitSignal_data();
    void emitSignal();
    void connectDeliversRemoteSignal_data();
    void connectDeliversRemoteSignal();
    void connectFailure_data();
    void connectFailure();
    void settingsWithoutSchema();
    void settingsWithSchema_data();
    void settingsWithSchema();

private:
    DBusInvokerInterface *makeInvoker(
        ConnectType type = SessionBus, const QString &path = ObjectPath);
    bool serveOn(const PrivateBus &bus, const QString &label, FakeService *service);
    QDBusConnection connection(ConnectType type, const char *role) const;

    QTemporaryDir m_dir;
    PrivateBus m_sessionBus { PrivateBus::Session };
    std::unique_ptr<PrivateBus> m_systemBus;
    QThread m_serverThread;
    std::unique_ptr<FakeService> m_systemService;
    std::unique_ptr<FakeService> m_sessionService;
    SignalRecorder m_listened;
    std::unique_ptr<QObject> m_owner;
    bool m_schemaReady = false;
};

QDBusConnection tst_DBusInvoker::connection(ConnectType type, const char *role) const
{
    return QDBusConnection(QStringLiteral("%1-%2").arg(
        QLatin1String(role), QLatin1String(type == SystemBus ? "system" : "session")));
}

bool tst_DBusInvoker::serveOn(const PrivateBus &bus, const QString &label, FakeService *service)
{
    QDBusConnection server
        = QDBusConnection::connectToBus(bus.address(), QStringLiteral("server-") + label);
    // A second plain connection on the same bus, to send signals from a sender that is not the
    // service.
    QDBusConnection bystander
        = QDBusConnection::connectToBus(bus.address(), QStringLiteral("bystander-") + label);
    // The invoker blocks the main thread while it waits for a reply, so the service must
    // answer from a thread of its own.
    service->moveToThread(&m_serverThread);
    return server.isConnected() && bystander.isConnected() && server.registerService(ServiceName)
        && server.registerVirtualObject(ObjectPath, service, QDBusConnection::SingleNode);
}

void tst_DBusInvoker::initTestCase()
{
    QVERIFY2(m_dir.isValid(), qPrintable(m_dir.errorString()));

    // GSettings reads these once, when the first schema is looked up.
    const QString schemaDir = m_dir.filePath(QStringLiteral("schemas"));
    QVERIFY(QDir().mkpath(schemaDir));
    QFile schema(schemaDir + QStringLiteral("/com.tevrin.test.invoker.gschema.xml"));
    QVERIFY(schema.open(QIODevice::WriteOnly));
    schema.write(SchemaXml);
    schema.close();
    qputenv("GSETTINGS_SCHEMA_DIR", QFile::encodeName(schemaDir));
    qputenv("GSETTINGS_BACKEND", "memory");
    const QString compiler = QStandardPaths::findExecutable(QStringLiteral("glib-compile-schemas"));
    if (!compiler.isEmpty()) {
        QProcess compile;
        compile.start(compiler, { schemaDir });
        m_schemaReady = compile.waitForFinished(30000)
            && compile.exitStatus() == QProcess::NormalExit && compile.exitCode() == 0;
    }

    // Both buses must be exported before the first use of QDBusConnection's bus connections.
    QVERIFY2(m_sessionBus.start(), qPrintable(m_sessionBus.errorString()));
    m_sessionBus.exportAddress();
    const QString policy = m_dir.filePath(QStringLiteral("test-policy.conf"));
    QFile policyFile(policy);
    QVERIFY(policyFile.open(QIODevice::WriteOnly));
    policyFile.write(SystemPolicy);
    policyFile.close();
    m_systemBus = std::make_unique<PrivateBus>(PrivateBus::System, QStringList { policy });
    QVERIFY2(m_systemBus->start(), qPrintable(m_systemBus->errorString()));
    m_systemBus->exportAddress();

    m_serverThread.start();
    m_systemService = std::make_unique<FakeService>(QStringLiteral("system"));
    m_sessionService = std::make_unique<FakeService>(QStringLiteral("session"));
    QVERIFY(serveOn(*m_systemBus, QStringLiteral("system"), m_systemService.get()));
    QVERIFY(serveOn(m_sessionBus, QStringLiteral("session"), m_sessionService.get()));

    QDBusConnection listener
        = QDBusConnection::connectToBus(m_sessionBus.address(), QStringLiteral("listener"));
    QVERIFY(listener.connect(
        QString(), ObjectPath, Interface, QString(), &m_listened, SLOT(record(QDBusMessage))));
}

void tst_DBusInvoker::cleanupTestCase()
{
    for (const QString &name : { QStringLiteral("server-system"), QStringLiteral("server-session"),
             QStringLiteral("bystander-system"), QStringLiteral("bystander-session"),
             QStringLiteral("listener") })
        QDBusConnection::disconnectFromBus(name);
    m_serverThread.quit();
    QVERIFY(m_serverThread.wait(10000));
}

void tst_DBusInvoker::init()
{
    m_owner = std::make_unique<QObject>();
    m_systemService->clear();
    m_sessionService->clear();
    m_listened.clear();
}

void tst_DBusInvoker::cleanup()
{
    m_owner.reset();
}

DBusInvokerInterface *tst_DBusInvoker::makeInvoker(ConnectType type, const QString &path)
{
    return InvokerFactory::GetInstance()->CreateInvoker(
        ServiceName, path, Interface, type, m_owner.get());
}

void tst_DBusInvoker::factoryMakesNewParentedObjects()
{
    InvokerFactory *factory = InvokerFactory::GetInstance();
    QVERIFY(factory);
    QCOMPARE(InvokerFactory::GetInstance(), factory);

    auto parent = std::make_unique<QObject>();
    DBusInvokerInterface *first
        = factory->CreateInvoker(ServiceName, ObjectPath, Interface, SessionBus, parent.get());
    DBusInvokerInterface *second
        = factory->CreateInvoker(ServiceName, ObjectPath, Interface, SessionBus, parent.get());
    QVERIFY(first != second);

    const QList<QPointer<QObject>> made { dynamic_cast<QObject *>(first),
        dynamic_cast<QObject *>(second) };
    for (const QPointer<QObject> &object : made) {
        QVERIFY(object);
        QCOMPARE(object->parent(), parent.get());
    }
    parent.reset();
    for (const QPointer<QObject> &object : made)
        QVERIFY(!object);
}

void tst_DBusInvoker::invoke_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QVariantList>("args");
    QTest::addColumn<QString>("sentInterface");
    QTest::addColumn<QString>("sentMember");
    QTest::addColumn<QVariantList>("sentArgs");
    QTest::addColumn<QString>("errorName");
    QTest::addColumn<QVariantList>("replyArgs");

    const QString text = QStringLiteral("text");
    QTest::newRow("method with arguments")
        << QStringLiteral("Echo") << QVariantList { text, 7 } << Interface << QStringLiteral("Echo")
        << QVariantList { text, 7 } << QString() << QVariantList { text, 7 };
    QTest::newRow("method with a computed result")
        << QStringLiteral("Add") << QVariantList { 2, 3 } << Interface << QStringLiteral("Add")
        << QVariantList { 2, 3 } << QString() << QVariantList { 5 };
    QTest::newRow("method without arguments")
        << QStringLiteral("Which") << QVariantList() << Interface << QStringLiteral("Which")
        << QVariantList() << QString() << QVariantList { QStringLiteral("session") };
    QTest::newRow("remote error comes back in the reply")
        << QStringLiteral("Fail") << QVariantList() << Interface << QStringLiteral("Fail")
        << QVariantList() << QString::fromLatin1(FakeService::FailureName) << QVariantList();
    QTest::newRow("property keyword is case-sensitive")
        << QStringLiteral("DBusPropertyInvoker") << QVariantList { QStringLiteral("Version") }
        << Interface << QStringLiteral("DBusPropertyInvoker")
        << QVariantList { QStringLiteral("Version") }
        << QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod") << QVariantList();
    QTest::newRow("property read")
        << QStringLiteral("dbusPropertyInvoker") << QVariantList { QStringLiteral("Version") }
        << PropertiesInterface << QStringLiteral("Get")
        << QVariantList { Interface, QStringLiteral("Version") } << QString()
        << QVariantList { QStringLiteral("1.2") };
    QTest::newRow("property read sends only the first argument")
        << QStringLiteral("dbusPropertyInvoker")
        << QVariantList { QStringLiteral("Count"), QStringLiteral("Version") }
        << PropertiesInterface << QStringLiteral("Get")
        << QVariantList { Interface, QStringLiteral("Count") } << QString() << QVariantList { 42 };
    QTest::newRow("property name converted to a string")
        << QStringLiteral("dbusPropertyInvoker") << QVariantList { 5 } << PropertiesInterface
        << QStringLiteral("Get") << QVariantList { Interface, QStringLiteral("5") }
        << QStringLiteral("org.freedesktop.DBus.Error.UnknownProperty") << QVariantList();
}

void tst_DBusInvoker::invoke()
{
    QFETCH(QString, name);
    QFETCH(QVariantList, args);
    QFETCH(QString, sentInterface);
    QFETCH(QString, sentMember);
    QFETCH(QVariantList, sentArgs);
    QFETCH(QString, errorName);
    QFETCH(QVariantList, replyArgs);

    const QDBusMessage reply = makeInvoker()->Invoke(name, args, QDBus::Block);

    const QList<QDBusMessage> received = m_sessionService->received();
    QCOMPARE(received.size(), 1);
    QCOMPARE(received.first().type(), QDBusMessage::MethodCallMessage);
    QCOMPARE(received.first().path(), ObjectPath);
    QCOMPARE(received.first().interface(), sentInterface);
    QCOMPARE(received.first().member(), sentMember);
    QCOMPARE(received.first().arguments(), sentArgs);

    QCOMPARE(reply.errorName(), errorName);
    if (errorName.isEmpty()) {
        QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
        QCOMPARE(unwrapped(reply.arguments()), replyArgs);
    } else {
        QCOMPARE(reply.type(), QDBusMessage::ErrorMessage);
    }
}

void tst_DBusInvoker::invalidInvokeSendsNothing_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QVariantList>("args");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("errorMessage");

    const QString isEmpty = QStringLiteral("name.isEmpty");
    const QString notExist = QStringLiteral("property not exist");
    const QString property = QStringLiteral("dbusPropertyInvoker");
    QTest::newRow("empty name") << QString() << QVariantList() << int(QDBus::Block) << isEmpty;
    QTest::newRow("empty name with arguments, not blocking")
        << QString() << QVariantList { QStringLiteral("x") } << int(QDBus::NoBlock) << isEmpty;
    QTest::newRow("property read without a name")
        << property << QVariantList() << int(QDBus::Block) << notExist;
    QTest::newRow("property read without a name, not blocking")
        << property << QVariantList() << int(QDBus::NoBlock) << notExist;
}

void tst_DBusInvoker::invalidInvokeSendsNothing()
{
    QFETCH(QString, name);
    QFETCH(QVariantList, args);
    QFETCH(int, mode);
    QFETCH(QString, errorMessage);

    DBusInvokerInterface *invoker = makeInvoker();
    const QDBusMessage reply = invoker->Invoke(name, args, QDBus::CallMode(mode));
    QCOMPARE(reply.type(), QDBusMessage::ErrorMessage);
    QCOMPARE(reply.errorName(), InvalidArgs);
    QCOMPARE(reply.errorMessage(), errorMessage);

    // Messages from one sender arrive in order: once the marker call is answered, anything the
    // faulty call had sent would have been recorded before it.
    const QVariantList marker { QStringLiteral("marker") };
    QCOMPARE(invoker->Invoke(QStringLiteral("Echo"), marker, QDBus::Block).arguments(), marker);
    const QList<QDBusMessage> received = m_sessionService->received();
    QCOMPARE(received.size(), 1);
    QCOMPARE(received.first().arguments(), marker);
}

void tst_DBusInvoker::noBlockReturnsAtOnce_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QVariantList>("args");
    QTest::addColumn<QString>("sentInterface");
    QTest::addColumn<QString>("sentMember");
    QTest::addColumn<QVariantList>("sentArgs");

    QTest::newRow("method never answered")
        << QStringLiteral("Hold") << QVariantList { QStringLiteral("held") } << Interface
        << QStringLiteral("Hold") << QVariantList { QStringLiteral("held") };
    QTest::newRow("property read, answer discarded")
        << QStringLiteral("dbusPropertyInvoker")
        << QVariantList { QStringLiteral("Version"), QStringLiteral("ignored") }
        << PropertiesInterface << QStringLiteral("Get")
        << QVariantList { Interface, QStringLiteral("Version") };
}

void tst_DBusInvoker::noBlockReturnsAtOnce()
{
    QFETCH(QString, name);
    QFETCH(QVariantList, args);
    QFETCH(QString, sentInterface);
    QFETCH(QString, sentMember);
    QFETCH(QVariantList, sentArgs);

    // A blocking call to Hold would end only with the time-out's error reply.
    const QDBusMessage reply = makeInvoker()->Invoke(name, args, QDBus::NoBlock);
    QCOMPARE(reply.type(), QDBusMessage::InvalidMessage);
    QCOMPARE(reply.arguments().size(), 1);
    QVERIFY(reply.arguments().first().isNull());

    QTRY_COMPARE_WITH_TIMEOUT(m_sessionService->received().size(), 1, 5000);
    const QDBusMessage sent = m_sessionService->received().first();
    QCOMPARE(sent.interface(), sentInterface);
    QCOMPARE(sent.member(), sentMember);
    QCOMPARE(sent.arguments(), sentArgs);
}

void tst_DBusInvoker::connectTypeSelectsBus_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("bus");

    QTest::newRow("0 is the system bus") << 0 << QStringLiteral("system");
    QTest::newRow("1 is the session bus") << 1 << QStringLiteral("session");
    QTest::newRow("2 is the session bus") << 2 << QStringLiteral("session");
    QTest::newRow("-1 is the session bus") << -1 << QStringLiteral("session");
}

void tst_DBusInvoker::connectTypeSelectsBus()
{
    QFETCH(int, type);
    QFETCH(QString, bus);

    const QDBusMessage reply
        = makeInvoker(ConnectType(type))->Invoke(QStringLiteral("Which"), {}, QDBus::Block);
    QCOMPARE(reply.errorMessage(), QString());
    QCOMPARE(reply.arguments(), QVariantList { bus });
}

void tst_DBusInvoker::emitSignal_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QVariantList>("args");
    QTest::addColumn<bool>("sent");

    QTest::newRow("signal with arguments")
        << QStringLiteral("Ping") << QVariantList { QStringLiteral("text"), 7 } << true;
    QTest::newRow("signal without arguments") << QStringLiteral("Ping") << QVariantList() << true;
    QTest::newRow("empty name") << QString() << QVariantList { QStringLiteral("text") } << false;
}

void tst_DBusInvoker::emitSignal()
{
    QFETCH(QString, name);
    QFETCH(QVariantList, args);
    QFETCH(bool, sent);

    DBusInvokerInterface *invoker = makeInvoker();
    QCOMPARE(invoker->EmitSignal(name, args), sent);
    if (!sent) {
        // A marker signal sent afterwards arrives after anything the faulty one had sent.
        QVERIFY(invoker->EmitSignal(QStringLiteral("Marker"), {}));
        name = QStringLiteral("Marker");
        args.clear();
    }
    QTRY_COMPARE_WITH_TIMEOUT(m_listened.members().size(), 1, 5000);
    QCOMPARE(m_listened.members().first(), name);
    QCOMPARE(m_listened.arguments().first(), args);
}

void tst_DBusInvoker::connectDeliversRemoteSignal_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("slot");
    QTest::addColumn<QVariantList>("args");

    QTest::newRow("one argument") << int(SessionBus) << QStringLiteral("Changed")
                                  << QByteArray(SLOT(acceptText(QString)))
                                  << QVariantList { QStringLiteral("hello") };
    QTest::newRow("blanks after the comma in the slot")
        << int(SessionBus) << QStringLiteral("Pair") << QByteArray(SLOT(acceptPair(QString, int)))
        << QVariantList { QStringLiteral("hello"), 3 };
    QTest::newRow("system bus") << int(SystemBus) << QStringLiteral("Changed")
                                << QByteArray(SLOT(acceptText(QString)))
                                << QVariantList { QStringLiteral("from the system bus") };
}

void tst_DBusInvoker::connectDeliversRemoteSignal()
{
    QFETCH(int, type);
    QFETCH(QString, name);
    QFETCH(QByteArray, slot);
    QFETCH(QVariantList, args);

    SignalRecorder receiver;
    QVERIFY(makeInvoker(ConnectType(type))->Connect(name, &receiver, slot.constData()));

    // The same signal from a sender that does not own the service name must not arrive. It is
    // sent first, and the bystander's answered call guarantees the bus passed it on before
    // the service's signal is sent.
    QVariantList impostorArgs = args;
    impostorArgs[0] = QStringLiteral("impostor");
    QDBusMessage impostor = QDBusMessage::createSignal(ObjectPath, Interface, name);
    impostor.setArguments(impostorArgs);
    QDBusConnection bystander = connection(ConnectType(type), "bystander");
    QVERIFY(bystander.send(impostor));
    QCOMPARE(bystander
                 .call(QDBusMessage::createMethodCall(
                     ServiceName, ObjectPath, Interface, QStringLiteral("Which")))
                 .type(),
        QDBusMessage::ReplyMessage);

    QDBusMessage signal = QDBusMessage::createSignal(ObjectPath, Interface, name);
    signal.setArguments(args);
    QVERIFY(connection(ConnectType(type), "server").send(signal));

    QTRY_COMPARE_WITH_TIMEOUT(receiver.arguments().size(), 1, 5000);
    QCOMPARE(receiver.arguments().first(), args);
}

void tst_DBusInvoker::connectFailure_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("withReceiver");
    QTest::addColumn<QByteArray>("slot");

    QTest::newRow("receiver has no such slot")
        << ObjectPath << true << QByteArray(SLOT(noSuchSlot(QString)));
    QTest::newRow("no receiver") << ObjectPath << false << QByteArray(SLOT(acceptText(QString)));
    QTest::newRow("invalid object path")
        << QStringLiteral("not/a/path") << true << QByteArray(SLOT(acceptText(QString)));
}

void tst_DBusInvoker::connectFailure()
{
    QFETCH(QString, path);
    QFETCH(bool, withReceiver);
    QFETCH(QByteArray, slot);

    SignalRecorder receiver;
    QTest::ignoreMessage(QtCriticalMsg,
        QRegularExpression(
            QStringLiteral(R"(^signal connect failed :  "Changed" for reason \[ ".*" \]$)")));
    QVERIFY(!makeInvoker(SessionBus, path)
                 ->Connect(QStringLiteral("Changed"), withReceiver ? &receiver : nullptr,
                     slot.constData()));
}

void tst_DBusInvoker::settingsWithoutSchema()
{
    // Opening a missing schema aborts the process, so this runs in a child: a fault then fails
    // this case instead of taking the test and its buses down.
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), { QString::fromLatin1(AbsentSchemaFlag) });
    QVERIFY2(child.waitForFinished(30000), qPrintable(child.errorString()));
    const QString errors = QString::fromLocal8Bit(child.readAllStandardError());
    QVERIFY2(child.exitStatus() == QProcess::NormalExit, qPrintable(errors));
    QCOMPARE(child.exitCode(), 0);
    QCOMPARE(
        QString::fromLatin1(child.readAllStandardOutput()), QStringLiteral("invalid\ninvalid\n"));
    QVERIFY2(errors.contains(QString::fromLatin1(AbsentSchema)), qPrintable(errors));
}

void tst_DBusInvoker::settingsWithSchema_data()
{
    QTest::addColumn<bool>("withParent");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("initial");
    QTest::addColumn<QVariant>("changed");

    QTest::newRow("boolean key, with a parent")
        << true << QStringLiteral("navShowType") << QVariant(false) << QVariant(true);
    QTest::newRow("string key, without a parent")
        << false << QStringLiteral("label") << QVariant(QStringLiteral("plain"))
        << QVariant(QStringLiteral("changed"));
}

void tst_DBusInvoker::settingsWithSchema()
{
    if (!m_schemaReady)
        QSKIP("glib-compile-schemas is missing or failed; no test schema to read");
    QFETCH(bool, withParent);
    QFETCH(QString, key);
    QFETCH(QVariant, initial);
    QFETCH(QVariant, changed);

    QObject parent;
    SettingsInvokerInterface *settings = InvokerFactory::GetInstance()->CreateSettingsInvoker(
        TestSchema, QByteArray(), withParent ? &parent : nullptr);
    QObject *invoker = dynamic_cast<QObject *>(settings);
    QVERIFY(invoker);
    std::unique_ptr<QObject> unparented(withParent ? nullptr : invoker);
    QCOMPARE(invoker->parent(), withParent ? &parent : nullptr);
    QObject *owner = withParent ? &parent : invoker;
    QCOMPARE(owner->findChildren<QGSettings *>(QString(), Qt::FindDirectChildrenOnly).size(), 1);

    QCOMPARE(settings->GetValue(key), initial);
    settings->SetValue(key, changed);
    QCOMPARE(settings->GetValue(key), changed);
    settings->ResetValue(key);
    QCOMPARE(settings->GetValue(key), initial);
}

int main(int argc, char *argv[])
{
    if (argc > 1 && qstrcmp(argv[1], AbsentSchemaFlag) == 0)
        return absentSchemaChild(argc, argv);
    QCoreApplication app(argc, argv);
    tst_DBusInvoker test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_dbusinvoker.moc"
