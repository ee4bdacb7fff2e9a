#pragma once

#include "dialog.h"

class QCheckBox;
class QPushButton;

namespace Karvo {
class WarningButton;
} // namespace Karvo

// The last question before the offline upgrade starts: a warning, an acknowledgement box and
// the choice between postponing and continuing. Continuing is possible only once the box is
// ticked.
class ConfirmDialog : public Karvo::Dialog
{
    Q_OBJECT

public:
    // |backupSupported|: whether the system can be backed up and restored; it chooses the
    // warning text.
    explicit ConfirmDialog(bool backupSupported, QWidget *parent = nullptr);

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

    bool m_backupSupported;
    QCheckBox *m_checkBox = nullptr;
    QPushButton *m_postponeButton = nullptr;
    Karvo::WarningButton *m_continueButton = nullptr;
};
