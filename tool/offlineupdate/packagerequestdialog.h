#pragma once

#include "dialog.h"

// Asks the user before a package that another program handed to the tool is checked: a check
// mounts the package and runs its scripts, so no program may start one unseen. Shows the
// file's name and its folder. exec() or finished() give CheckButton when the user agreed.
class PackageRequestDialog : public Karvo::Dialog
{
    Q_OBJECT

public:
    enum Choice { CancelButton = 0, CheckButton = 1 };

    explicit PackageRequestDialog(const QString &path, QWidget *parent = nullptr);

    QString path() const { return m_path; }

private:
    QString m_path;
};
