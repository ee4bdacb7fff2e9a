#pragma once

#include <QCoreApplication>
#include <QList>
#include <QString>

// The rows both clients show for a check the package got as far as the table for: the upgrade
// type, the vulnerability of a patch, the signature and the verdicts of the four check items.
class CheckTable
{
    Q_DECLARE_TR_FUNCTIONS(CheckTable)

public:
    // The tool keeps these numbers in its table's model: they never change.
    enum Verdict { Information = -1, NotDetected = 0, Failed = 1, Passed = 2 };

    // What the daemon said about one check.
    struct Facts
    {
        int item = -1; // the check item the report named
        bool result = false;
        int upgradeType = 0;
        QString patchSerial;
        int upgradable = 0;
        int signatureState = 0;
        QString signer; // the signer, or why the signature was rejected
    };

    struct Row
    {
        QString name; // in English whatever the language, for programs that read it
        QString label; // in the reader's language
        QString value;
        Verdict verdict;
        bool checkItem; // one of the four check items, not information about the package
    };

    // Whether every item passed, so that the upgrade may follow.
    static bool passed(int item, bool result);
    static QList<Row> rows(const Facts &facts);

private:
    // The verdicts of the version, architecture, space and count items.
    static QList<Verdict> verdictsFor(int item, bool result);
    static QString verdictText(Verdict verdict);
    static Row signatureRow(const Facts &facts);
};
