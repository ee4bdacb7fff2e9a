#include "checktable.h"

#include "offlineupdateprotocol.h"

namespace {

using namespace OfflineUpdate;

CheckTable::Row row(
    const char *label, const QString &value, CheckTable::Verdict verdict, bool checkItem = false)
{
    return { QString::fromLatin1(label), QCoreApplication::translate("CheckTable", label), value,
        verdict, checkItem };
}

} // namespace

bool CheckTable::passed(int item, bool result)
{
    return item == LastCheckItem && result;
}

// The daemon names an item only when it failed, or the last one: every item before it passed
// and every one after it never ran. An item it should not name must not read as a pass that
// unlocks the upgrade.
QList<CheckTable::Verdict> CheckTable::verdictsFor(int item, bool result)
{
    switch (item) {
    case SystemVersionItem:
        return { Failed, NotDetected, NotDetected, NotDetected };
    case ArchitectureItem:
        return { Passed, Failed, NotDetected, NotDetected };
    case BackupSpaceItem:
        return { Passed, Passed, Failed, NotDetected };
    case UpgradableItem:
        return { Passed, Passed, Passed, result ? Passed : Failed };
    default:
        return { NotDetected, NotDetected, NotDetected, NotDetected };
    }
}

QString CheckTable::verdictText(Verdict verdict)
{
    switch (verdict) {
    case Passed:
        return tr("Pass");
    case Failed:
        return tr("Fail");
    default:
        return tr("Not Detected");
    }
}

CheckTable::Row CheckTable::signatureRow(const Facts &facts)
{
    const char *label = QT_TR_NOOP("Package Signature");
    switch (facts.signatureState) {
    case SignatureVerified:
        return row(label, tr("Verified: %1").arg(facts.signer), Passed);
    case Unsigned:
        return row(label, tr("Unsigned"), Information);
    case SignatureRejected:
        return row(label,
            facts.signer.isEmpty() ? tr("Verification failed")
                                   : tr("Verification failed: %1").arg(facts.signer),
            Failed);
    default:
        // The daemon did not say (nothing checked, or it predates signatures): claiming
        // "Unsigned" would state what nobody looked at.
        return row(label, tr("Not checked"), NotDetected);
    }
}

QList<CheckTable::Row> CheckTable::rows(const Facts &facts)
{
    QList<Row> rows;
    if (facts.upgradeType == PatchUpgrade) {
        rows.append(row(QT_TR_NOOP("Upgrade Type"), tr("CVE Patch Update"), Information));
        rows.append(row(QT_TR_NOOP("Vulnerability ID"), facts.patchSerial, Information));
    } else {
        rows.append(row(QT_TR_NOOP("Upgrade Type"), tr("System Update"), Information));
    }
    rows.append(signatureRow(facts));

    const QList<Verdict> verdicts = verdictsFor(facts.item, facts.result);
    const char *const labels[] = { QT_TR_NOOP("System Version Detection"),
        QT_TR_NOOP("Offline Package Architecture Detection"), QT_TR_NOOP("Disk Space Detection"),
        QT_TR_NOOP("Offline Package Update Number Detection") };
    for (int i = 0; i < verdicts.size(); ++i)
        rows.append(row(labels[i], verdictText(verdicts.at(i)), verdicts.at(i), true));
    Row &count = rows.last();
    if (count.verdict == Passed)
        count.value = tr("%1 item(s)").arg(facts.upgradable);
    else if (count.verdict == Failed)
        count.value = tr("No available update package");
    return rows;
}
