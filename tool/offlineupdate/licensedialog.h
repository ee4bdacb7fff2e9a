#pragma once

#include "dialog.h"

// The guide to restoring the system from the boot menu when it does not start properly after an
// upgrade: the title it is opened with, a warning, two numbered steps and a picture of the boot
// menu. It has no buttons of its own; it closes through the dialog's close control.
class LicenseDialog : public Karvo::Dialog
{
    Q_OBJECT

public:
    // |title| is shown as given; the caller translates it.
    explicit LicenseDialog(const QString &title, QWidget *parent = nullptr);

private:
    void initUI(const QString &title);
};
