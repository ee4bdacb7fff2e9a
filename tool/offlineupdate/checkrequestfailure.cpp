#include "checkrequestfailure.h"

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
    default:
        break;
    }
    return reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage();
}
