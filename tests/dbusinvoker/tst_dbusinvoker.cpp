// Faults this test is there to catch:
// - method calls that lose or reorder arguments, go to the wrong service, path or interface,
//   or do not hand back the reply or the remote error;
// - property reads that do not go to org.freedesktop.DBus.Properties.Get, send more than the
//   first argument, do not convert it to a string, or that match the keyword case-blindly;
// - an empty name or a property read without a name that reaches the bus anyway, or that comes
//   back with another error name or text;
// - a non-blocking call that waits for the reply or returns anything but the empty message;
// - signals emitted with the wrong path, interface or arguments, or with an empty name;
// - Connect on the wrong bus (only connect type 0 is the system bus), not delivering the
//   remote signal to a slot written with blanks, accepting it from another sender, or failing
//   without its critical line;
// - a factory that hands out one shared object or does not parent what it makes;
// - a settings invoker that aborts the program on a missing schema, does not pass keys and
//   values through, or parents its settings object wrongly.
#include "childprocess.h"
#include "dbusinvokerinterface.h"
#include "fakeservice.h"
#include "invokerfactory.h"
#include "privatebus.h"
#include "settingsinvokerinterface.h"
#include "signalrecorder.h"

#include <QDBusConnectionInterface>
#include <QDBusVariant>
#include <QGSettings/qgsettings.h>
#include <QRegularExpression>
#include <QTest>
#include <QThread>
#include <memory>

