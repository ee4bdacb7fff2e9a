#include "checkreport.h"

#include "offlineupdateprotocol.h"
#include "reasontext.h"

#include <QJsonArray>

namespace {

const QString Pass = QStringLiteral("pass");
const QString Fail = QStringLiteral("fail");
const QString NotDetected = QStringLiteral("not-detected");

// The verdicts of the version, architecture, space and count rows. The service names an item
// only when it failed (or the last one), so every item before it passed and every one after it
// never ran; an item it should not name must not read as a pass.
QStringList verdictsFor(int item, bool result)
{
    using namespace OfflineUpdate;
    switch (item) {
    case SystemVersionItem:
        return { Fail, NotDetected, NotDetected, NotDetected };
    case ArchitectureItem:
        return { Pass, Fail, NotDetected, NotDetected };
    case BackupSpaceItem:
        return { Pass, Pass, Fail, NotDetected };
    case UpgradableItem:
        return { Pass, Pass, Pass, result ? Pass : Fail };
    default:
        return { NotDetected, NotDetected, NotDetected, NotDetected };
    }
}

QString verdictWord(const QString &verdict)
{
    return verdict == Pass ? QStringLiteral("Pass")
        : verdict == Fail  ? QStringLiteral("Fail")
                           : QStringLiteral("Not Detected");
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
    return m_facts.item == OfflineUpdate::LastCheckItem && m_facts.result;
}

QString CheckReport::failureSentence() const
{
    using namespace OfflineUpdate;
    if (m_facts.result || m_facts.item < PackageFileItem || m_facts.item > PreHookItem)
        return {};
    // The service's own reason says more than the tool's sentence, which for the first item
    // blames the disk even for a file that is not there.
    const QString reason = reasonSentence();
    if (!reason.isEmpty())
        return reason;
    switch (m_facts.item) {
    case PackageFileItem:
        return QStringLiteral("Insufficient disk space, please clean up disk space and try again!");
    case PackageLayoutItem:
        return QStringLiteral("File corrupted, please check and try again!");
    default:
        return QStringLiteral("System environment is abnormal, contact the administrator!");
    }
}

QString CheckReport::reasonSentence() const
{
    if (passed() || m_facts.reasonKey.isEmpty())
        return {};
    return ReasonText::sentence(m_facts.reasonKey, m_facts.reasonDetail);
}

QString CheckReport::signatureText() const
{
    switch (m_facts.signatureState) {
    case OfflineUpdate::Unsigned:
        return QStringLiteral("Unsigned");
    case OfflineUpdate::SignatureVerified:
        return QStringLiteral("Verified, signed by %1").arg(m_facts.signer);
    case OfflineUpdate::SignatureRejected:
        return m_facts.signer.isEmpty() ? QStringLiteral("Rejected")
                                        : QStringLiteral("Rejected: %1").arg(m_facts.signer);
    default:
        return QStringLiteral("Not checked");
    }
}

QList<CheckReport::Row> CheckReport::rows() const
{
    QList<Row> rows;
    if (m_facts.upgradeType == OfflineUpdate::PatchUpgrade) {
        rows.append({ QStringLiteral("Upgrade Type"), QStringLiteral("CVE Patch Update"), {} });
        rows.append({ QStringLiteral("Vulnerability ID"), m_facts.patchSerial, {} });
    } else {
        rows.append({ QStringLiteral("Upgrade Type"), QStringLiteral("System Update"), {} });
    }
    const QStringList verdicts = verdictsFor(m_facts.item, m_facts.result);
    const QStringList labels { QStringLiteral("System Version Detection"),
        QStringLiteral("Offline Package Architecture Detection"),
        QStringLiteral("Disk Space Detection"),
        QStringLiteral("Offline Package Update Number Detection") };
    for (int i = 0; i < labels.size(); ++i)
        rows.append({ labels.at(i), verdictWord(verdicts.at(i)), verdicts.at(i) });
    Row &count = rows.last();
    if (count.verdict == Pass)
        count.value = QStringLiteral("%1 item(s)").arg(m_facts.upgradable);
    else if (count.verdict == Fail)
        count.value = QStringLiteral("No available update package");
    rows.append({ QStringLiteral("Signature"), signatureText(), {} });
    return rows;
}

QString CheckReport::text() const
{
    const QString failure = failureSentence();
    if (!failure.isEmpty())
        return failure + QLatin1Char('\n');
    QString text;
    const QList<Row> table = rows();
    int width = 0;
    for (const Row &row : table)
        width = qMax(width, row.label.size());
    for (const Row &row : table)
        text += (row.label + QLatin1Char(':')).leftJustified(width + 2) + row.value
            + QLatin1Char('\n');
    const QString reason = reasonSentence();
    if (!reason.isEmpty())
        text += QStringLiteral("Reason: ") + reason + QLatin1Char('\n');
    return text;
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
        for (const Row &row : rows()) {
            if (!row.verdict.isEmpty())
                items.append(QJsonObject { { QStringLiteral("name"), row.label },
                    { QStringLiteral("verdict"), row.verdict } });
        }
        object.insert(QStringLiteral("items"), items);
    }
    if (!m_facts.reasonKey.isEmpty() && !passed())
        object.insert(QStringLiteral("reason"),
            QJsonObject { { QStringLiteral("key"), m_facts.reasonKey },
                { QStringLiteral("detail"), m_facts.reasonDetail },
                { QStringLiteral("text"), reasonSentence() } });
    return object;
}
