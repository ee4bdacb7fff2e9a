#include "offlinecheckresultwidget.h"

#include "fontsizemanager.h"
#include "label.h"

#include <QVBoxLayout>

OfflineCheckResultWidget::OfflineCheckResultWidget(
    OfflineUpdateModel *model, int itemType, bool result, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
    , m_itemType(itemType)
    , m_result(result)
{
    initUI();
    initData();
}

QString OfflineCheckResultWidget::itemName(int itemType)
{
    switch (itemType) {
    case 0:
        return tr("Offline Package File Detection");
    case 1:
        return tr("Offline Package Integrity Detection");
    case 2:
        return tr("System Environment Detection");
    case 3:
        return tr("System Version Detection");
    case 4:
        return tr("Offline Package Architecture Detection");
    case 5:
        return tr("Disk Space Detection");
    case 6:
        return tr("Offline Package Update Number Detection");
    default:
        return tr("Unknown Detection Item %1").arg(itemType);
    }
}

void OfflineCheckResultWidget::initUI()
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    layout->addStretch(1);

    m_itemLabel = new Karvo::Label(this);
    m_itemLabel->setAlignment(Qt::AlignCenter);
    Karvo::FontSizeManager::instance()->bind(m_itemLabel, Karvo::FontSizeManager::T4);
    layout->addWidget(m_itemLabel, 0, Qt::AlignCenter);

    m_resultLabel = new Karvo::Label(this);
    m_resultLabel->setAlignment(Qt::AlignCenter);
    Karvo::FontSizeManager::instance()->bind(m_resultLabel, Karvo::FontSizeManager::T6);
    layout->addWidget(m_resultLabel, 0, Qt::AlignCenter);

    layout->addStretch(1);
}

void OfflineCheckResultWidget::initData()
{
    m_itemLabel->setText(itemName(m_itemType));
    m_resultLabel->setText(m_result ? tr("Passed") : tr("Failed"));
}