namespace {

const QString ServiceName = QStringLiteral("com.tevrin.test.Invoker");
const QString ObjectPath = QStringLiteral("/com/tevrin/test/Invoker");
const QString Interface = QString::fromLatin1(FakeService::Interface);
const QString Get = QStringLiteral("org.freedesktop.DBus.Properties.Get");
const QString Property = QStringLiteral("dbusPropertyInvoker");
const QString BusError = QStringLiteral("org.freedesktop.DBus.Error.");

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// What can be compared of a reply: the name and text of an error, else the arguments with
// property values taken out of their D-Bus variant (a single null one for the empty message).
QVariantList outcome(const QDBusMessage &reply)
{
    if (reply.type() == QDBusMessage::ErrorMessage)
        return { reply.errorName(), reply.errorMessage() };
    QVariantList values = reply.arguments();
    for (QVariant &value : values)
        if (value.canConvert<QDBusVariant>())
            value = value.value<QDBusVariant>().variant();
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
    void factoryMakesNewParentedObjects();
    void invoke_data();
    void invoke();
    void emitSignal();
    void connectSignal_data();
    void connectSignal();
    void settings_data();
    void settings();

private:
    DBusInvokerInterface *makeInvoker(ConnectType type = SessionBus)
    {
        return InvokerFactory::GetInstance()->CreateInvoker(
            ServiceName, ObjectPath, Interface, type, &m_owner);
    }

    QTemporaryDir m_dir;
    const QString m_policy = m_dir.filePath(QStringLiteral("policy.conf"));
    PrivateBus m_sessionBus { PrivateBus::Session };
    PrivateBus m_systemBus { PrivateBus::System, { m_policy } };
    QThread m_serverThread;
    FakeService m_service;
    SignalRecorder m_listened;
    QObject m_owner;
    bool m_schemaReady = false;
};

void tst_DBusInvoker::initTestCase()
{
    // GSettings reads these once, when the first schema is looked up.
    qputenv("GSETTINGS_SCHEMA_DIR", QFile::encodeName(m_dir.path()));
    qputenv("GSETTINGS_BACKEND", "memory");
    QVERIFY(writeFile(m_dir.filePath(QStringLiteral("com.tevrin.test.invoker.gschema.xml")),
        R"(<schemalist><schema id="com.tevrin.test.invoker" path="/com/tevrin/test/invoker/">
  <key name="nav-show-type" type="b"><default>false</default></key>
  <key name="label" type="s"><default>'plain'</default></key>
</schema></schemalist>)"));
    m_schemaReady
        = ChildProcess::run({ QStringLiteral("glib-compile-schemas"), m_dir.path() }) == 0;
    QVERIFY(writeFile(m_policy,
        R"(<busconfig><policy context="default"><allow own="com.tevrin.test.Invoker"/></policy></busconfig>)"));

    // Both buses must be exported before the first use of QDBusConnection's bus connections. On
    // each, a server owns the service name and a bystander sends what must not count as coming
    // from the service.
    for (PrivateBus *bus : { &m_sessionBus, &m_systemBus }) {
        QVERIFY2(bus->start(), qPrintable(bus->errorString()));
        bus->exportAddress();
        const QString label = QLatin1String(bus == &m_systemBus ? "-system" : "-session");
        QVERIFY(QDBusConnection::connectToBus(bus->address(), "bystander" + label).isConnected());
        QVERIFY(QDBusConnection::connectToBus(bus->address(), "server" + label)
                    .registerService(ServiceName));
    }
    // The invoker blocks the main thread while it waits for a reply, so the service must
    // answer from a thread of its own.
    m_service.moveToThread(&m_serverThread);
    m_serverThread.start();
    QVERIFY(QDBusConnection(QStringLiteral("server-session"))
                .registerVirtualObject(ObjectPath, &m_service, QDBusConnection::SingleNode));
    QVERIFY(QDBusConnection(QStringLiteral("bystander-session"))
                .connect(QString(), ObjectPath, Interface, QString(), &m_listened,
                    SLOT(record(QDBusMessage))));
}

void tst_DBusInvoker::cleanupTestCase()
{
    m_serverThread.quit();
    QVERIFY(m_serverThread.wait(10000));
}

void tst_DBusInvoker::init()
{
    m_service.takeReceived();
    m_listened.deliveries.clear();
}

void tst_DBusInvoker::factoryMakesNewParentedObjects()
{
    auto *first = dynamic_cast<QObject *>(makeInvoker());
    auto *second = dynamic_cast<QObject *>(makeInvoker());
    QVERIFY(first && second && first != second);
    QCOMPARE(first->parent(), &m_owner);
    QCOMPARE(second->parent(), &m_owner);
}

void tst_DBusInvoker::invoke_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QVariantList>("args");
    QTest::addColumn<bool>("block");
    // "<interface>.<member>" and the arguments of what reaches the service; empty for nothing.
    QTest::addColumn<QVariantList>("sent");
    QTest::addColumn<QVariantList>("reply"); // see outcome()

    const QVariantList countAndMore { "Count", "Version" };
    const QVariantList getCount { Get, Interface, "Count" };
    const QVariantList textAndNumber { "text", 7 };
    QTest::newRow("method keeps its arguments in order")
        << "Echo" << textAndNumber << true << QVariantList { Interface + ".Echo" } + textAndNumber
        << textAndNumber;
    QTest::newRow("remote error comes back")
        << "Fail" << QVariantList() << true << QVariantList { Interface + ".Fail" }
        << QVariantList { FakeService::FailureName, "failed on purpose" };
    QTest::newRow("property keyword is case-sensitive")
        << "DBusPropertyInvoker" << QVariantList { "Count" } << true
        << QVariantList { Interface + ".DBusPropertyInvoker", "Count" }
        << QVariantList { BusError + "UnknownMethod", "DBusPropertyInvoker" };
    QTest::newRow("property read sends only the first argument")
        << Property << countAndMore << true << getCount << QVariantList { 42 };
    QTest::newRow("property name converted to a string")
        << Property << QVariantList { 5 } << true << QVariantList { Get, Interface, "5" }
        << QVariantList { BusError + "UnknownProperty", "5" };
    QTest::newRow("empty name") << QString() << QVariantList { "x" } << true << QVariantList()
                                << QVariantList { BusError + "InvalidArgs", "name.isEmpty" };
    QTest::newRow("property read without a name, not blocking")
        << Property << QVariantList() << false << QVariantList()
        << QVariantList { BusError + "InvalidArgs", "property not exist" };
    QTest::newRow("not blocking on a method never answered")
        << "Hold" << QVariantList { "held" } << false
        << QVariantList { Interface + ".Hold", "held" } << QVariantList { QVariant() };
    QTest::newRow("not blocking on a property read")
        << Property << countAndMore << false << getCount << QVariantList { QVariant() };
}

void tst_DBusInvoker::invoke()
{
    QFETCH(QString, name);
    QFETCH(QVariantList, args);
    QFETCH(bool, block);
    QFETCH(QVariantList, sent);

    DBusInvokerInterface *invoker = makeInvoker();
    QTEST(outcome(invoker->Invoke(name, args, block ? QDBus::Block : QDBus::NoBlock)), "reply");
    // Messages from one sender arrive in order: once the marker call is answered, anything the
    // call above sent has been recorded before it.
    QCOMPARE(invoker->Invoke(QStringLiteral("Echo"), { "marker" }, QDBus::Block).arguments(),
        QVariantList { "marker" });
    QVariantList received;
    for (const QDBusMessage &call : m_service.takeReceived())
        received << QVariant(
            QVariantList { call.interface() + '.' + call.member() } + call.arguments());
    QCOMPARE(received.takeLast(), QVariant(QVariantList { Interface + ".Echo", "marker" }));
    QCOMPARE(received, sent.isEmpty() ? QVariantList() : QVariantList { QVariant(sent) });
}

void tst_DBusInvoker::emitSignal()
{
    DBusInvokerInterface *invoker = makeInvoker();
    QVERIFY(!invoker->EmitSignal(QString(), { QStringLiteral("refused") }));
    QVERIFY(invoker->EmitSignal(QStringLiteral("Ping"), { QStringLiteral("text"), 7 }));
    // A signal without a name, had it left anyway, would arrive first.
    QTRY_COMPARE_WITH_TIMEOUT(
        m_listened.deliveries, (QList<QVariantList> { { "Ping", "text", 7 } }), 5000);
}

void tst_DBusInvoker::connectSignal_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("bus"); // the bus the signal is sent on; empty: the slot is missing

