#include "schemafixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

bool SchemaFixture::compile(QString *error)
{
    if (!m_dir.isValid()) {
        *error = QStringLiteral("cannot make a temporary directory: ") + m_dir.errorString();
        return false;
    }
    if (!QDir(m_dir.path()).mkpath(QStringLiteral("schemas"))
        || !QDir(m_dir.path()).mkpath(QStringLiteral("empty"))) {
        *error = QStringLiteral("cannot make directories in ") + m_dir.path();
        return false;
    }
    const QString source = QStringLiteral(TOOL_SCHEMA_FILE);
    const QString copy = QDir(schemaDir()).filePath(QFileInfo(source).fileName());
    if (!QFile::copy(source, copy)) {
        *error = QStringLiteral("cannot copy %1 to %2").arg(source, copy);
        return false;
    }
    QProcess compiler;
    compiler.setProcessChannelMode(QProcess::MergedChannels);
    compiler.start(
        QStringLiteral("glib-compile-schemas"), { QStringLiteral("--strict"), schemaDir() });
    if (!compiler.waitForFinished(30000) || compiler.exitStatus() != QProcess::NormalExit
        || compiler.exitCode() != 0) {
        *error = QStringLiteral("glib-compile-schemas failed (%1): %2")
                     .arg(compiler.errorString(), QString::fromLocal8Bit(compiler.readAll()));
        return false;
    }
    return true;
}

QString SchemaFixture::schemaDir() const
{
    return QDir(m_dir.path()).filePath(QStringLiteral("schemas"));
}

QString SchemaFixture::emptyDataDir() const
{
    return QDir(m_dir.path()).filePath(QStringLiteral("empty"));
}
