#pragma once

#include "upgradeplantext.h"

#include <QTreeWidget>

// Parts of an upgrade plan as a tree: a heading for each part that has entries, with its
// entries below it, all open. One stop in the focus chain, walked with the arrow keys; lines
// longer than the view scroll rather than being cut, so that names and paths stay whole.
class UpgradePlanTree : public QTreeWidget
{
    Q_OBJECT

public:
    explicit UpgradePlanTree(QWidget *parent = nullptr);

    void setPlan(const OfflineUpdate::UpgradePlan &plan, const QList<UpgradePlanText::Part> &parts);
    // The lines shown, headings included: how many rows the view has to make room for.
    int lineCount() const;
    // The height that shows |lines| rows without scrolling.
    int heightForLines(int lines) const;
};
