#include "jsonevents.h"

#include "checkreport.h"
#include "progressline.h"
#include "servicestatus.h"

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
            { QStringLiteral("stage"), ProgressLine::stageText(progress, code) } });
}

void JsonEvents::upgradeOutput(const QString &text)
{
    write(QStringLiteral("output"), { { QStringLiteral("text"), text } });
}

void JsonEvents::notice(const QString &text)
{
    write(QStringLiteral("notice"), { { QStringLiteral("text"), text } });
}

void JsonEvents::serviceStatus(const ServiceStatus &status)
{
    write(QStringLiteral("status"), status.toJson());
}

void JsonEvents::result(const QString &command, const Outcome &outcome)
{
    QJsonObject object = outcome.details;
    object.insert(QStringLiteral("command"), command);
    object.insert(QStringLiteral("outcome"), outcome.name);
    object.insert(QStringLiteral("exitStatus"), outcome.exitStatus);
    object.insert(QStringLiteral("message"), outcome.message);
    write(QStringLiteral("result"), object);
}
