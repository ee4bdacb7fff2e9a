#include "progressline.h"

#include "offlineupdateprotocol.h"
#include "upgradestagetext.h"

#include <QRegularExpression>
#include <QStringList>

ProgressLine::ProgressLine(int expectedPackages)
    : m_expected(expectedPackages)
{ }

void ProgressLine::setProgress(int progress, int code)
{
    m_progress.setProgress(progress, code);
}

void ProgressLine::setStage(const QString &stage, int done, int total, const QString &package)
{
    m_progress.setStage(stage, done, total, package);
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
    m_namedPackage = package;
    m_aptSeen = true;
    if (line.trimmed().startsWith(QLatin1String("Setting up ")))
        ++m_setUp;
}

bool ProgressLine::guessedUpgrading() const
{
    return !m_progress.followsStages() && m_aptSeen && !m_progress.failed()
        && !m_progress.finished();
}

QString ProgressLine::currentPackage() const
{
    if (m_progress.followsStages())
        return m_progress.package();
    return guessedUpgrading() ? m_namedPackage : QString();
}

int ProgressLine::percent() const
{
    if (!guessedUpgrading() || m_expected <= 0)
        return m_progress.percent();
    const int base = qMax(m_progress.percent(), int(OfflineUpdate::BackupStage));
    const int span = OfflineUpdate::LastUpgradeStage - base;
    return qMin(int(OfflineUpdate::LastUpgradeStage), base + span * m_setUp / m_expected);
}

QString ProgressLine::words() const
{
    if (guessedUpgrading())
        return UpgradeStageText::forStage(OfflineUpdate::UpgradeStage::Upgrade, 0, 0, QString());
    return m_progress.text();
}

QString ProgressLine::text() const
{
    if (m_progress.failed())
        return words();
    QString text = QStringLiteral("%1  %2%").arg(words()).arg(percent(), 3);
    if (guessedUpgrading())
        text += QStringLiteral("  ") + m_namedPackage;
    return text;
}

QString ProgressLine::packageNamedIn(const QString &line)
{
    // dpkg's own lines, which apt passes on: "Unpacking name (2.0) over (1.0) ...",
    // "Setting up name:amd64 (2.0) ...", "Removing name (1.0) ...".
    static const QRegularExpression action(
        QStringLiteral("^(?:Unpacking|Setting up|Removing) ([a-z0-9][a-z0-9+.-]+)(?::\\S+)? \\("));
    const QRegularExpressionMatch match = action.match(line.trimmed());
    return match.hasMatch() ? match.captured(1) : QString();
}
