#include "daemonfixture.h"

#include "daemoninterface.h"
#include "testuser.h"

#include <QDBusConnectionInterface>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTest>
#include <sys/stat.h>

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
const QString Answers = QStringLiteral("/run/tevrin-tests-authority");

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
              source(QStringLiteral("/tools/devlogind/org.freedesktop.login1.conf")),
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
    QDir(Answers).removeRecursively();
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
    if (subject.user.indexOf("tevrint-") != 0)
        return polkit.Result.NOT_HANDLED;
    var answer = "";
    try {
        answer = polkit.spawn(["/bin/cat", "/run/tevrin-tests-authority/" + subject.user]);
    } catch (error) {
    }
    if (answer.indexOf("deny") == 0)
        return polkit.Result.NO;
    if (answer.indexOf("unsigned-deny") == 0
        && action.id == "com.tevrin.offline.update.check-unsigned")
        return polkit.Result.NO;
    if (answer.indexOf("slow") == 0)
        polkit.spawn(["/bin/sh", "-c", "touch /run/tevrin-tests-authority/asking; sleep 3; rm -f /run/tevrin-tests-authority/asking"]);
    return polkit.Result.YES;
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
    // A test may have started the bus first, to put its own services there.
    if (m_connectionName.isEmpty() && !startBus(error))
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

void DaemonFixture::settle()
{
    m_daemon->GetUpgradeType().waitForFinished();
    QCoreApplication::processEvents();
}

int DaemonFixture::check(const TestUser *user, const QString &file)
{
    QString output;
    if (call(user, QStringLiteral("StartOfflineFileCheck"), { user->home(), file }, &output) != 0)
        return 100;
    // The result was sent to the caller before the reply.
    const QList<QVariantList> results
        = signalsIn(output, QStringLiteral("NotifyOfflineFileCheckResult"));
    if (results.count() != 1)
        return 100 + results.count();
    const int item = results.first().at(0).toInt();
    return results.first().at(1).toBool() ? -item : item;
}

QList<QVariantList> DaemonFixture::signalsIn(const QString &output, const QString &name)
{
    QList<QVariantList> found;
    for (const QString &line : output.split(QLatin1Char('\n'))) {
        if (!line.startsWith(QLatin1String("signal ")))
            continue;
        QVariantList fields
            = QJsonDocument::fromJson(line.mid(7).toUtf8()).array().toVariantList();
        if (fields.isEmpty() || (!name.isEmpty() && fields.first().toString() != name))
            continue;
        if (name.isEmpty())
            found << fields;
        else
            found << fields.mid(1);
    }
    return found;
}

void DaemonFixture::followSignals(
    QProcess *call, QObject *context, const std::function<void(const QVariantList &)> &receive)
{
    QObject::connect(call, &QProcess::readyRead, context, [call, receive] {
        while (call->canReadLine()) {
            const QString line = QString::fromUtf8(call->readLine());
            const QList<QVariantList> found = signalsIn(line);
            if (found.isEmpty())
                receive({ QStringLiteral("#"), line.trimmed() });
            for (const QVariantList &signal : found)
                receive(signal);
        }
    });
}

QString DaemonFixture::callerProgram()
{
    return qEnvironmentVariable("TEVRIN_BINARY_DIR")
        + QStringLiteral("/tests/support/tevrin-test-caller");
}

qint64 DaemonFixture::getterAnswerTime()
{
    QElapsedTimer clock;
    clock.start();
    QList<QDBusPendingCall> calls { m_daemon->GetUpgradeType(), m_daemon->GetPatchUpgradeSerial(),
        m_daemon->GetDistUpgradeSum(), m_daemon->IsAllowBackupSystem() };
    for (QDBusPendingCall &call : calls) {
        call.waitForFinished();
        if (call.isError())
            return -1;
    }
    return clock.elapsed();
}

void DaemonFixture::setAnswer(const QString &user, Answer answer)
{
    // The authority may run its rules as a user of its own, which must be able to mark a
    // question as open.
    QDir().mkpath(Answers);
    chmod(QFile::encodeName(Answers).constData(), 01777);
    const QString file = Answers + QLatin1Char('/') + user;
    if (answer == Allow)
        QFile::remove(file);
    else
        writeFile(file,
            answer == Deny               ? "deny\n"
                : answer == DenyUnsigned ? "unsigned-deny\n"
                                         : "slow\n");
}

std::unique_ptr<ChildProcess> DaemonFixture::startCall(
    const TestUser *user, const QString &method, const QStringList &arguments)
{
    QStringList command { callerProgram(), method };
    command += arguments;
    if (user)
        command = user->command(command);

    auto client = std::make_unique<ChildProcess>();
    client->setProcessChannelMode(QProcess::MergedChannels);
    client->start(command.first(), command.mid(1));
    return client;
}

int DaemonFixture::call(
    const TestUser *user, const QString &method, const QStringList &arguments, QString *output)
{
    const std::unique_ptr<ChildProcess> client = startCall(user, method, arguments);
    (void)QTest::qWaitFor([&client] { return client->state() == QProcess::NotRunning; }, 600000);
    QCoreApplication::processEvents();
    if (output)
        *output = QString::fromLocal8Bit(client->readAll());
    return client->error() == QProcess::FailedToStart
            || client->exitStatus() != QProcess::NormalExit
        ? -1
        : client->exitCode();
}
