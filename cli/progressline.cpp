#include "progressline.h"

#include "offlineupdateprotocol.h"

#include <QRegularExpression>
#include <QStringList>

ProgressLine::ProgressLine(int expectedPackages)
    : m_expected(expectedPackages)
{ }

void ProgressLine::setProgress(int progress, int code)
{
    m_progress = progress;
    m_code = code;
    if (progress >= OfflineUpdate::BackupEndStage)
        m_upgrading = progress < OfflineUpdate::DoneStage && code > 0;
}

void ProgressLine::addOutput(const QString &chunk)
{
    const QStringList lines = (m_partialLine + chunk).split(QLatin1Char('\n'));
    m_partialLine = lines.last();
    for (int i = 0; i < lines.size() - 1; ++i)
        addLine(lines.at(i));
}

void ProgressLine::addLine(const QString &line)
{
    const QString package = packageNamedIn(line);
    if (package.isEmpty())
        return;
    m_package = package;
    // Without a backup the service goes from its first pair straight to apt; apt naming a
    // package is the sign that the upgrade itself runs.
    if (m_code > 0 && m_progress < OfflineUpdate::DoneStage)
        m_upgrading = true;
    if (line.startsWith(QLatin1String("Setting up ")))
        ++m_setUp;
}

int ProgressLine::percent() const
{
    if (!m_upgrading || m_expected <= 0)
        return m_progress;
    const int base = qMax(m_progress, int(OfflineUpdate::BackupStage));
    const int span = OfflineUpdate::LastUpgradeStage - base;
    return qMin(int(OfflineUpdate::LastUpgradeStage), base + span * m_setUp / m_expected);
}

QString ProgressLine::text() const
{
    QString text = QStringLiteral("%1  %2%")
                       .arg(m_upgrading ? QStringLiteral("Upgrading the system")
                                        : stageText(m_progress, m_code))
                       .arg(percent(), 3);
    if (!m_package.isEmpty() && m_upgrading)
        text += QStringLiteral("  ") + m_package;
    return text;
}

QString ProgressLine::stageText(int progress, int code)
{
    using namespace OfflineUpdate;
    if (code == BackupFailed)
        return progress == BackupStage ? QStringLiteral("The backup could not be started")
                                       : QStringLiteral("The backup failed");
    if (code < 0)
        return QStringLiteral("The upgrade failed");
    switch (progress) {
    case 0:
        return QStringLiteral("Starting");
    case BackupStage:
        return QStringLiteral("Backing up the system");
    case BackupEndStage:
        return QStringLiteral("Backup done, upgrading the system");
    case DoneStage:
        return QStringLiteral("Upgrade finished");
    default:
        return QStringLiteral("Upgrading the system");
    }
}

QString ProgressLine::packageNamedIn(const QString &line)
{
    // dpkg's own lines, which apt passes on: "Unpacking name (2.0) over (1.0) ...",
    // "Setting up name:amd64 (2.0) ...", "Preparing to unpack .../name_2.0_all.deb ...".
    static const QRegularExpression action(
        QStringLiteral("^(?:Unpacking|Setting up|Removing|Processing triggers for) "
                       "([a-z0-9][a-z0-9+.-]+)(?::\\S+)? \\("));
    static const QRegularExpression archive(
        QStringLiteral("^Preparing to unpack (?:\\S*/)?([a-z0-9][a-z0-9+.-]+)_\\S+\\.deb"));
    const QString trimmed = line.trimmed();
    QRegularExpressionMatch match = action.match(trimmed);
    if (!match.hasMatch())
        match = archive.match(trimmed);
    return match.hasMatch() ? match.captured(1) : QString();
}
