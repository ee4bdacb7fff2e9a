#pragma once

#include "checkenvironment.h"
#include "upgradeplan.h"

#include <QObject>
#include <functional>

struct AptSimulation;
class InstalledPackages;

// Foresees what the upgrade from the private source list will do, by asking apt to simulate it
// against the system's own dpkg state, and refuses a plan the upgrade must not follow: one apt
// finds no solution for, one that removes what the system cannot lose, one that leaves some of
// the package behind, one that does not fit. Changes nothing on the system: apt simulates
// without taking dpkg's lock, and no cache of apt's is written.
class UpgradePlanner : public QObject
{
    Q_OBJECT

public:
    struct Outcome
    {
        OfflineUpdate::UpgradePlan plan;
        QString refusalKey; // OfflineUpdate::Reason; empty when the plan may be followed
        QString refusalDetail;
    };
    using Done = std::function<void(const Outcome &)>;

    // Plans against the repository mounted at |repository|; |done| comes once, on the event
    // loop, unless |owner| goes first.
    static void plan(QObject *owner, const CheckEnvironment &environment,
        const QString &repository, Done done);

    // apt's options for a simulation against the private source list and the system's dpkg
    // state, then |command|.
    static QStringList simulationArguments(
        const CheckEnvironment &environment, const QStringList &command);

    // Which of |plan|'s packages are not as it foresaw, by |installed|: "name (version)" for
    // one at another version or not configured, "name" for one still installed that was to
    // go.
    static QStringList unmet(
        const OfflineUpdate::UpgradePlan &plan, const InstalledPackages &installed);

private:
    UpgradePlanner(QObject *owner, const CheckEnvironment &environment, const QString &repository,
        Done done);
    void simulate();
    void readInstalled(const QString &simulationOutput);
    void explainKeptBack();
    void readCandidates();
    void findReplacedConfigFiles(const QString &candidates);
    // The packages |simulation| removes that the system cannot lose: essential or required
    // ones, and the running kernel's.
    QStringList vitalRemovals(
        const AptSimulation &simulation, const InstalledPackages &installed) const;
    void refuse(const QString &key, const QString &detail);
    void finish();

    CheckEnvironment m_environment;
    QString m_repository;
    Done m_done;
    Outcome m_outcome;
    QString m_simulationOutput;
    QString m_installedOutput;
};
