#include "daemonfixture.h"

#include "daemoninterface.h"
#include "testuser.h"

#include <QDBusConnectionInterface>
#include <QDir>
#include <QFileInfo>
#include <QTest>

namespace {

const QString ServiceName = QStringLiteral("com.tevrin.offline.update.daemon");
const QString ObjectPath = QStringLiteral("/com/tevrin/offline/update/daemon");
const QString SourceList = QStringLiteral("/etc/tevrin-offline-update/update.list");
const QString AuthorityProgram = QStringLiteral("/usr/lib/polkit-1/polkitd");
const QString AuthorityPolicy
    = QStringLiteral("/usr/share/dbus-1/system.d/org.freedesktop.PolicyKit1.conf");
const QString Actions
    = QStringLiteral("/usr/share/polkit-1/actions/com.tevrin.offline.update.policy");
const QString Rules = QStringLiteral("/etc/polkit-1/rules.d/49-tevrin-offline-update-tests.rules");

QString source(const QString &path)
{
    return qEnvironmentVariable("TEVRIN_SOURCE_DIR") + path;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly)
        && file.write(content) == content.size();
}

bool waitForName(const QDBusConnection &bus, const QString &name, const QProcess &owner)
{
    const auto registered = [&] { return bus.interface()->isServiceRegistered(name).value(); };
    (void)QTest::qWaitFor(
        [&] { return owner.state() == QProcess::NotRunning || registered(); }, 20000);
    return registered();
}

} // namespace

DaemonFixture::DaemonFixture(Authority authority)
    : m_authorityMode(authority)
    , m_hadSourceList(QFileInfo::exists(SourceList))
    , m_savedSourceList(readFile(SourceList))
    , m_bus(PrivateBus::System,
          { source(QStringLiteral("/data/com.tevrin.offline.update.daemon.conf")),
              source(QStringLiteral("/tools/devabrecovery/com.tevrin.ABRecovery.conf")),
              AuthorityPolicy })
{
    if (!writeFile(SourceList, readFile(source(QStringLiteral("/data/update.list")))))
        qWarning("cannot write %s", qPrintable(SourceList));
}

DaemonFixture::~DaemonFixture()
{
    m_daemon.reset();
    if (!m_connectionName.isEmpty())
        QDBusConnection::disconnectFromBus(m_connectionName);
    m_process.stop();
    m_authority.stop();
    QFile::remove(Rules);
    if (m_installedActions)
        QFile::remove(Actions);
    if (m_hadSourceList)
        writeFile(SourceList, m_savedSourceList);
    else
        QFile::remove(SourceList);
}

bool DaemonFixture::authorityAvailable()
{
    return QFileInfo(AuthorityProgram).isExecutable() && QFileInfo::exists(AuthorityPolicy);
}

QString DaemonFixture::daemonProgram()
{
    return qEnvironmentVariable("TEVRIN_BINARY_DIR")
        + QStringLiteral("/daemon/tevrin-offline-update-daemon");
}

QByteArray DaemonFixture::sourceList() const
{
    return readFile(SourceList);
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
    return m_authorityMode == WithoutAuthority || startAuthority(error);
}

bool DaemonFixture::startAuthority(QString *error)
{
    if (!authorityAvailable()) {
        *error = QStringLiteral("the machine's authority daemon (polkitd) is not installed");
        return false;
    }
    // An installed package's own copy is left as it is.
    if (!QFileInfo::exists(Actions)) {
        m_installedActions = QFile::copy(
            source(QStringLiteral("/data/com.tevrin.offline.update.policy")), Actions);
        if (!m_installedActions) {
            *error = QStringLiteral("cannot install ") + Actions;
            return false;
        }
    }
    if (!writeFile(Rules,
            QByteArrayLiteral(R"(polkit.addRule(function(action, subject) {
    if (action.id.indexOf("com.tevrin.offline.update.") != 0)
        return polkit.Result.NOT_HANDLED;
    if (subject.user == ")")
                + DeniedUser + QByteArrayLiteral(R"(")
        return polkit.Result.NO;
    if (subject.user.indexOf("tevrint-") == 0)
        return polkit.Result.YES;
    return polkit.Result.NOT_HANDLED;
});
)"))) {
        *error = QStringLiteral("cannot write ") + Rules;
        return false;
    }
    m_authority.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_authority.setStandardOutputFile(QProcess::nullDevice());
    m_authority.start(AuthorityProgram, { QStringLiteral("--no-debug") });
    if (waitForName(connection(), QStringLiteral("org.freedesktop.PolicyKit1"), m_authority))
        return true;
    *error = QStringLiteral("the authority did not take its name");
    return false;
}

bool DaemonFixture::start(QString *error)
{
    if (!startBus(error))
        return false;
    m_process.start(daemonProgram(), {});
    if (!waitForName(connection(), ServiceName, m_process)) {
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
    (void)QTest::qWaitFor([&client] { return client.state() == QProcess::NotRunning; }, 600000);
    QCoreApplication::processEvents();
    if (output)
        *output = QString::fromLocal8Bit(client.readAll());
    return client.error() == QProcess::FailedToStart || client.exitStatus() != QProcess::NormalExit
        ? -1
        : client.exitCode();
}
