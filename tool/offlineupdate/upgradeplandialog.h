#pragma once

#include "dialog.h"
#include "upgradeplan.h"

// Everything the check foresees the upgrade will do: the summary, then each part of the plan
// (upgrades with their versions, new and removed packages, what stays behind, the replaced
// configuration files and the room needed), for a user who wants to know before agreeing.
class UpgradePlanDialog : public Karvo::Dialog
{
    Q_OBJECT

public:
    explicit UpgradePlanDialog(const OfflineUpdate::UpgradePlan &plan, QWidget *parent = nullptr);
};
