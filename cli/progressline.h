#pragma once

#include "upgradeprogress.h"

#include <QString>

// The one line a terminal shows during an upgrade: the stage, a percentage and the package apt
// is working on, as the service's stage signal tells them. A service that predates that signal
// sends coarse pairs (30, 50, 100) only: then apt's own lines name the package, and the
// packages apt has set up, against the number the check announced, move the percentage.
class ProgressLine
{
public:
    explicit ProgressLine(int expectedPackages);

    void setProgress(int progress, int code);
    void setStage(const QString &stage, int done, int total, const QString &package);
    // A chunk of apt's output as the service relays it; lines may span chunks.
    void addOutput(const QString &chunk);

    QString text() const;
    // The stage in words, with the package where the service names it; no percentage.
    QString words() const;
    // -1 once the upgrade failed: the service's failure pair is no percentage.
    int percent() const;
    QString currentPackage() const;

    // The package an apt or dpkg output line names, or empty. Only lines that name a package
    // as dpkg knows it count: an archive's file name may carry apt's number before the name.
    static QString packageNamedIn(const QString &line);

private:
    void addLine(const QString &line);
    // Without stage signals: apt has named a package, so the upgrade itself runs.
    bool guessedUpgrading() const;

    UpgradeProgress m_progress;
    int m_expected;
    bool m_aptSeen = false;
    int m_setUp = 0;
    QString m_namedPackage;
    QString m_partialLine;
};
