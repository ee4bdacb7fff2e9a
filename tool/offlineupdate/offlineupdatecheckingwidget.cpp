#include "offlineupdatecheckingwidget.h"

#include "fontsizemanager.h"
#include "label.h"
#include "offlineupdatemodel.h"
#include "spinner.h"

#include <QPushButton>
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

    m_backButton = new QPushButton(tr("Back"), this);
    m_backButton->setFixedWidth(200);
    m_backButton->hide();
    layout->addWidget(m_backButton, 0, Qt::AlignHCenter);

    layout->addStretch(0);
}

void OfflineUpdateCheckingWidget::initData()
{
    m_spinner->start();
    connect(m_backButton, &QPushButton::clicked, this, &OfflineUpdateCheckingWidget::backRequested);
}

void OfflineUpdateCheckingWidget::stopWaiting()
{
    if (m_spinner)
        m_spinner->stop();
}

void OfflineUpdateCheckingWidget::showFailure(const QString &text)
{
    stopWaiting();
    if (m_spinner)
        m_spinner->hide();
    m_textLabel->setText(text);
    m_backButton->show();
}

QString OfflineUpdateCheckingWidget::notStartedText(const QString &reason)
{
    return tr("The package check could not be started: %1").arg(reason);
}

QString OfflineUpdateCheckingWidget::serviceStoppedText()
{
    return tr("The offline update service stopped before the check was finished. Go back and "
              "import the package again.");
}
