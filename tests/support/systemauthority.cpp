#include "systemauthority.h"

#include <QDBusConnectionInterface>
#include <QDir>
#include <QFileInfo>
#include <QTest>

namespace {

const QString Program = QStringLiteral("/usr/lib/polkit-1/polkitd");
const QString Actions
    = QStringLiteral("/usr/share/polkit-1/actions/com.tevrin.offline.update.policy");
const QString Rules = QStringLiteral("/etc/polkit-1/rules.d/49-tevrin-offline-update-tests.rules");

} // namespace

SystemAuthority::SystemAuthority() = default;

SystemAuthority::~SystemAuthority()
{
    m_process.stop();
    if (m_wroteRules)
        QFile::remove(Rules);
    if (m_installedActions)
        QFile::remove(Actions);
}

bool SystemAuthority::isAvailable()
{
    return QFileInfo(Program).isExecutable() && QFileInfo::exists(busPolicyFile());
}

QString SystemAuthority::busPolicyFile()
{
    return QStringLiteral("/usr/share/dbus-1/system.d/org.freedesktop.PolicyKit1.conf");
}

bool SystemAuthority::start(const QDBusConnection &bus, QString *error)
{
    // An installed package's own copy is left as it is.
    if (!QFileInfo::exists(Actions)) {
        m_installedActions = QFile::copy(qEnvironmentVariable("TEVRIN_SOURCE_DIR")
                + QStringLiteral("/data/com.tevrin.offline.update.policy"),
            Actions);
        if (!m_installedActions) {
            *error = QStringLiteral("cannot install ") + Actions;
            return false;
        }
    }
    QFile rules(Rules);
    m_wroteRules = QDir().mkpath(QFileInfo(Rules).path()) && rules.open(QIODevice::WriteOnly);
    if (!m_wroteRules
        || rules.write(QByteArrayLiteral(R"(polkit.addRule(function(action, subject) {
    if (action.id.indexOf("com.tevrin.offline.update.") != 0)
        return polkit.Result.NOT_HANDLED;
    if (subject.user == ")")
               + DeniedUser + QByteArrayLiteral(R"(")
        return polkit.Result.NO;
    if (subject.user.indexOf("tevrint-") == 0)
        return polkit.Result.YES;
    return polkit.Result.NOT_HANDLED;
});
)")) < 0) {
        *error = QStringLiteral("cannot write ") + Rules;
        return false;
    }
    rules.close();

    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.start(Program, { QStringLiteral("--no-debug") });
    const auto registered = [&bus] {
        return bus.interface()
            ->isServiceRegistered(QStringLiteral("org.freedesktop.PolicyKit1"))
            .value();
    };
    (void)QTest::qWaitFor(
        [&] { return m_process.state() == QProcess::NotRunning || registered(); }, 20000);
    if (!registered())
        *error = QStringLiteral("the authority did not take its name");
    return registered();
}
