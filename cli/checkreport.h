#pragma once

#include "checktable.h"
#include "upgradeplan.h"

#include <QJsonObject>
#include <QList>
#include <QString>

// Everything the service says about one check: the one result signal and what the getters
// answered after it.
struct CheckFacts
{
    int item = -1;
    bool result = false;
    int upgradeType = 0;
    QString patchSerial;
    int upgradable = 0;
    int signatureState = 0;
    QString signer;
    QString reasonKey;
    QString reasonDetail;
    OfflineUpdate::UpgradePlan plan; // read after a passed check only
};

// The check's outcome as rows, the same the tool's result table shows, and after a passed
// check what the upgrade will do, in words and as JSON.
class CheckReport
{
public:
    explicit CheckReport(const CheckFacts &facts);

    bool passed() const;
    const CheckFacts &facts() const { return m_facts; }
    QList<CheckTable::Row> rows() const;
    // For a failure of the package itself (items 0 to 2), which has no table: the reason, or
    // the tool's sentence where the service gives none. Empty otherwise.
    QString failureSentence() const;
    // Why it failed in the service's words when it says; empty when it passed or does not.
    QString reasonSentence() const;
    QString text() const;
    QJsonObject toJson() const;

private:
    // After a passed check: the summary, and by name what a user may lose or must know (the
    // removals, the replaced configuration files, what stays behind, the room needed).
    QString planText() const;

    CheckFacts m_facts;
};
