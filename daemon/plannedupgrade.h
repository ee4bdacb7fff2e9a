#pragma once

#include "checkenvironment.h"

#include <QObject>
#include <QPointer>
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

signals:
    void output(const QString &text);
    void progress(int percent);
    void finished(bool success);

private:
    void verify(bool repairFailed);
    void fail(const QString &key, const QString &detail);

    CheckEnvironment m_environment;
    UpgradeRun *m_upgrade;
    CheckRun *m_run = nullptr;
};
