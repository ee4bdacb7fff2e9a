#include "testbuses.h"

#include <QFile>

namespace {

const char DaemonPolicy[]
    = R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <policy context="default">
    <allow own="com.tevrin.offline.update.daemon"/>
    <allow send_destination="com.tevrin.offline.update.daemon"/>
  </policy>
</busconfig>
)";

const QString PolicyName = QStringLiteral("daemon-stand-in.conf");

} // namespace

TestBuses::TestBuses()
    : m_system(PrivateBus::System, { m_dir.filePath(PolicyName) })
    , m_session(PrivateBus::Session)
{ }

QString TestBuses::start()
{
    QFile policy(m_dir.filePath(PolicyName));
    if (!m_dir.isValid() || !policy.open(QIODevice::WriteOnly) || policy.write(DaemonPolicy) < 0)
        return QStringLiteral("cannot write the bus policy %1").arg(policy.fileName());
    policy.close();
    if (!m_system.start())
        return QStringLiteral("private system bus: ") + m_system.errorString();
    if (!m_session.start())
        return QStringLiteral("private session bus: ") + m_session.errorString();
    m_system.exportAddress();
    m_session.exportAddress();
    return QString();
}
