#include "shutdowninhibitor.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDebug>

namespace {

const QString LoginService = QStringLiteral("org.freedesktop.login1");
const QString LoginPath = QStringLiteral("/org/freedesktop/login1");
const QString LoginManager = QStringLiteral("org.freedesktop.login1.Manager");

} // namespace

ShutdownInhibitor::ShutdownInhibitor(const QDBusConnection &bus, QObject *parent)
    : QObject(parent)
    , m_bus(bus)
{ }

ShutdownInhibitor::~ShutdownInhibitor()
{
    release();
}

void ShutdownInhibitor::take()
{
    m_wanted = true;
    if (m_pending || m_lock.isValid())
        return;
    if (!m_bus.isConnected()
        || !(m_bus.connectionCapabilities() & QDBusConnection::UnixFileDescriptorPassing)) {
        const QString why = QStringLiteral("the system bus cannot pass a descriptor");
        qWarning() << Q_FUNC_INFO << "shutdown is not held off during the upgrade:" << why;
        emit unavailable(why);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        LoginService, LoginPath, LoginManager, QStringLiteral("Inhibit"));
    // "block", not "delay": an upgrade cut off half-way leaves a system that may not boot, so
    // shutdown and sleep wait until it is over (root can still override the lock).
    call << QStringLiteral("shutdown:sleep") << QStringLiteral("Tevrin offline update")
         << QStringLiteral("A system upgrade is being installed") << QStringLiteral("block");
    m_pending = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(m_pending, &QDBusPendingCallWatcher::finished, this, &ShutdownInhibitor::onReply);
}

void ShutdownInhibitor::onReply(QDBusPendingCallWatcher *watcher)
{
    m_pending = nullptr;
    watcher->deleteLater();
    const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *watcher;
    if (reply.isError() || !reply.value().isValid()) {
        const QString why = reply.isError() ? reply.error().message()
                                            : QStringLiteral("the answer carried no descriptor");
        qWarning() << Q_FUNC_INFO << "shutdown is not held off during the upgrade:" << why;
        emit unavailable(why);
        return;
    }
    if (!m_wanted)
        return; // released while the call was on its way: the copy in the reply closes with it
    m_lock = reply.value();
    qInfo() << Q_FUNC_INFO << "shutdown and sleep are held off until the upgrade ends";
    emit taken();
}

void ShutdownInhibitor::release()
{
    m_wanted = false;
    if (!m_lock.isValid())
        return;
    // The lock ends when the last copy of the descriptor closes; this is the only one we keep.
    m_lock = QDBusUnixFileDescriptor();
    qInfo() << Q_FUNC_INFO << "shutdown and sleep are allowed again";
}

bool ShutdownInhibitor::isHeld() const
{
    return m_lock.isValid();
}
