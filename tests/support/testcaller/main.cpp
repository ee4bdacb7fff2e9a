// Calls one method of the daemon as whoever runs it, on the system bus, and prints every
// signal the daemon sends to this caller, then the reply, as dbus-send --print-reply would
// print it. A dbus-send cannot take signals, and the daemon's signals go to their caller alone.
//
//   tevrin-test-caller METHOD [STRING...]   exit 0 on a reply, 1 on an error reply
//   tevrin-test-caller --until-final METHOD [STRING...]
//                                           after a reply, goes on until a final progress pair
//   tevrin-test-caller --listen MS          only listens, for MS milliseconds
//
// A signal is one line: "signal " and a JSON array of its name and arguments.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTimer>
#include <cstdio>

namespace {

const QString Service = QStringLiteral("com.tevrin.offline.update.daemon");
const QString Path = QStringLiteral("/com/tevrin/offline/update/daemon");

void print(const QByteArray &line)
{
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

class Printer : public QObject
{
    Q_OBJECT

public:
    bool finalSeen = false;
    bool replied = false;
    bool untilFinal = false;

public slots:
    void signalReceived(const QDBusMessage &message)
    {
        // (100, 1) or a negative code ends an upgrade.
        if (message.member() == QLatin1String("NotifyOfflineUpgradeProgress")
            && message.arguments().size() == 2
            && (message.arguments().at(0).toInt() == 100 || message.arguments().at(1).toInt() < 0))
            finalSeen = true;
        QJsonArray fields { message.member() };
        for (const QVariant &argument : message.arguments())
            fields.append(QJsonValue::fromVariant(argument));
        print("signal " + QJsonDocument(fields).toJson(QJsonDocument::Compact));
        if (finalSeen && replied && untilFinal)
            QCoreApplication::quit();
    }
};

QByteArray printed(const QVariant &value)
{
    switch (value.userType()) {
    case QMetaType::QString:
        return "   string \"" + value.toString().toUtf8() + '"';
    case QMetaType::Int:
        return "   int32 " + QByteArray::number(value.toInt());
    case QMetaType::UInt:
        return "   uint32 " + QByteArray::number(value.toUInt());
    case QMetaType::Bool:
        return value.toBool() ? "   boolean true" : "   boolean false";
    case QMetaType::QStringList: {
        QByteArray lines = "   array [";
        for (const QString &entry : value.toStringList())
            lines += "\n      string \"" + entry.toUtf8() + '"';
        return lines + "\n   ]";
    }
    default:
        return "   " + value.toString().toUtf8();
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    const bool untilFinal = arguments.value(0) == QLatin1String("--until-final");
    if (untilFinal)
        arguments.removeFirst();
    if (arguments.isEmpty()) {
        std::fprintf(stderr, "usage: tevrin-test-caller METHOD [STRING...] | --listen MS\n");
        return 2;
    }
    QDBusConnection bus = QDBusConnection::systemBus();
    Printer printer;
    printer.untilFinal = untilFinal;
    for (const char *name :
        { "NotifyOfflineFileCheckResult", "NotifyExecDistUpgradeInfo", "NotifyOfflineUpgradeProgress",
            "NotifyUpgradeStage" })
        bus.connect(Service, Path, Service, QLatin1String(name), &printer,
            SLOT(signalReceived(QDBusMessage)));
    if (arguments.first() == QLatin1String("--listen")) {
        // The match rules are in place once the bus has answered a call after them.
        bus.call(QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
            QStringLiteral("/org/freedesktop/DBus"), QStringLiteral("org.freedesktop.DBus.Peer"),
            QStringLiteral("Ping")));
        print("listening");
        QTimer::singleShot(arguments.value(1).toInt(), &app, &QCoreApplication::quit);
        return app.exec();
    }

    QString method = arguments.first();
    QString interface = Service;
    if (method.contains(QLatin1Char('.'))) {
        interface = method.section(QLatin1Char('.'), 0, -2);
        method = method.section(QLatin1Char('.'), -1);
    }
    QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, interface, method);
    for (const QString &argument : arguments.mid(1))
        call << argument;
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 600000), &app);
    int status = 0;
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, &app, [&] {
        const QDBusMessage reply = watcher->reply();
        if (reply.type() == QDBusMessage::ErrorMessage) {
            print("Error " + reply.errorName().toUtf8() + ": " + reply.errorMessage().toUtf8());
            status = 1;
        } else {
            print("method return sender=" + reply.service().toUtf8());
            for (const QVariant &value : reply.arguments())
                print(printed(value));
        }
        printer.replied = true;
        if (status != 0 || !untilFinal || printer.finalSeen)
            app.quit();
    });
    app.exec();
    return status;
}

#include "main.moc"
