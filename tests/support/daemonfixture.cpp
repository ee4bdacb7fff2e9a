#include "daemonfixture.h"

#include "daemoninterface.h"
#include "testuser.h"

#include <QDBusConnectionInterface>
#include <QTest>

namespace {

const QString ServiceName = QStringLiteral("com.tevrin.offline.update.daemon");
const QString ObjectPath = QStringLiteral("/com/tevrin/offline/update/daemon");

QStringList policyFiles()
{
    const QString source = qEnvironmentVariable("TEVRIN_SOURCE_DIR");
    QStringList files { source + QStringLiteral("/data/com.tevrin.offline.update.daemon.conf"),
        source + QStringLiteral("/tools/devabrecovery/com.tevrin.ABRecovery.conf") };
    if (SystemAuthority::isAvailable())
        files << SystemAuthority::busPolicyFile();
    return files;
}

} // namespace

DaemonFixture::DaemonFixture(Authority authority)
    : m_authorityMode(authority)
    , m_bus(PrivateBus::System, policyFiles())
{ }

DaemonFixture::~DaemonFixture()
{
    m_daemon.reset();
    if (!m_connectionName.isEmpty())
        QDBusConnection::disconnectFromBus(m_connectionName);
    m_process.stop();
}

QString DaemonFixture::daemonProgram()
{
    return qEnvironmentVariable("TEVRIN_BINARY_DIR")
        + QStringLiteral("/daemon/tevrin-offline-update-daemon");
}

bool DaemonFixture::startBus(QString *error)
{
    if (!m_bus.start()) {
        *error = m_bus.errorString();
        return false;
    }
    m_bus.exportAddress();
    static int fixtures = 0;
    m_connectionName = QStringLiteral("daemonfixture-%1").arg(++fixtures);
    if (!QDBusConnection::connectToBus(m_bus.address(), m_connectionName).isConnected()) {
        *error = QStringLiteral("cannot connect to the private system bus");
        return false;
    }
    if (m_authorityMode == WithoutAuthority)
        return true;
    if (!SystemAuthority::isAvailable()) {
        *error = QStringLiteral("the machine's authority daemon (polkitd) is not installed");
        return false;
    }
    return m_authority.start(connection(), error);
}

bool DaemonFixture::start(QString *error)
{
    if (!startBus(error))
        return false;
    m_process.start(daemonProgram(), {});
    const auto registered
        = [this] { return connection().interface()->isServiceRegistered(ServiceName).value(); };
    (void)QTest::qWaitFor(
        [&] { return m_process.state() == QProcess::NotRunning || registered(); }, 20000);
    if (!registered()) {
        *error = QStringLiteral("the daemon did not take its name: ") + m_process.errorString()
            + log();
        return false;
    }
    m_daemon = std::make_unique<ComTevrinOfflineUpdateDaemonInterface>(
        ServiceName, ObjectPath, connection());
    return true;
}

QString DaemonFixture::log()
{
    m_log += QString::fromLocal8Bit(m_process.readAllStandardError());
    return m_log;
}

int DaemonFixture::call(
    const TestUser *user, const QString &method, const QStringList &arguments, QString *output)
{
    QStringList command { QStringLiteral("dbus-send"), QStringLiteral("--system"),
        QStringLiteral("--print-reply"), QStringLiteral("--reply-timeout=600000"),
        QStringLiteral("--dest=") + ServiceName, ObjectPath,
        method.contains(QLatin1Char('.')) ? method : ServiceName + QLatin1Char('.') + method };
    for (const QString &argument : arguments)
        command << QStringLiteral("string:") + argument;
    if (user)
        command = user->command(command);

    QProcess client;
    client.setProcessChannelMode(QProcess::MergedChannels);
    client.start(command.first(), command.mid(1));
    // Signals from the daemon reach the test's connection while the call runs.
    (void)QTest::qWaitFor([&client] { return client.state() == QProcess::NotRunning; }, 600000);
    QCoreApplication::processEvents();
    if (output)
        *output = QString::fromLocal8Bit(client.readAll());
    return client.error() == QProcess::FailedToStart || client.exitStatus() != QProcess::NormalExit
        ? -1
        : client.exitCode();
}
