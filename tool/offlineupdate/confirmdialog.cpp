#include "confirmdialog.h"

#include "builtinicons.h"
#include "fontsizemanager.h"
#include "label.h"
#include "upgradeplantext.h"
#include "upgradeplantree.h"
#include "warningbutton.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// Rows of removals and replaced files in sight at once; more scroll.
constexpr int VisiblePlanLines = 6;

} // namespace

ConfirmDialog::ConfirmDialog(
    bool backupSupported, const OfflineUpdate::UpgradePlan &plan, QWidget *parent)
    : Karvo::Dialog(parent)
    , m_backupSupported(backupSupported)
    , m_plan(plan)
{
    initUI();
    initData();
}

void ConfirmDialog::initUI()
{
    setIcon(themeIcon(QStringLiteral("vsk_yellow_tip")), tr("Warning"));
    setWindowTitle(tr("Confirm the upgrade"));
    setAccessibleName(windowTitle());
    setContentsMargins(0, 0, 0, 0);

    auto *content = new QWidget;
    addContent(content);
    auto *layout = new QVBoxLayout(content);
    layout->setContentsMargins(10, 0, 10, 10);
    layout->setSpacing(0);

    auto *fontSizes = Karvo::FontSizeManager::instance();
    auto *warning = new Karvo::Label(m_backupSupported
            ? tr("During the upgrade process you will not be able to operate your computer. "
                 "After the upgrade is complete, the computer will automatically restart. Please "
                 "make sure you have saved your important files before checking the options "
                 "below to continue the upgrade!")
            : tr("Your system does not support backup and restore. If the system fails to start "
                 "up after upgrade, it cannot be recovered. Confirm to continue the upgrade?"));
    warning->setAlignment(Qt::AlignCenter);
    warning->setWordWrap(true);
    fontSizes->bind(warning, Karvo::FontSizeManager::T6);
    // Across the dialog: a wrapping label placed with an alignment keeps a narrow column.
    layout->addWidget(warning);
    layout->addSpacing(10);
    addPlan(layout);

    m_checkBox = new QCheckBox(tr("I acknowledge and confirm to continue the upgrade"));
    m_checkBox->setFocus();
    m_checkBox->setObjectName(QStringLiteral("confirmCheckBox"));
    fontSizes->bind(m_checkBox, Karvo::FontSizeManager::T6);
    layout->addWidget(m_checkBox, 0, Qt::AlignCenter);
    layout->addSpacing(10);

    auto *buttons = new QHBoxLayout;
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(10);
    layout->addLayout(buttons);

    m_postponeButton = new QPushButton(tr("Postpone Upgrade"));
    m_postponeButton->setObjectName(QStringLiteral("postponeButton"));
    fontSizes->bind(m_postponeButton, Karvo::FontSizeManager::T6);
    buttons->addWidget(m_postponeButton);

    auto *separator = new QFrame;
    separator->setFrameShape(QFrame::VLine);
    separator->setFrameShadow(QFrame::Sunken);
    buttons->addWidget(separator);

    m_continueButton = new Karvo::WarningButton(tr("Continue Upgrade"));
    m_continueButton->setObjectName(QStringLiteral("continueButton"));
    m_continueButton->setAttribute(Qt::WA_NoMousePropagation);
    m_continueButton->setEnabled(false);
    // Return continues once the box is ticked, unless the focus is on "Postpone Upgrade",
    // which then takes it.
    m_continueButton->setDefault(true);
    buttons->addWidget(m_continueButton);

    setTabOrder(m_checkBox, m_postponeButton);
    setTabOrder(m_postponeButton, m_continueButton);
    // The dialog's usual 450 x 280 where the text fits, taller where a language needs it.
    fitToContent(450);
    setFixedHeight(qMax(height(), 280));
}

void ConfirmDialog::addPlan(QVBoxLayout *layout)
{
    if (m_plan.isEmpty())
        return;
    auto *summary = new Karvo::Label(
        tr("The upgrade changes: %1.").arg(UpgradePlanText::summary(m_plan)));
    summary->setObjectName(QStringLiteral("planSummary"));
    summary->setTextFormat(Qt::PlainText);
    summary->setAlignment(Qt::AlignCenter);
    summary->setWordWrap(true);
    Karvo::FontSizeManager::instance()->bind(summary, Karvo::FontSizeManager::T6);
    layout->addWidget(summary);
    layout->addSpacing(10);

    auto *losses = new UpgradePlanTree;
    losses->setObjectName(QStringLiteral("planLosses"));
    losses->setAccessibleName(tr("Removed packages and replaced configuration files"));
    losses->setPlan(m_plan, { UpgradePlanText::Removed, UpgradePlanText::ReplacedConfigFiles });
    if (losses->lineCount() == 0) {
        delete losses;
        return;
    }
    losses->setFixedHeight(losses->heightForLines(qMin(losses->lineCount(), VisiblePlanLines)));
    layout->addWidget(losses);
    layout->addSpacing(4);
    const QString note = UpgradePlanText::replacedFilesNote(m_plan);
    if (!note.isEmpty()) {
        auto *kept = new Karvo::Label(note);
        kept->setObjectName(QStringLiteral("replacedFilesNote"));
        kept->setTextFormat(Qt::PlainText);
        kept->setWordWrap(true);
        Karvo::FontSizeManager::instance()->bind(kept, Karvo::FontSizeManager::T8);
        layout->addWidget(kept);
    }
    layout->addSpacing(10);
}

void ConfirmDialog::initData()
{
    connect(m_checkBox, &QCheckBox::stateChanged, this, &ConfirmDialog::checkBoxChange);
    connect(m_postponeButton, &QPushButton::clicked, this, &ConfirmDialog::reject);
    connect(m_continueButton, &QPushButton::clicked, this, [this] {
        emit sendStartUpgrade();
        accept();
    });
}

void ConfirmDialog::checkBoxChange(int status)
{
    m_continueButton->setEnabled(status != Qt::Unchecked);
}
