#include "devserviceregistration.h"

#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <cstdio>

bool registerDevService(QDBusConnection connection, QObject *object, const QString &service,
    const QString &path, QString *error)
{
    if (!connection.isConnected()) {
        *error
            = QStringLiteral("not connected to the bus: %1").arg(connection.lastError().message());
        return false;
    }
    if (!connection.registerObject(path, object, QDBusConnection::ExportAdaptors)) {
        *error = QStringLiteral("cannot export %1: %2").arg(path, connection.lastError().message());
        return false;
    }
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply
        = connection.interface()->registerService(service);
    if (!reply.isValid()) {
        *error = QStringLiteral("cannot own the name %1: %2").arg(service, reply.error().message());
        return false;
    }
    if (reply.value() != QDBusConnectionInterface::ServiceRegistered) {
        *error = QStringLiteral("cannot own the name %1: another program owns it").arg(service);
        return false;
    }
    return true;
}

void reportLine(const QString &line)
{
    std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}
