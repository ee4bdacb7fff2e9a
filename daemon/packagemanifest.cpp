#include "packagemanifest.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

PackageManifest PackageManifest::parse(const QByteArray &json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    const QJsonObject top = document.object();
    const QJsonObject data = top.value(QLatin1String("data")).toObject();

    PackageManifest manifest;
    manifest.validJson = error.error == QJsonParseError::NoError;
    manifest.type = top.value(QLatin1String("type")).toInt(0);
    manifest.systemType = data.value(QLatin1String("systemType")).toString();
    manifest.cveId = data.value(QLatin1String("cveId")).toString();
    manifest.archs = data.value(QLatin1String("archs")).toString();
    return manifest;
}
