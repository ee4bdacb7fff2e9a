// Reads a package manifest the way the daemon does and prints that reading as one JSON object,
// for the package builder: exit status 0 when the daemon reads the manifest as JSON, 1 when it
// would fall back to an empty manifest, 2 when the file cannot be read at all. Hints about
// values the daemon reads differently from what a maker probably meant go to standard error,
// one per line, starting with "warning: ".

#include "packagemanifest.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QStringList>

#include <cstdio>

namespace {

QStringList hints(const PackageManifest &manifest, const QJsonDocument &document)
{
    QStringList hints;
    const QJsonObject top = document.object();
    const QJsonValue type = top.value(QLatin1String("type"));
    if (!document.isObject())
        hints << QStringLiteral("the top level is not a JSON object: it is read as empty, a "
                                "system update for no architecture");
    else if (type.isUndefined())
        hints << QStringLiteral("no \"type\": the package counts as a system update");
    else if (manifest.type == 0 && !(type.isDouble() && type.toDouble() == 0))
        hints << QStringLiteral("\"type\" is not a whole number: the package counts as a "
                                "system update");
    if (document.isObject() && !top.value(QLatin1String("data")).isObject())
        hints << QStringLiteral("no \"data\" object: system type, CVE id and architecture are "
                                "read as empty");
    if (manifest.systemType.isEmpty())
        hints << QStringLiteral("\"data.systemType\" is not a non-empty string: it is read as "
                                "empty");
    if (manifest.archs.isEmpty())
        hints << QStringLiteral("\"data.archs\" is not a non-empty string: it is read as empty, "
                                "and the daemon refuses the package on every machine");
    if (manifest.isPatch() && manifest.cveId.isEmpty())
        hints << QStringLiteral("a security patch package (type 2) without a \"data.cveId\" "
                                "string");
    return hints;
}

void print(FILE *stream, const QString &text)
{
    std::fputs(text.toUtf8().constData(), stream);
    std::fputc('\n', stream);
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 2 || argv[1][0] == '-') {
        std::fputs("Usage: tevrin-oup-manifestcheck FILE\n", stderr);
        return 2;
    }
    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::ReadOnly)) {
        print(stderr, QStringLiteral("error: cannot read it: ") + file.errorString());
        return 2;
    }
    const QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        print(stderr, QStringLiteral("error: cannot read it: ") + file.errorString());
        return 2;
    }

    const PackageManifest manifest = PackageManifest::parse(content);
    // Parsed a second time only to echo the document and word the hints; what the daemon does
    // with the package comes from the reading above alone.
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(content, &error);

    QJsonObject reading;
    reading.insert(QLatin1String("type"), manifest.type);
    reading.insert(QLatin1String("upgradeType"), manifest.isPatch() ? 2 : 1);
    reading.insert(QLatin1String("systemType"), manifest.systemType);
    reading.insert(QLatin1String("cveId"), manifest.cveId);
    reading.insert(QLatin1String("archs"), manifest.archs);
    QJsonObject result;
    result.insert(QLatin1String("valid"), manifest.validJson);
    result.insert(QLatin1String("reading"), reading);
    if (document.isObject())
        result.insert(QLatin1String("document"), document.object());
    else if (document.isArray())
        result.insert(QLatin1String("document"), document.array());
    else
        result.insert(QLatin1String("document"), QJsonValue::Null);
    std::fputs(QJsonDocument(result).toJson(QJsonDocument::Compact).constData(), stdout);
    std::fputc('\n', stdout);

    if (!manifest.validJson) {
        print(stderr,
            QStringLiteral("error: not valid JSON (%1 at byte %2): the daemon reads it as an "
                           "empty manifest")
                .arg(error.errorString())
                .arg(error.offset));
        return 1;
    }
    for (const QString &hint : hints(manifest, document))
        print(stderr, QStringLiteral("warning: ") + hint);
    return 0;
}
