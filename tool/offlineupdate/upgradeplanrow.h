#pragma once

#include "upgradeplan.h"

#include <QWidget>

class QLabel;
class QPushButton;

// One line under the check table of a passed check: what the upgrade will change in a few
// words, and the way to the whole plan. Hidden while there is no plan (a daemon that predates
// plans, or one that has none to tell).
class UpgradePlanRow : public QWidget
{
    Q_OBJECT

public:
    explicit UpgradePlanRow(QWidget *parent = nullptr);

    void setPlan(const OfflineUpdate::UpgradePlan &plan);
    QPushButton *showButton() const { return m_showButton; }

public slots:
    // Opens the whole plan and waits until the user closes it.
    void showPlan();

private:
    OfflineUpdate::UpgradePlan m_plan;
    QLabel *m_summary;
    QPushButton *m_showButton;
};
