#include "runhistory.h"

#include "statedirectory.h"

#include <QDateTime>
#include <QJsonDocument>

namespace {

constexpr qint64 FileLimit = 64 * 1024 * 1024;

QList<QByteArray> lines(int stateFd)
{
    QByteArray content;
    if (!StateDirectory::readFile(stateFd, RunHistory::FileName, FileLimit, &content))
        return {};
    QList<QByteArray> lines;
    for (const QByteArray &line : content.split('\n')) {
        if (!line.trimmed().isEmpty())
            lines << line;
    }
    return lines;
}

} // namespace

bool RunHistory::append(const CheckEnvironment &environment, QJsonObject entry, QString *error)
{
    const FileDescriptor state = StateDirectory::open(environment, error);
    if (!state.isValid())
        return false;
    if (!entry.contains(QStringLiteral("time")))
        entry.insert(QStringLiteral("time"),
            QDateTime::currentDateTimeUtc().toString(Qt::ISODate));
    QList<QByteArray> kept = lines(state.get());
    kept << QJsonDocument(entry).toJson(QJsonDocument::Compact);
    while (kept.size() > Limit)
        kept.removeFirst();
    QByteArray content;
    for (const QByteArray &line : kept)
        content += line + '\n';
    return StateDirectory::replaceFile(state.get(), FileName, content, error);
}

bool RunHistory::contains(const CheckEnvironment &environment, const QString &id)
{
    if (id.isEmpty())
        return false;
    QString error;
    const FileDescriptor state = StateDirectory::open(environment, &error);
    if (!state.isValid())
        return false;
    for (const QByteArray &line : lines(state.get())) {
        if (QJsonDocument::fromJson(line).object().value(QStringLiteral("id")).toString() == id)
            return true;
    }
    return false;
}

QStringList RunHistory::entries(const CheckEnvironment &environment, bool all, uid_t uid)
{
    QString error;
    const FileDescriptor state = StateDirectory::open(environment, &error);
    if (!state.isValid())
        return {};
    QStringList entries;
    for (const QByteArray &line : lines(state.get())) {
        const QJsonObject entry = QJsonDocument::fromJson(line).object();
        if (entry.isEmpty())
            continue;
        if (all || uid_t(entry.value(QStringLiteral("uid")).toDouble(-1)) == uid)
            entries << QString::fromUtf8(line);
    }
    return entries;
}
