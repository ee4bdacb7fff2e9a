#include "logmanager.h"
#include "writedbusdata.h"

#include <QCoreApplication>
#include <QDBusConnection>

int main(int argc, char *argv[])
{
    Karvo::LogManager::setlogFilePath(QStringLiteral("/var/log/tevrin-offline-update-daemon.log"));
    QCoreApplication app(argc, argv);
    app.setOrganizationName(QStringLiteral("tevrin"));
    app.setApplicationName(QStringLiteral("tevrin-offline-update-daemon"));
    Karvo::LogManager::registerConsoleAppender();
    Karvo::LogManager::registerFileAppender();

    WriteDBusData service(QDBusConnection::systemBus());
    // Another daemon already serves the bus (or this one may not): nothing to do here.
    if (!service.isRegistered())
        return 0;
    return app.exec();
}