    QTest::newRow("0 is the system bus") << 0 << "system";
    QTest::newRow("2 is the session bus") << 2 << "session";
    QTest::newRow("-1 is the session bus") << -1 << "session";
    QTest::newRow("receiver has no such slot") << 1 << "";
}

void tst_DBusInvoker::connectSignal()
{
    QFETCH(int, type);
    QFETCH(QString, bus);
    SignalRecorder receiver;
    if (bus.isEmpty()) {
        QTest::ignoreMessage(QtCriticalMsg,
            QRegularExpression(
                QStringLiteral(R"(^signal connect failed :  "Pair" for reason \[ ".*" \]$)")));
        QVERIFY(!makeInvoker(ConnectType(type))
                     ->Connect(QStringLiteral("Pair"), &receiver, SLOT(noSuch(QString))));
        return;
    }
    // With a blank after the comma, as callers write it.
    QVERIFY(makeInvoker(ConnectType(type))
                ->Connect(QStringLiteral("Pair"), &receiver, SLOT(acceptPair(QString, int))));
    const auto send = [&bus](const char *sender, const char *text) {
        return QDBusConnection(QLatin1String(sender) + bus)
            .send(QDBusMessage::createSignal(ObjectPath, Interface, QStringLiteral("Pair"))
                << QString::fromLatin1(text) << 3);
    };
    // The same signal from a sender that does not own the service name must not arrive. It is
    // sent first, and the bus answers the bystander's question only after passing it on.
    QVERIFY(send("bystander-", "impostor"));
    QVERIFY(QDBusConnection(QStringLiteral("bystander-") + bus)
                .interface()
                ->isServiceRegistered(ServiceName)
                .value());
    QVERIFY(send("server-", "hello"));
    QTRY_COMPARE_WITH_TIMEOUT(receiver.deliveries, (QList<QVariantList> { { "hello", 3 } }), 5000);
}

void tst_DBusInvoker::settings_data()
{
    QTest::addColumn<bool>("withParent");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("initial"); // invalid: the schema is not installed
    QTest::addColumn<QVariant>("changed");

    QTest::newRow("boolean key, with a parent")
        << true << "navShowType" << QVariant(false) << QVariant(true);
    QTest::newRow("string key, without a parent")
        << false << "label" << QVariant("plain") << QVariant("new");
    // Opening a missing schema would abort the test.
    QTest::newRow("schema not installed") << true << "label" << QVariant() << QVariant("new");
}

void tst_DBusInvoker::settings()
{
    QFETCH(bool, withParent);
    QFETCH(QString, key);
    QFETCH(QVariant, initial);
    QFETCH(QVariant, changed);
    const bool installed = initial.isValid();
    if (installed && !m_schemaReady)
        QSKIP("glib-compile-schemas is missing or failed; no test schema to read");
    if (!installed)
        QTest::ignoreMessage(
            QtWarningMsg, QRegularExpression(QStringLiteral("schema not installed")));

    QObject parent;
    SettingsInvokerInterface *settings = InvokerFactory::GetInstance()->CreateSettingsInvoker(
        installed ? "com.tevrin.test.invoker" : "com.tevrin.test.absent", QByteArray(),
        withParent ? &parent : nullptr);
    auto *invoker = dynamic_cast<QObject *>(settings);
    const std::unique_ptr<QObject> unparented(withParent ? nullptr : invoker);
    QCOMPARE(invoker->parent(), withParent ? &parent : nullptr);
    QCOMPARE((withParent ? &parent : invoker)
                 ->findChildren<QGSettings *>(QString(), Qt::FindDirectChildrenOnly)
                 .size(),
        installed ? 1 : 0);

    QCOMPARE(settings->GetValue(key), initial);
    settings->SetValue(key, changed);
    QCOMPARE(settings->GetValue(key), installed ? changed : QVariant());
    settings->ResetValue(key);
    QCOMPARE(settings->GetValue(key), initial);
}

QTEST_GUILESS_MAIN(tst_DBusInvoker)
#include "tst_dbusinvoker.moc"
