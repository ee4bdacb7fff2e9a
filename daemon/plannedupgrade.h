#pragma once

#include "checkenvironment.h"

#include <QObject>
#include <functional>

class CheckRun;
class UpgradeRun;

// The upgrade of a passed check, held to that check's plan: apt simulates it once more just
// before anything is installed, and nothing is when the system changed since, so that the
// plan no longer holds; afterwards every planned package must be at its planned version. Why
// an upgrade failed goes into its run's record.
class PlannedUpgrade : public QObject
{
    Q_OBJECT

public:
    explicit PlannedUpgrade(const CheckEnvironment &environment, QObject *parent = nullptr);

    // Whether apt still foresees |run|'s plan; a run whose plan no longer holds records why.
    void confirmPlan(CheckRun *run, std::function<void(bool holds)> done);
    // Progress goes on from |fromStage|. |run| must outlive finished().
    void start(CheckRun *run, int fromStage);
    // The same without confirming the plan first: an upgrade cut short is resumed, and the
    // half-done system would not plan the same again.
    void resume(CheckRun *run);

signals:
    void output(const QString &text);
    void progress(int percent);
    void finished(bool success);
    // OfflineUpdate::UpgradeStage: repair or upgrade; during the upgrade, the package apt works
    // on and its place among the |total| packages the plan changes.
    void stage(const QString &stage, int done, int total, const QString &package);

private:
    void verify(bool repairFailed);
    int changeCount() const;
    bool planned(const QString &package) const;
    void fail(const QString &key, const QString &detail);

    CheckEnvironment m_environment;
    UpgradeRun *m_upgrade;
    CheckRun *m_run = nullptr;
    QStringList m_seen; // the planned packages apt has worked on, in order
};
