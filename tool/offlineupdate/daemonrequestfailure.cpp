#include "daemonrequestfailure.h"

#include <QCoreApplication>
#include <QDBusError>
#include <QDBusMessage>
#include <QString>

QString daemonRequestFailure(const QDBusMessage &reply, const QString &deniedReason)
{
    if (reply.type() != QDBusMessage::ErrorMessage)
        return QString();

    switch (QDBusError(reply).type()) {
    case QDBusError::NoReply:
    case QDBusError::Timeout:
    case QDBusError::TimedOut:
        return QString();
    case QDBusError::AccessDenied:
        // The daemon refuses a caller that no administrator authorized; the bus refuses in the
        // same words when its policy does.
        return deniedReason;
    case QDBusError::ServiceUnknown:
        return QCoreApplication::translate(
            "OfflineUpdateModel", "the offline update service is not installed or not running");
    default:
        break;
    }
    return reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage();
}
