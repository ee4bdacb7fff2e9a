#include "daemonrequestfailure.h"

#include "offlineupdateprotocol.h"

#include <QCoreApplication>
#include <QDBusError>
#include <QDBusMessage>

namespace {

QString translated(const char *text)
{
    return QCoreApplication::translate("OfflineUpdateModel", text);
}

} // namespace

UserMessage daemonRequestFailure(const QDBusMessage &reply, const QString &deniedReason)
{
    if (reply.type() != QDBusMessage::ErrorMessage)
        return {};

    // The daemon's and the bus's own words name methods and programs: they are details.
    const QString details = reply.errorMessage().isEmpty()
        ? reply.errorName()
        : reply.errorName() + QLatin1String(": ") + reply.errorMessage();
    if (reply.errorName() == OfflineUpdate::BusyError)
        return { translated(QT_TRANSLATE_NOOP("OfflineUpdateModel", "The offline update service is busy with another check or upgrade. "
                            "Try again when it has finished.")),
            details };
    switch (QDBusError(reply).type()) {
    case QDBusError::NoReply:
    case QDBusError::Timeout:
    case QDBusError::TimedOut:
        return {};
    case QDBusError::AccessDenied:
        // The daemon refuses a caller that no administrator authorized; the bus refuses in the
        // same words when its policy does.
        return { deniedReason, details };
    case QDBusError::ServiceUnknown:
        return { translated(QT_TRANSLATE_NOOP("OfflineUpdateModel", "The offline update service is not installed or not running. Ask "
                            "your administrator to install or start it.")),
            details };
    default:
        break;
    }
    return { translated(QT_TRANSLATE_NOOP("OfflineUpdateModel", "The offline update service did not accept the request. Try again; if "
                        "it fails again, ask your administrator.")),
        details };
}
