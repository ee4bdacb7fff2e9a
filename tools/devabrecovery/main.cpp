#include "devabrecovery.h"
#include "devabrecoveryoptions.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <cstdio>

namespace {

void printError(const QString &message)
{
    std::fprintf(stderr, "tevrin-dev-abrecovery: %s\n", qPrintable(message));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("tevrin-dev-abrecovery"));

    DevABRecoveryOptions options;
    QString message;
    switch (DevABRecoveryOptions::parse(app.arguments(), &options, &message)) {
    case DevABRecoveryOptions::ParseResult::Help:
        std::fputs(qPrintable(message), stdout);
        return 0;
    case DevABRecoveryOptions::ParseResult::Error:
        printError(message + QStringLiteral(" (see --help)"));
        return 2;
    case DevABRecoveryOptions::ParseResult::Run:
        break;
    }

    QDBusConnection connection
        = options.sessionBus ? QDBusConnection::sessionBus() : QDBusConnection::systemBus();
    if (!connection.isConnected()) {
        printError(
            QStringLiteral("cannot connect to the %1 bus: %2")
                .arg(options.sessionBus ? QStringLiteral("session") : QStringLiteral("system"),
                    connection.lastError().message()));
        return 1;
    }
    DevABRecovery service(options);
    QString error;
    if (!service.registerOn(connection, &error)) {
        printError(error);
        return 1;
    }
    service.start();
    return app.exec();
}
