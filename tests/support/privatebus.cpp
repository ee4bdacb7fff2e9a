#include "privatebus.h"

#include "childprocess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

namespace {

QString systemConfig(const QString &socketPath, const QStringList &policyFiles)
{
    // The machine's own system bus policy, cut down: nobody may own a name or call a method
    // unless an included policy file allows it.
    QString config = QStringLiteral(R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=%1</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <deny own="*"/>
    <deny send_type="method_call"/>
    <allow send_type="signal"/>
    <allow send_requested_reply="true" send_type="method_return"/>
    <allow send_requested_reply="true" send_type="error"/>
    <allow receive_type="method_call"/>
    <allow receive_type="method_return"/>
    <allow receive_type="error"/>
    <allow receive_type="signal"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus.Introspectable"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus.Properties"/>
  </policy>
)")
                             .arg(socketPath);
    for (const QString &file : policyFiles)
        config += QStringLiteral("  <include>%1</include>\n").arg(QFileInfo(file).absoluteFilePath());
    config += QStringLiteral("</busconfig>\n");
    return config;
}

QString sessionConfig(const QString &socketPath)
{
    return QStringLiteral(R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=%1</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)")
        .arg(socketPath);
}

} // namespace

PrivateBus::PrivateBus(Type type, const QStringList &policyFiles)
    : m_type(type)
    , m_policyFiles(policyFiles)
{
}

PrivateBus::~PrivateBus()
{
    if (m_daemon) {
        m_daemon->terminate();
        if (!m_daemon->waitForFinished(5000))
            m_daemon->kill();
        m_daemon->waitForFinished(5000);
        delete m_daemon;
    }
}

bool PrivateBus::start()
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("cannot make a temporary directory: ") + m_dir.errorString();
        return false;
    }
    // Other users' clients must reach the socket, as they reach the machine's system bus.
    QFile::setPermissions(m_dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                            | QFileDevice::ExeOwner | QFileDevice::ReadGroup
                                            | QFileDevice::ExeGroup | QFileDevice::ReadOther
                                            | QFileDevice::ExeOther);
    const QString socketPath = m_dir.filePath(QStringLiteral("bus"));
    const QString configPath = m_dir.filePath(QStringLiteral("bus.conf"));
    QFile config(configPath);
    if (!config.open(QIODevice::WriteOnly)) {
        m_error = QStringLiteral("cannot write %1").arg(configPath);
        return false;
    }
    config.write((m_type == System ? systemConfig(socketPath, m_policyFiles)
                                   : sessionConfig(socketPath))
                     .toUtf8());
    config.close();

    m_daemon = new ChildProcess;
    m_daemon->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_daemon->start(QStringLiteral("dbus-daemon"),
                    {QStringLiteral("--config-file=") + configPath, QStringLiteral("--nofork"),
                     QStringLiteral("--print-address=1")});
    if (!m_daemon->waitForStarted(10000)) {
        m_error = QStringLiteral("cannot start dbus-daemon: ") + m_daemon->errorString();
        return false;
    }
    while (!m_daemon->canReadLine()) {
        if (!m_daemon->waitForReadyRead(10000)) {
            m_error = QStringLiteral("dbus-daemon printed no address");
            return false;
        }
    }
    m_address = QString::fromUtf8(m_daemon->readLine()).trimmed();
    return !m_address.isEmpty();
}

void PrivateBus::exportAddress() const
{
    qputenv(m_type == System ? "DBUS_SYSTEM_BUS_ADDRESS" : "DBUS_SESSION_BUS_ADDRESS",
            m_address.toUtf8());
}
