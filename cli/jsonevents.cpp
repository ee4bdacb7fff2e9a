#include "jsonevents.h"

#include "checkreport.h"
#include "daemonstatustext.h"
#include "historyentry.h"
#include "servicestatus.h"
#include "upgradestagetext.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

JsonEvents::JsonEvents(FILE *stream)
    : m_stream(stream)
{ }

void JsonEvents::write(const QString &event, QJsonObject object)
{
    object.insert(QStringLiteral("event"), event);
    const QByteArray line = QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
    fwrite(line.constData(), 1, size_t(line.size()), m_stream);
    fflush(m_stream);
}

void JsonEvents::checkReport(const CheckReport &report)
{
    write(QStringLiteral("check"), report.toJson());
}

void JsonEvents::upgradeStarted(int expectedPackages)
{
    write(QStringLiteral("upgrade-started"),
        { { QStringLiteral("expectedPackages"), expectedPackages } });
}

void JsonEvents::upgradeProgress(int progress, int code)
{
    write(QStringLiteral("progress"),
        { { QStringLiteral("progress"), progress }, { QStringLiteral("code"), code },
            { QStringLiteral("stage"), UpgradeStageText::forProgress(progress, code) } });
}

void JsonEvents::upgradeStage(const QString &stage, int done, int total, const QString &package)
{
    write(QStringLiteral("stage"),
        { { QStringLiteral("stage"), stage }, { QStringLiteral("done"), done },
            { QStringLiteral("total"), total }, { QStringLiteral("package"), package },
            { QStringLiteral("text"), UpgradeStageText::forStage(stage, done, total, package) } });
}

void JsonEvents::upgradeOutput(const QString &text)
{
    QJsonObject object { { QStringLiteral("text"), text } };
    const QString status = DaemonStatusText::translated(text);
    if (!status.isEmpty())
        object.insert(QStringLiteral("message"), status);
    write(QStringLiteral("output"), object);
}

void JsonEvents::notice(const QString &text)
{
    write(QStringLiteral("notice"), { { QStringLiteral("text"), text } });
}

void JsonEvents::serviceStatus(const ServiceStatus &status)
{
    write(QStringLiteral("status"), status.toJson());
}

void JsonEvents::history(const QList<HistoryEntry> &entries)
{
    QJsonArray array;
    for (const HistoryEntry &entry : entries)
        array.append(entry.json);
    const QByteArray text = QJsonDocument(array).toJson(QJsonDocument::Compact) + '\n';
    fwrite(text.constData(), 1, size_t(text.size()), m_stream);
    fflush(m_stream);
    m_complete = true;
}

void JsonEvents::result(const QString &command, const Outcome &outcome)
{
    // The history is one array that a file or a fleet tool takes as it stands; a result line
    // after it would make it something else.
    if (m_complete && outcome.exitStatus == 0)
        return;
    QJsonObject object = outcome.details;
    object.insert(QStringLiteral("command"), command);
    object.insert(QStringLiteral("outcome"), outcome.name);
    object.insert(QStringLiteral("exitStatus"), outcome.exitStatus);
    object.insert(QStringLiteral("message"), outcome.message);
    write(QStringLiteral("result"), object);
}
