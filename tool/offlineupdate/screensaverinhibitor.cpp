#include "screensaverinhibitor.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDebug>

namespace {

const QString Service = QStringLiteral("org.freedesktop.ScreenSaver");
const QString Path = QStringLiteral("/org/freedesktop/ScreenSaver");

QDBusMessage screenSaverCall(const QString &method, const QVariantList &arguments)
{
    QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Service, method);
    call.setArguments(arguments);
    return call;
}

} // namespace

ScreenSaverInhibitor::ScreenSaverInhibitor(const QDBusConnection &sessionBus, QObject *parent)
    : QObject(parent)
    , m_bus(sessionBus)
{ }

ScreenSaverInhibitor::~ScreenSaverInhibitor()
{
    // An inhibition also ends when this process leaves the bus; a cookie still out then is
    // simply dropped with the connection.
    if (m_held)
        uninhibit();
}

void ScreenSaverInhibitor::inhibit(const QString &reason)
{
    m_wanted = true;
    if (m_held || m_pending)
        return;
    m_pending = true;
    auto *watcher
        = new QDBusPendingCallWatcher(m_bus.asyncCall(screenSaverCall(QStringLiteral("Inhibit"),
                                          { QCoreApplication::applicationName(), reason })),
            this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
        [this](QDBusPendingCallWatcher *finished) {
            finished->deleteLater();
            m_pending = false;
            const QDBusMessage reply = finished->reply();
            if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
                qInfo() << "ScreenSaverInhibitor: no screen saver service:" << reply.errorMessage();
                if (m_wanted)
                    emit unavailable();
                return;
            }
            m_cookie = reply.arguments().constFirst().toUInt();
            m_held = true;
            if (!m_wanted)
                uninhibit();
        });
}

void ScreenSaverInhibitor::release()
{
    m_wanted = false;
    if (m_held)
        uninhibit();
}

void ScreenSaverInhibitor::uninhibit()
{
    m_held = false;
    m_bus.send(screenSaverCall(QStringLiteral("UnInhibit"), { m_cookie }));
}
