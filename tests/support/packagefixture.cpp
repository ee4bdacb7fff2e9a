#include "packagefixture.h"

#include "childprocess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace {

// A failure without an |output| to take the reason is logged: dpkg refuses quietly otherwise,
// for instance while another program holds its lock.
bool runTool(const QStringList &command, QString *output = nullptr)
{
    QByteArray printed;
    const bool ok = ChildProcess::run(command, &printed) == 0;
    if (output)
        *output = QString::fromLocal8Bit(printed).trimmed();
    else if (!ok)
        qWarning("%s failed: %s", qPrintable(command.join(QLatin1Char(' '))), printed.constData());
    return ok;
}

bool writeFile(const QString &path, const QString &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content.toUtf8()) >= 0;
}

QString tool(const char *name)
{
    return qEnvironmentVariable("TEVRIN_SOURCE_DIR") + QStringLiteral("/tools/")
        + QLatin1String(name);
}

} // namespace

QString PackageFixture::manifest(int type, const QString &cveId, QString archs)
{
    // What a package maker building for this machine writes: dpkg's name for it.
    if (archs.isEmpty())
        runTool({ QStringLiteral("dpkg"), QStringLiteral("--print-architecture") }, &archs);
    return QStringLiteral(
        R"({"type": %1, "data": {"systemType": "desktop", "cveId": "%2", "archs": "%3"}})")
        .arg(type)
        .arg(cveId, archs);
}

bool PackageFixture::build(const Package &package, const QString &output, QString *error)
{
    QTemporaryDir work;
    QStringList command { tool("tevrin-oup-build"), QStringLiteral("build"),
        QStringLiteral("--manifest"), work.filePath(QStringLiteral("info.json")),
        QStringLiteral("--output"), output };
    bool written
        = writeFile(command.at(3), package.manifest.isEmpty() ? manifest() : package.manifest);
    const auto addHooks = [&](const QString &kind, const QMap<QString, QString> &scripts) {
        const QString directory = work.filePath(kind);
        written = written && QDir().mkpath(directory);
        for (auto it = scripts.cbegin(); it != scripts.cend(); ++it)
            written = written && writeFile(directory + QLatin1Char('/') + it.key(), it.value());
        command << QStringLiteral("--") + kind << directory;
    };
    addHooks(QStringLiteral("prehook"), package.preHooks);
    addHooks(QStringLiteral("posthook"), package.postHooks);
    if (!package.signKey.isEmpty())
        command << QStringLiteral("--sign-key") << package.signKey
                << QStringLiteral("--gpg-homedir") << package.gpgHome;
    if (!written) {
        *error = QStringLiteral("cannot write the package's inputs in ") + work.path();
        return false;
    }
    return runTool(command + package.debs, error);
}

QString PackageFixture::probeDeb(
    const QString &name, const QString &version, const QString &directory, const QString &postinst)
{
    QStringList command { tool("make-probe-deb") };
    if (!postinst.isEmpty())
        command << QStringLiteral("--postinst") << postinst;
    QString output;
    if (!runTool(command + QStringList { name, version, directory }, &output))
        return {};
    return output.split(QLatin1Char('\n')).last().trimmed();
}

QString PackageFixture::probeDebWith(const QString &name, const QString &version,
    const QString &directory, const QStringList &options)
{
    QString output;
    if (!runTool(QStringList { tool("make-probe-deb") } + options
                + QStringList { name, version, directory },
            &output))
        return {};
    return output.split(QLatin1Char('\n')).last().trimmed();
}

bool PackageFixture::probePair(const QString &name, const QString &directory, QString *oldDeb,
    QString *newDeb, const QString &postinst)
{
    *oldDeb = probeDeb(name, QStringLiteral("1.0"), directory + QStringLiteral("/v1"));
    *newDeb = probeDeb(name, QStringLiteral("2.0"), directory + QStringLiteral("/v2"), postinst);
    return !oldDeb->isEmpty() && !newDeb->isEmpty();
}

bool PackageFixture::makeSigner(
    const QString &gpgHome, const QString &signer, const QString &trustedKey)
{
    if (!QDir().mkpath(gpgHome)
        || !QFile::setPermissions(gpgHome, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
        return false;
    const QStringList gpg { QStringLiteral("gpg"), QStringLiteral("--homedir"), gpgHome,
        QStringLiteral("--batch") };
    QByteArray key;
    if (ChildProcess::run(gpg
            + QStringList { QStringLiteral("--passphrase"), QString(),
                QStringLiteral("--quick-gen-key"), signer, QStringLiteral("ed25519"),
                QStringLiteral("sign"), QStringLiteral("never") })
            != 0
        || ChildProcess::run(gpg + QStringList { QStringLiteral("--export"), signer }, &key) != 0
        || key.isEmpty())
        return false;
    QFile trusted(trustedKey);
    return QDir().mkpath(QFileInfo(trustedKey).path()) && trusted.open(QIODevice::WriteOnly)
        && trusted.write(key) == key.size();
}

bool PackageFixture::install(const QString &deb)
{
    return runTool({ QStringLiteral("dpkg"), QStringLiteral("--install"), deb });
}

void PackageFixture::purge(const QString &name)
{
    runTool({ QStringLiteral("dpkg"), QStringLiteral("--purge"), name });
}

QString PackageFixture::installedVersion(const QString &name)
{
    QString output;
    if (!runTool({ QStringLiteral("dpkg-query"), QStringLiteral("--show"),
                     QStringLiteral("--showformat=${Status} ${Version}"), name },
            &output)
        || !output.startsWith(QLatin1String("install ok installed ")))
        return {};
    return output.section(QLatin1Char(' '), 3);
}
