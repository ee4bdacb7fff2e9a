#include "upgradeplandialog.h"

#include "builtinicons.h"
#include "upgradeplantext.h"
#include "upgradeplantree.h"

namespace {

constexpr int DialogWidth = 560;
// Enough to see a fair part of a large plan; the rest scrolls.
constexpr int VisibleLines = 12;

} // namespace

UpgradePlanDialog::UpgradePlanDialog(const OfflineUpdate::UpgradePlan &plan, QWidget *parent)
    : Karvo::Dialog(parent)
{
    setIcon(themeIcon(QStringLiteral("upgrade-tool")), tr("Upgrade"));
    setWindowTitle(tr("What the upgrade will do"));
    setAccessibleName(windowTitle());
    const QString note = UpgradePlanText::replacedFilesNote(plan);
    setMessage(UpgradePlanText::summary(plan) + (note.isEmpty() ? QString() : '\n' + note));
    setWordWrapMessage(true);

    auto *tree = new UpgradePlanTree;
    tree->setObjectName(QStringLiteral("planTree"));
    tree->setAccessibleName(tr("The upgrade plan"));
    tree->setPlan(plan,
        { UpgradePlanText::Upgraded, UpgradePlanText::Installed, UpgradePlanText::Removed,
            UpgradePlanText::KeptBack, UpgradePlanText::Interrupted,
            UpgradePlanText::ReplacedConfigFiles, UpgradePlanText::Space });
    tree->setFixedHeight(tree->heightForLines(qMin(tree->lineCount(), VisibleLines)));
    addContent(tree);
    addButton(tr("Close"), true);
    fitToContent(DialogWidth);
    tree->setFocus();
}
