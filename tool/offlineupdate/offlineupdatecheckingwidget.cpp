#include "offlineupdatecheckingwidget.h"

#include "detailsdisclosure.h"
#include "fontsizemanager.h"
#include "label.h"
#include "offlineupdatemodel.h"
#include "spinner.h"
#include "usermessage.h"

#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QPushButton>
#include <QToolButton>
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

    setAccessibleName(tr("Checking the package"));
    m_spinner = new Karvo::Spinner(this);
    m_spinner->setFixedSize(100, 100);
    m_spinner->setAccessibleName(tr("Checking the package"));
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

    m_packageLabel = new Karvo::Label(this);
    m_packageLabel->setAlignment(Qt::AlignCenter);
    m_packageLabel->setTextFormat(Qt::PlainText);
    m_packageLabel->setWordWrap(true);
    m_packageLabel->setContentsMargins(20, 0, 20, 0);
    m_packageLabel->hide();
    layout->addWidget(m_packageLabel, 0);

    m_details = new DetailsDisclosure(this);
    m_details->setContentsMargins(20, 0, 20, 0);
    layout->addWidget(m_details, 0);

    m_backButton = new QPushButton(tr("Choose another package"), this);
    m_backButton->setObjectName(QStringLiteral("chooseAnotherPackage"));
    m_backButton->setMinimumWidth(200);
    m_backButton->setAutoDefault(true);
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

void OfflineUpdateCheckingWidget::setPackageFile(const QString &path)
{
    m_packageLabel->setText(tr("Package: %1").arg(QFileInfo(path).fileName()));
    m_packageLabel->setToolTip(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()));
    m_packageLabel->setVisible(!path.isEmpty());
}

void OfflineUpdateCheckingWidget::showFailure(const UserMessage &message)
{
    stopWaiting();
    if (m_spinner)
        m_spinner->hide();
    m_textLabel->setText(message.sentence);
    m_details->setDetails(message.details);
    m_backButton->show();
    setTabOrder(m_details->toggle(), m_backButton);
    setFocusProxy(m_backButton);
    if (isVisible())
        m_backButton->setFocus(Qt::OtherFocusReason);
}

void OfflineUpdateCheckingWidget::keyPressEvent(QKeyEvent *event)
{
    // Return goes back wherever the focus is on the page, as on a dialog's default button.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        && m_backButton->isVisible()) {
        m_backButton->animateClick();
        return;
    }
    QWidget::keyPressEvent(event);
}

QString OfflineUpdateCheckingWidget::serviceStoppedText()
{
    return tr("The offline update service stopped before the check was finished. Go back and "
              "import the package again.");
}
