#include "privatebus.h"

#include <QFile>
#include <QFileInfo>

namespace {

// For a system bus, the machine's own policy cut down: nobody may own a name or call a method
// unless an included policy file allows it.
const char SystemPolicy[] = R"(<type>system</type>
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
)";
const char SessionPolicy[] = R"(<type>session</type>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
)";

} // namespace

PrivateBus::PrivateBus(Type type, const QStringList &policyFiles)
    : m_type(type)
    , m_policyFiles(policyFiles)
{ }

bool PrivateBus::start()
{
    const QString socketPath = m_dir.filePath(QStringLiteral("bus"));
    QString config = QStringLiteral("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus "
                                    "Configuration 1.0//EN\"\n \"http://www.freedesktop.org/"
                                    "standards/dbus/1.0/busconfig.dtd\">\n<busconfig>\n"
                                    "  <listen>unix:path=%1</listen>\n  <auth>EXTERNAL</auth>\n  ")
                         .arg(socketPath)
        + QLatin1String(m_type == System ? SystemPolicy : SessionPolicy);
    for (const QString &file : m_policyFiles)
        config += QStringLiteral("  <include ignore_missing=\"yes\">%1</include>\n")
                      .arg(QFileInfo(file).absoluteFilePath());
    config += QStringLiteral("</busconfig>\n");

    QFile configFile(m_dir.filePath(QStringLiteral("bus.conf")));
    // Other users' clients must reach the socket, as they reach the machine's system bus.
    if (!m_dir.isValid()
        || !QFile::setPermissions(m_dir.path(),
            QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther)
        || !configFile.open(QIODevice::WriteOnly) || configFile.write(config.toUtf8()) < 0) {
        m_error = QStringLiteral("cannot write the bus configuration in ") + m_dir.path();
        return false;
    }
    configFile.close();

    m_daemon.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_daemon.start(QStringLiteral("dbus-daemon"),
        { QStringLiteral("--config-file=") + configFile.fileName(), QStringLiteral("--nofork"),
            QStringLiteral("--print-address=1") });
    while (!m_daemon.canReadLine()) {
        if (!m_daemon.waitForReadyRead(10000)) {
            m_error = QStringLiteral("dbus-daemon printed no address: ") + m_daemon.errorString();
            return false;
        }
    }
    m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    return !m_address.isEmpty();
}

void PrivateBus::exportAddress() const
{
    qputenv(m_type == System ? "DBUS_SYSTEM_BUS_ADDRESS" : "DBUS_SESSION_BUS_ADDRESS",
        m_address.toUtf8());
}
