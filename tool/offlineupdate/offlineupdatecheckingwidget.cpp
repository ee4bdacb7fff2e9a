#include "offlineupdatecheckingwidget.h"

#include "fontsizemanager.h"
#include "label.h"
#include "offlineupdatemodel.h"
#include "spinner.h"

#include <QVBoxLayout>

OfflineUpdateCheckingWidget::OfflineUpdateCheckingWidget(OfflineUpdateModel *model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
{
    initUI();
    initData();
}

OfflineUpdateCheckingWidget::~OfflineUpdateCheckingWidget()
{
    stopWaiting();
}

void OfflineUpdateCheckingWidget::initUI()
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    layout->addStretch(0);

    m_spinner = new Karvo::Spinner(this);
    m_spinner->setFixedSize(100, 100);
    layout->addWidget(m_spinner, 0, Qt::AlignCenter);

    m_textLabel = new Karvo::Label(this);
    m_textLabel->setText(tr("Upgrade package detection in progress, please wait"));
    // An error reason from the bus can be long, so the text wraps. A wrapping label placed with
    // a layout alignment keeps the width of its first text and cuts a longer one off; placed
    // across the page, it centres every text itself.
    m_textLabel->setAlignment(Qt::AlignCenter);
    m_textLabel->setWordWrap(true);
    m_textLabel->setContentsMargins(20, 0, 20, 0);
    Karvo::FontSizeManager::instance()->bind(m_textLabel, Karvo::FontSizeManager::T6);
    layout->addWidget(m_textLabel, 0);

    layout->addStretch(0);
}

void OfflineUpdateCheckingWidget::initData()
{
    m_spinner->start();
    if (m_model) {
        connect(m_model, &OfflineUpdateModel::notifyOfflineCheckFailed, this,
            &OfflineUpdateCheckingWidget::acceptOfflineCheckFailed);
    }
}

void OfflineUpdateCheckingWidget::stopWaiting()
{
    if (m_spinner)
        m_spinner->stop();
}

void OfflineUpdateCheckingWidget::acceptOfflineCheckFailed(const QString &reason)
{
    stopWaiting();
    if (m_spinner)
        m_spinner->hide();
    m_textLabel->setText(tr("The package check could not be started: %1").arg(reason));
}
