// Faults this test is there to catch: method calls that lose or reorder arguments, go to the
// wrong service, path or interface, or do not hand back the reply; a non-blocking call that
// waits for the reply or returns anything but the empty message; property reads that do not go
// to Properties.Get or send more than the first argument; an empty name or a nameless property
// read that reaches the bus anyway; a factory that does not parent what it makes. Signals
// through Connect, and that only the name's owner is heard, are the tool model's and the
// upgrade's tests, which use it for every signal they take.
#include "dbusinvokerinterface.h"
#include "invokerfactory.h"
#include "scriptedservice.h"
#include "testbuses.h"

#include <QDBusVariant>
#include <QTest>
#include <memory>

namespace {

// A scripted service answers on the interface named like it, at the path spelt like it.
const QString ServiceName = QStringLiteral("com.tevrin.test.Invoker");
const QString Property = QStringLiteral("dbusPropertyInvoker");
const QString InvalidArgs = QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs");
const QVariantList TextAndNumber { "text", 7 };

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

class tst_DBusInvoker : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QCOMPARE(m_buses.start(), QString());
        // It answers from a thread of its own: the invoker blocks this one while it waits.
        m_service = std::make_unique<ScriptedService>(m_buses.sessionAddress(), ServiceName);
        m_service->setReply(QStringLiteral("Echo"), answer(TextAndNumber));
        m_service->setReply(QStringLiteral("Hold"), noAnswer());
        m_service->setReply(
            ScriptedService::PropertiesGet, answer({ QVariant::fromValue(QDBusVariant(42)) }));
        QCOMPARE(m_service->start(), QString());
    }

    void invoke_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QVariantList>("args");
        QTest::addColumn<bool>("block");
        // The member and the arguments of what reaches the service; empty for nothing.
        QTest::addColumn<QVariantList>("sent");
        QTest::addColumn<QVariantList>("reply"); // see outcome()

        QTest::newRow("method keeps its arguments in order")
            << "Echo" << TextAndNumber << true << QVariantList { "Echo" } + TextAndNumber
            << TextAndNumber;
        QTest::newRow("property read sends only the first argument")
            << Property << QVariantList { "Count", "Version" } << true
            << QVariantList { ScriptedService::PropertiesGet, ServiceName, "Count" }
            << QVariantList { 42 };
        QTest::newRow("empty name") << QString() << QVariantList { "x" } << true << QVariantList()
                                    << QVariantList { InvalidArgs };
        QTest::newRow("property read without a name, not blocking")
            << Property << QVariantList() << false << QVariantList()
            << QVariantList { InvalidArgs };
        QTest::newRow("not blocking on a method never answered")
            << "Hold" << QVariantList { "held" } << false << QVariantList { "Hold", "held" }
            << QVariantList { QVariant() };
    }
    void invoke()
    {
        QFETCH(QString, name);
        QFETCH(QVariantList, args);
        QFETCH(bool, block);
        QFETCH(QVariantList, sent);
        const int earlier = m_service->calls().size();
        DBusInvokerInterface *invoker = InvokerFactory::GetInstance()->CreateInvoker(ServiceName,
            '/' + QString(ServiceName).replace('.', '/'), ServiceName, SessionBus, &m_owner);
        QCOMPARE(dynamic_cast<QObject *>(invoker)->parent(), &m_owner);

        QTEST(outcome(invoker->Invoke(name, args, block ? QDBus::Block : QDBus::NoBlock)), "reply");
        // Messages from one sender arrive in order: once the marker call is answered, anything
        // the call above sent has been recorded before it.
        QCOMPARE(outcome(invoker->Invoke(QStringLiteral("Echo"), { "marker" }, QDBus::Block)),
            TextAndNumber);
        QVariantList received;
        for (const ScriptedService::Call &call : m_service->calls().mid(earlier))
            received << QVariant(QVariantList { call.member } + call.arguments);
        QCOMPARE(received.takeLast(), QVariant(QVariantList { "Echo", "marker" }));
        QCOMPARE(received, sent.isEmpty() ? QVariantList() : QVariantList { QVariant(sent) });
    }

private:
    TestBuses m_buses;
    std::unique_ptr<ScriptedService> m_service;
    QObject m_owner;
};

QTEST_GUILESS_MAIN(tst_DBusInvoker)
#include "tst_dbusinvoker.moc"
