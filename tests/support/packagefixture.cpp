#include "packagefixture.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace {

bool runTool(const QString &program, const QStringList &arguments, QString *output)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    const bool ok = process.waitForFinished(300000) && process.exitStatus() == QProcess::NormalExit
                    && process.exitCode() == 0;
    if (output)
        *output = QString::fromLocal8Bit(process.readAll()).trimmed();
    return ok;
}

bool writeScripts(const QString &directory, const QMap<QString, QString> &scripts)
{
    if (!QDir().mkpath(directory))
        return false;
    for (auto it = scripts.cbegin(); it != scripts.cend(); ++it) {
        QFile file(directory + QLatin1Char('/') + it.key());
        if (!file.open(QIODevice::WriteOnly))
            return false;
        file.write(it.value().toUtf8());
    }
    return true;
}

} // namespace

QString PackageFixture::toolsDirectory()
{
    return qEnvironmentVariable("TEVRIN_SOURCE_DIR") + QStringLiteral("/tools");
}

bool PackageFixture::build(const Package &package, const QString &output, QString *error)
{
    QTemporaryDir work;
    const QString manifest = work.filePath(QStringLiteral("info.json"));
    QFile file(manifest);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = QStringLiteral("cannot write ") + manifest;
        return false;
    }
    file.write(package.manifest.toUtf8());
    file.close();

    QStringList arguments { QStringLiteral("build"), QStringLiteral("--manifest"), manifest,
                            QStringLiteral("--output"), output };
    if (package.withHooks) {
        const QString pre = work.filePath(QStringLiteral("prehook"));
        const QString post = work.filePath(QStringLiteral("posthook"));
        if (!writeScripts(pre, package.preHooks) || !writeScripts(post, package.postHooks)) {
            *error = QStringLiteral("cannot write the hook scripts");
            return false;
        }
        arguments << QStringLiteral("--prehook") << pre << QStringLiteral("--posthook") << post;
    } else {
        arguments << QStringLiteral("--no-hooks");
    }
    arguments << package.debs;
    return runTool(toolsDirectory() + QStringLiteral("/tevrin-oup-build"), arguments, error);
}

QString PackageFixture::probeDeb(const QString &name, const QString &version,
                                 const QString &directory)
{
    QString output;
    if (!runTool(toolsDirectory() + QStringLiteral("/make-probe-deb"), { name, version, directory },
                 &output))
        return {};
    return output.split(QLatin1Char('\n')).last().trimmed();
}

void PackageFixture::unmountCache(const QString &home)
{
    const QString cache = home + QStringLiteral("/.cache/tevrin-offline-update/");
    for (const char *mount : { "repo", "hooks", "oup" }) {
        QProcess umount;
        umount.start(QStringLiteral("umount"), { cache + QLatin1String(mount) });
        umount.waitForFinished();
    }
}

bool PackageFixture::install(const QString &deb)
{
    return runTool(QStringLiteral("dpkg"), { QStringLiteral("--install"), deb }, nullptr);
}

void PackageFixture::purge(const QString &name)
{
    runTool(QStringLiteral("dpkg"), { QStringLiteral("--purge"), name }, nullptr);
}

QString PackageFixture::installedVersion(const QString &name)
{
    QString output;
    if (!runTool(QStringLiteral("dpkg-query"),
                 { QStringLiteral("--show"), QStringLiteral("--showformat=${Status} ${Version}"),
                   name },
                 &output)
        || !output.startsWith(QLatin1String("install ok installed ")))
        return {};
    return output.section(QLatin1Char(' '), 3);
}
