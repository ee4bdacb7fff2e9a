#include "checkrequestfailure.h"

#include <QCoreApplication>
#include <QDBusError>
#include <QDBusMessage>
#include <QString>

QString checkRequestFailure(const QDBusMessage &reply)
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
        return QCoreApplication::translate(
            "OfflineUpdateModel",
            "checking update packages needs an administrator's authorization, which was not given");
    case QDBusError::ServiceUnknown:
        return QCoreApplication::translate(
            "OfflineUpdateModel", "the offline update service is not installed or not running");
    default:
        break;
    }
    return reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage();
}
