// Faults this test is there to catch: method calls that lose or reorder arguments, go to the
// wrong service, path or interface, or do not hand back the reply; a
// non-blocking call that waits for the reply or returns anything but the empty message; property
// reads that do not go to Properties.Get or send more than the first argument; an empty name or a
// nameless property read that reaches the bus anyway; Connect on the wrong bus (only connect type
// 0 is the system bus), not delivering the remote signal to a slot written with blanks, accepting
// it from another sender, or failing without its critical line; a factory that hands out one
// shared object or does not parent what it makes.
#include "dbusinvokerinterface.h"
#include "fakeservice.h"
#include "invokerfactory.h"
#include "privatebus.h"

#include <QDBusConnectionInterface>
#include <QDBusVariant>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

namespace {

const QString ServiceName = QStringLiteral("com.tevrin.test.Invoker");
const QString ObjectPath = QStringLiteral("/com/tevrin/test/Invoker");
const QString Interface = ServiceName;
const QString Property = QStringLiteral("dbusPropertyInvoker");
const QString InvalidArgs = QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs");

// What can be compared of a reply: the name of an error, else the arguments with property values
// taken out of their D-Bus variant (a single null one for the empty message).
QVariantList outcome(const QDBusMessage &reply)
{
    if (reply.type() == QDBusMessage::ErrorMessage)
        return { reply.errorName() };
    QVariantList values = reply.arguments();
    for (QVariant &value : values)
        if (value.canConvert<QDBusVariant>())
            value = value.value<QDBusVariant>().variant();
    return values;
}

} // namespace

// Keeps one entry per delivery of a signal of a string and a number.
class SignalRecorder : public QObject
{
    Q_OBJECT

public:
    QList<QVariantList> deliveries;

public slots:
    void acceptPair(const QString &text, int number)
    {
        deliveries << QVariantList { text, number };
    }
};

class tst_DBusInvoker : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QFile policy(m_policy);
        QVERIFY(policy.open(QIODevice::WriteOnly)
            && policy.write(R"(<busconfig><policy context="default"><allow own=")"
                   + ServiceName.toUtf8() + R"("/></policy></busconfig>)")
                > 0);
        policy.close();
        // Both buses must be exported before the first use of QDBusConnection's bus connections.
        // On each, a server owns the service name and a bystander sends what must not count as
        // coming from the service.
        for (PrivateBus *bus : { &m_sessionBus, &m_systemBus }) {
            QVERIFY2(bus->start(), qPrintable(bus->errorString()));
            bus->exportAddress();
            const QString label = QLatin1String(bus == &m_systemBus ? "-system" : "-session");
            QVERIFY(
                QDBusConnection::connectToBus(bus->address(), "bystander" + label).isConnected());
            QVERIFY(QDBusConnection::connectToBus(bus->address(), "server" + label)
                        .registerService(ServiceName));
        }
        // The invoker blocks the main thread while it waits for a reply, so the service must
        // answer from a thread of its own.
        m_service.moveToThread(&m_serverThread);
        m_serverThread.start();
        QVERIFY(QDBusConnection(QStringLiteral("server-session"))
                    .registerVirtualObject(ObjectPath, &m_service, QDBusConnection::SingleNode));
    }
    void cleanupTestCase()
    {
        m_serverThread.quit();
        QVERIFY(m_serverThread.wait(10000));
    }

    void invoke_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QVariantList>("args");
        QTest::addColumn<bool>("block");
        // "<interface>.<member>" and the arguments of what reaches the service; empty for nothing.
        QTest::addColumn<QVariantList>("sent");
        QTest::addColumn<QVariantList>("reply"); // see outcome()

        const QVariantList textAndNumber { "text", 7 };
        QTest::newRow("method keeps its arguments in order")
            << "Echo" << textAndNumber << true
            << QVariantList { Interface + ".Echo" } + textAndNumber << textAndNumber;
        QTest::newRow("property read sends only the first argument")
            << Property << QVariantList { "Count", "Version" } << true
            << QVariantList { "org.freedesktop.DBus.Properties.Get", Interface, "Count" }
            << QVariantList { 42 };
        QTest::newRow("empty name") << QString() << QVariantList { "x" } << true << QVariantList()
                                    << QVariantList { InvalidArgs };
        QTest::newRow("property read without a name, not blocking")
            << Property << QVariantList() << false << QVariantList()
            << QVariantList { InvalidArgs };
        QTest::newRow("not blocking on a method never answered")
            << "Hold" << QVariantList { "held" } << false
            << QVariantList { Interface + ".Hold", "held" } << QVariantList { QVariant() };
    }
    void invoke()
    {
        QFETCH(QString, name);
        QFETCH(QVariantList, args);
        QFETCH(bool, block);
        QFETCH(QVariantList, sent);
        m_service.takeReceived();
        DBusInvokerInterface *invoker = makeInvoker();
        QVERIFY(makeInvoker() != invoker);
        QCOMPARE(dynamic_cast<QObject *>(invoker)->parent(), &m_owner);

        QTEST(outcome(invoker->Invoke(name, args, block ? QDBus::Block : QDBus::NoBlock)), "reply");
        // Messages from one sender arrive in order: once the marker call is answered, anything
        // the call above sent has been recorded before it.
        QCOMPARE(invoker->Invoke(QStringLiteral("Echo"), { "marker" }, QDBus::Block).arguments(),
            QVariantList { "marker" });
        QVariantList received;
        for (const QDBusMessage &call : m_service.takeReceived())
            received << QVariant(
                QVariantList { call.interface() + '.' + call.member() } + call.arguments());
        QCOMPARE(received.takeLast(), QVariant(QVariantList { Interface + ".Echo", "marker" }));
        QCOMPARE(received, sent.isEmpty() ? QVariantList() : QVariantList { QVariant(sent) });
    }

    void connectSignal_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("bus"); // the bus the signal is sent on; empty: no such slot
        QTest::newRow("0 is the system bus") << 0 << "system";
        QTest::newRow("2 is the session bus") << 2 << "session";
        QTest::newRow("receiver has no such slot") << 1 << "";
    }
    void connectSignal()
    {
        QFETCH(int, type);
        QFETCH(QString, bus);
        SignalRecorder receiver;
        if (bus.isEmpty()) {
            QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("Pair")));
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
        // The same signal from a sender that does not own the service name must not arrive. It
        // is sent first, and the bus answers the bystander's question only after passing it on.
        QVERIFY(send("bystander-", "impostor"));
        QVERIFY(QDBusConnection(QStringLiteral("bystander-") + bus)
                    .interface()
                    ->isServiceRegistered(ServiceName)
                    .value());
        QVERIFY(send("server-", "hello"));
        QTRY_COMPARE_WITH_TIMEOUT(
            receiver.deliveries, (QList<QVariantList> { { "hello", 3 } }), 5000);
    }

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
    QObject m_owner;
};

QTEST_GUILESS_MAIN(tst_DBusInvoker)
#include "tst_dbusinvoker.moc"
