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

QString policyPath(const QTemporaryDir &dir)
{
    return dir.filePath(QStringLiteral("daemon-stand-in.conf"));
}

} // namespace

TestBuses::TestBuses()
    : m_system(PrivateBus::System, { policyPath(m_dir) })
    , m_session(PrivateBus::Session)
{ }

bool TestBuses::start(QString *error)
{
    QFile policy(policyPath(m_dir));
    if (!m_dir.isValid() || !policy.open(QIODevice::WriteOnly) || policy.write(DaemonPolicy) < 0) {
        *error = QStringLiteral("cannot write the bus policy %1").arg(policy.fileName());
        return false;
    }
    policy.close();
    if (!m_system.start()) {
        *error = QStringLiteral("private system bus: ") + m_system.errorString();
        return false;
    }
    if (!m_session.start()) {
        *error = QStringLiteral("private session bus: ") + m_session.errorString();
        return false;
    }
    m_system.exportAddress();
    m_session.exportAddress();
    return true;
}
