#include "checkreport.h"

#include "checkfailuretext.h"
#include "offlineupdateprotocol.h"
#include "upgradeplantext.h"

#include <QJsonArray>

namespace {

QString verdictName(CheckTable::Verdict verdict)
{
    switch (verdict) {
    case CheckTable::Passed:
        return QStringLiteral("pass");
    case CheckTable::Failed:
        return QStringLiteral("fail");
    default:
        return QStringLiteral("not-detected");
    }
}

QString signatureStateName(int state)
{
    switch (state) {
    case OfflineUpdate::Unsigned:
        return QStringLiteral("unsigned");
    case OfflineUpdate::SignatureVerified:
        return QStringLiteral("verified");
    case OfflineUpdate::SignatureRejected:
        return QStringLiteral("rejected");
    default:
        return QStringLiteral("unknown");
    }
}

} // namespace

CheckReport::CheckReport(const CheckFacts &facts)
    : m_facts(facts)
{ }

bool CheckReport::passed() const
{
    return CheckTable::passed(m_facts.item, m_facts.result);
}

QString CheckReport::failureSentence() const
{
    using namespace OfflineUpdate;
    if (m_facts.result || m_facts.item < PackageFileItem || m_facts.item > PreHookItem)
        return {};
    // The service's own reason says more than the item's sentence, which for the first item
    // blames the disk even for a file that is not there.
    const QString reason = reasonSentence();
    return reason.isEmpty() ? CheckFailureText::forItem(m_facts.item) : reason;
}

QString CheckReport::reasonSentence() const
{
    if (passed())
        return {};
    return CheckFailureText::forReason(m_facts.reasonKey, m_facts.reasonDetail).inOneLine();
}

QList<CheckTable::Row> CheckReport::rows() const
{
    return CheckTable::rows({ m_facts.item, m_facts.result, m_facts.upgradeType,
        m_facts.patchSerial, m_facts.upgradable, m_facts.signatureState, m_facts.signer });
}

QString CheckReport::planText() const
{
    const OfflineUpdate::UpgradePlan &plan = m_facts.plan;
    if (!passed() || plan.isEmpty())
        return {};
    QString text = QStringLiteral("Plan: ") + UpgradePlanText::summary(plan) + QLatin1Char('\n');
    // The upgraded and new packages can be hundreds; the JSON output has them all.
    const QList<UpgradePlanText::Part> shown { UpgradePlanText::Removed, UpgradePlanText::KeptBack,
        UpgradePlanText::Interrupted, UpgradePlanText::ReplacedConfigFiles,
        UpgradePlanText::Space };
    for (const UpgradePlanText::Section &section : UpgradePlanText::sections(plan)) {
        if (!shown.contains(section.part))
            continue;
        text += section.title + QStringLiteral(":\n");
        for (const QString &line : section.lines)
            text += QStringLiteral("  ") + line + QLatin1Char('\n');
        if (section.part == UpgradePlanText::ReplacedConfigFiles)
            text += QStringLiteral("  ") + UpgradePlanText::replacedFilesNote(plan)
                + QLatin1Char('\n');
    }
    return text;
}

QString CheckReport::text() const
{
    const QString failure = failureSentence();
    if (!failure.isEmpty())
        return failure + QLatin1Char('\n');
    QString text;
    const QList<CheckTable::Row> table = rows();
    int width = 0;
    for (const CheckTable::Row &row : table)
        width = qMax(width, row.label.size());
    for (const CheckTable::Row &row : table)
        text += (row.label + QLatin1Char(':')).leftJustified(width + 2) + row.value
            + QLatin1Char('\n');
    const QString reason = reasonSentence();
    if (!reason.isEmpty())
        text += QStringLiteral("Reason: ") + reason + QLatin1Char('\n');
    return text + planText();
}

QJsonObject CheckReport::toJson() const
{
    QJsonObject object { { QStringLiteral("item"), m_facts.item },
        { QStringLiteral("passed"), passed() },
        { QStringLiteral("upgradeType"),
            m_facts.upgradeType == OfflineUpdate::PatchUpgrade ? QStringLiteral("patch")
                                                               : QStringLiteral("system") },
        { QStringLiteral("upgradable"), m_facts.upgradable },
        { QStringLiteral("signature"),
            QJsonObject { { QStringLiteral("state"), signatureStateName(m_facts.signatureState) },
                { QStringLiteral("signer"), m_facts.signer } } } };
    if (m_facts.upgradeType == OfflineUpdate::PatchUpgrade)
        object.insert(QStringLiteral("vulnerabilityId"), m_facts.patchSerial);
    const QString failure = failureSentence();
    if (!failure.isEmpty()) {
        object.insert(QStringLiteral("failure"), failure);
    } else {
        QJsonArray items;
        for (const CheckTable::Row &row : rows()) {
            if (row.checkItem)
                items.append(QJsonObject { { QStringLiteral("name"), row.name },
                    { QStringLiteral("verdict"), verdictName(row.verdict) } });
        }
        object.insert(QStringLiteral("items"), items);
    }
    if (!m_facts.reasonKey.isEmpty() && !passed())
        object.insert(QStringLiteral("reason"),
            QJsonObject { { QStringLiteral("key"), m_facts.reasonKey },
                { QStringLiteral("detail"), m_facts.reasonDetail },
                { QStringLiteral("text"), reasonSentence() } });
    if (passed())
        object.insert(QStringLiteral("plan"), m_facts.plan.toJson());
    return object;
}
