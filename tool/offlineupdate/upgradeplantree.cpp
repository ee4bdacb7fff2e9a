#include "upgradeplantree.h"

#include <QHeaderView>
#include <QScrollBar>

UpgradePlanTree::UpgradePlanTree(QWidget *parent)
    : QTreeWidget(parent)
{
    setColumnCount(1);
    setHeaderHidden(true);
    // A line longer than the view scrolls sideways rather than losing its end.
    header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    header()->setStretchLastSection(false);
    setTextElideMode(Qt::ElideNone);
    setUniformRowHeights(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setFocusPolicy(Qt::StrongFocus);
    for (QScrollBar *bar : { verticalScrollBar(), horizontalScrollBar() })
        bar->setAccessibleName(tr("Scroll the plan"));
}

void UpgradePlanTree::setPlan(
    const OfflineUpdate::UpgradePlan &plan, const QList<UpgradePlanText::Part> &parts)
{
    clear();
    QFont headingFont = font();
    headingFont.setBold(true);
    for (const UpgradePlanText::Section &section : UpgradePlanText::sections(plan)) {
        if (!parts.contains(section.part))
            continue;
        auto *heading = new QTreeWidgetItem(this, { section.title });
        heading->setFont(0, headingFont);
        for (const QString &line : section.lines)
            new QTreeWidgetItem(heading, { line });
        heading->setExpanded(true);
    }
    // The arrow keys start at the top; nothing is marked before the user moves there.
    if (topLevelItemCount() > 0)
        selectionModel()->setCurrentIndex(
            indexFromItem(topLevelItem(0)), QItemSelectionModel::NoUpdate);
}

int UpgradePlanTree::lineCount() const
{
    int lines = topLevelItemCount();
    for (int i = 0; i < topLevelItemCount(); ++i)
        lines += topLevelItem(i)->childCount();
    return lines;
}

int UpgradePlanTree::heightForLines(int lines) const
{
    const int row = qMax(sizeHintForRow(0), fontMetrics().height());
    // Room for the scroll bar a long line brings, so that it never covers the last row.
    return lines * row + 2 * frameWidth() + horizontalScrollBar()->sizeHint().height();
}
