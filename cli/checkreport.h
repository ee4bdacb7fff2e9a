#pragma once

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
};

// The check's outcome as rows, the same the tool's result table shows, in words and as JSON.
class CheckReport
{
public:
    struct Row
    {
        QString label;
        QString value;
        QString verdict; // "pass", "fail", "not-detected"; empty for an information row
    };

    explicit CheckReport(const CheckFacts &facts);

    bool passed() const;
    const CheckFacts &facts() const { return m_facts; }
    QList<Row> rows() const;
    // For a failure of the package itself (items 0 to 2), which has no table: the tool's
    // sentence. Empty otherwise.
    QString failureSentence() const;
    // Why it failed in the service's words when it says; empty when it passed or does not.
    QString reasonSentence() const;
    QString signatureText() const;
    QString text() const;
    QJsonObject toJson() const;

private:
    CheckFacts m_facts;
};
