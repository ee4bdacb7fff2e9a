#include "devlogind.h"

#include "loginmanageradaptor.h"
#include "recordline.h"

#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QDateTime>
#include <QSocketNotifier>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

const QString DevLogind::ServiceName = QStringLiteral("org.freedesktop.login1");
const QString DevLogind::ObjectPath = QStringLiteral("/org/freedesktop/login1");

DevLogind::DevLogind(const QString &recordPath, QObject *parent)
    : QObject(parent)
    , m_record(recordPath)
{
    new LoginManagerAdaptor(this);
}

DevLogind::~DevLogind()
{
    for (QSocketNotifier *notifier : qAsConst(m_locks))
        ::close(int(notifier->socket()));
}

bool DevLogind::open(QString *error)
{
    if (m_record.fileName().isEmpty() || m_record.open(QIODevice::Append | QIODevice::Text))
        return true;
    *error = QStringLiteral("cannot open %1: %2").arg(m_record.fileName(), m_record.errorString());
    return false;
}

bool DevLogind::registerOn(QDBusConnection connection, QString *error)
{
    if (!connection.registerObject(ObjectPath, this)) {
        *error = QStringLiteral("cannot export %1: %2")
                     .arg(ObjectPath, connection.lastError().message());
        return false;
    }
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply
        = connection.interface()->registerService(ServiceName);
    if (!reply.isValid() || reply.value() != QDBusConnectionInterface::ServiceRegistered) {
        *error = QStringLiteral("cannot own the name %1: %2")
                     .arg(ServiceName,
                         reply.isValid() ? QStringLiteral("another program owns it")
                                         : reply.error().message());
        return false;
    }
    record(QStringLiteral("ready"));
    return true;
}

QDBusUnixFileDescriptor DevLogind::Inhibit(
    const QString &what, const QString &who, const QString &why, const QString &mode)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        sendErrorReply(QDBusError::Failed, QStringLiteral("cannot make a pipe"));
        return {};
    }
    const int id = m_nextId++;
    auto *notifier = new QSocketNotifier(fds[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this, id] { onLockReadable(id); });
    m_locks.insert(id, notifier);
    record(QStringLiteral("taken %1 %2 %3 %4 %5 %6")
               .arg(id)
               .arg(quotedForRecord(what), quotedForRecord(who), quotedForRecord(why),
                   quotedForRecord(mode), caller()));
    // The reply carries its own duplicate; once it has left, the holder's copy is the only
    // write end, and its closing is what the read end reports.
    const QDBusUnixFileDescriptor lock(fds[1]);
    ::close(fds[1]);
    return lock;
}

void DevLogind::Reboot(bool interactive)
{
    record(QStringLiteral("reboot %1 %2")
               .arg(interactive ? QStringLiteral("interactive") : QStringLiteral("non-interactive"),
                   caller()));
}

void DevLogind::onLockReadable(int id)
{
    QSocketNotifier *notifier = m_locks.value(id);
    if (!notifier)
        return;
    const int fd = int(notifier->socket());
    char buffer[256];
    ssize_t count;
    while ((count = ::read(fd, buffer, sizeof buffer)) > 0) { } // a holder that writes: ignored
    if (count != 0)
        return; // nothing more to read yet, the lock is still held
    m_locks.remove(id);
    notifier->deleteLater();
    ::close(fd);
    record(QStringLiteral("closed %1").arg(id));
}

QString DevLogind::caller() const
{
    if (!calledFromDBus())
        return QStringLiteral("uid=?");
    const QDBusReply<uint> uid = connection().interface()->serviceUid(message().service());
    return uid.isValid() ? QStringLiteral("uid=%1").arg(uid.value()) : QStringLiteral("uid=?");
}

void DevLogind::record(const QString &line)
{
    const QByteArray text
        = (QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs) + QLatin1Char(' ') + line)
              .toUtf8()
        + '\n';
    // Flushed at once: whoever follows the record is waiting for this very line.
    std::fputs(text.constData(), stdout);
    std::fflush(stdout);
    if (m_record.isOpen()) {
        m_record.write(text);
        m_record.flush();
    }
}
