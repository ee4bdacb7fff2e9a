#include "historyentry.h"

#include <QJsonDocument>

HistoryEntry HistoryEntry::fromJson(const QString &text)
{
    HistoryEntry entry;
    entry.json = QJsonDocument::fromJson(text.toUtf8()).object();
    const QJsonObject &json = entry.json;
    entry.kind = json.value(QStringLiteral("kind")).toString();
    entry.id = json.value(QStringLiteral("id")).toString();
    entry.time = QDateTime::fromString(json.value(QStringLiteral("time")).toString(), Qt::ISODate);
    entry.uid = json.value(QStringLiteral("uid")).toInt(-1);
    entry.user = json.value(QStringLiteral("user")).toString();
    entry.package = json.value(QStringLiteral("package")).toString();
    entry.outcome = json.value(QStringLiteral("outcome")).toString();
    entry.reasonKey = json.value(QStringLiteral("reasonKey")).toString();
    entry.reasonDetail = json.value(QStringLiteral("reasonDetail")).toString();
    entry.item = json.value(QStringLiteral("item")).toInt(-1);
    entry.resumed = json.value(QStringLiteral("resumed")).toBool();
    return entry;
}
