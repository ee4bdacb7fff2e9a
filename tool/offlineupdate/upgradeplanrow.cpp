#include "upgradeplanrow.h"

#include "fontsizemanager.h"
#include "label.h"
#include "upgradeplandialog.h"
#include "upgradeplantext.h"

#include <QHBoxLayout>
#include <QPushButton>

UpgradePlanRow::UpgradePlanRow(QWidget *parent)
    : QWidget(parent)
    , m_summary(new Karvo::Label(this))
    , m_showButton(new QPushButton(tr("Show the plan"), this))
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    m_summary->setObjectName(QStringLiteral("planSummary"));
    m_summary->setTextFormat(Qt::PlainText);
    m_summary->setWordWrap(true);
    Karvo::FontSizeManager::instance()->bind(m_summary, Karvo::FontSizeManager::T6);
    layout->addWidget(m_summary, 1);
    m_showButton->setObjectName(QStringLiteral("showPlan"));
    Karvo::FontSizeManager::instance()->bind(m_showButton, Karvo::FontSizeManager::T6);
    layout->addWidget(m_showButton);
    connect(m_showButton, &QPushButton::clicked, this, &UpgradePlanRow::showPlan);
    setVisible(false);
}

void UpgradePlanRow::setPlan(const OfflineUpdate::UpgradePlan &plan)
{
    m_plan = plan;
    m_summary->setText(tr("The upgrade: %1").arg(UpgradePlanText::summary(plan)));
    setVisible(!plan.isEmpty());
}

void UpgradePlanRow::showPlan()
{
    UpgradePlanDialog dialog(m_plan, this);
    dialog.exec();
}
