#pragma once

#include "dialog.h"
#include "upgradeplan.h"

class QCheckBox;
class QPushButton;
class QVBoxLayout;

namespace Karvo {
class WarningButton;
} // namespace Karvo

// The last question before the offline upgrade starts: a warning, what the upgrade changes
// (its counts, and by name every package it removes and every changed configuration file it
// replaces: what a user may lose), an acknowledgement box and the choice between postponing
// and continuing. Continuing is possible only once the box is ticked.
class ConfirmDialog : public Karvo::Dialog
{
    Q_OBJECT

public:
    // |backupSupported|: whether the system can be backed up and restored; it chooses the
    // warning text. |plan|: what the check foresees; nothing is said of an empty one.
    explicit ConfirmDialog(bool backupSupported, const OfflineUpdate::UpgradePlan &plan = {},
        QWidget *parent = nullptr);

signals:
    // The user chose to continue. Emitted before the dialog closes, so that a directly
    // connected receiver has started the upgrade by the time exec() returns.
    void sendStartUpgrade();

public slots:
    // Enables continuing for any state but unchecked (0).
    void checkBoxChange(int status);

private:
    void initUI();
    void initData();
    // The plan's counts and its losses, under the warning.
    void addPlan(QVBoxLayout *layout);

    bool m_backupSupported;
    OfflineUpdate::UpgradePlan m_plan;
    QCheckBox *m_checkBox = nullptr;
    QPushButton *m_postponeButton = nullptr;
    Karvo::WarningButton *m_continueButton = nullptr;
};
