#include "devserviceregistration.h"
#include "devsessionmanager.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("tevrin-dev-sessionmanager"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Development stand-in for the desktop's session manager com.tevrin.SessionManager.\n"
        "Offers RequestReboot at /com/tevrin/SessionManager on the session bus (or the system\n"
        "bus). It never reboots: it prints \"RequestReboot\" for every request and appends the\n"
        "same line to the --record file. Prints \"ready\" once it owns its name."));
    const QCommandLineOption help(QStringList { QStringLiteral("h"), QStringLiteral("help") },
        QStringLiteral("Shows this help."));
    const QCommandLineOption system(
        QStringLiteral("system"), QStringLiteral("Serves on the system bus."));
    const QCommandLineOption record(QStringLiteral("record"),
        QStringLiteral("Appends one line \"RequestReboot\" per request to this file."),
        QStringLiteral("file"));
    parser.addOptions({ help, system, record });

    if (!parser.parse(app.arguments()) || !parser.positionalArguments().isEmpty()) {
        const QString reason = parser.errorText().isEmpty()
            ? QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first())
            : parser.errorText();
        std::fprintf(stderr, "tevrin-dev-sessionmanager: %s (see --help)\n", qPrintable(reason));
        return 2;
    }
    if (parser.isSet(help)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }

    DevSessionManager service(parser.value(record));
    QString error;
    if (!registerDevService(
            parser.isSet(system) ? QDBusConnection::systemBus() : QDBusConnection::sessionBus(),
            &service, DevSessionManager::ServiceName, DevSessionManager::ObjectPath, &error)) {
        std::fprintf(stderr, "tevrin-dev-sessionmanager: %s\n", qPrintable(error));
        return 1;
    }
    reportLine(QStringLiteral("ready"));
    return app.exec();
}
