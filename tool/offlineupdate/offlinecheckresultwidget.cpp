#include "offlinecheckresultwidget.h"

#include "builtinicons.h"
#include "checkdetails.h"
#include "checkfailuretext.h"
#include "checkresultinfo.h"
#include "checktable.h"
#include "checktableview.h"
#include "commandlinkbutton.h"
#include "confirmdialog.h"
#include "detailsdisclosure.h"
#include "dialog.h"
#include "floatingnotice.h"
#include "fontsizemanager.h"
#include "frame.h"
#include "garrolantableheaderview.h"
#include "label.h"
#include "licensedialog.h"
#include "offlineupdatedelegate.h"
#include "offlineupdatemodel.h"
#include "offlineupdateprotocol.h"
#include "offlineupgradedialog.h"
#include "spinner.h"
#include "suggestbutton.h"
#include "upgradeflow.h"
#include "upgradeplanrow.h"
#include "usermessage.h"

#include <QCheckBox>
#include <QDebug>
#include <QEvent>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <memory>

namespace {

using namespace OfflineUpdate;

constexpr int FailureDialogDelayMs = 1000;
// Answers quicker than this fill the page without a spinner flashing up first.
constexpr int SpinnerDelayMs = 300;
constexpr int TableHeight = 330;
// With the plan's line below it, in the same fixed window.
constexpr int TableHeightWithPlan = 270;
constexpr int HeaderHeight = 36;
constexpr int RowHeight = 48;
// Below a failed check the reason needs the room of the upgrade's controls and more.
constexpr int CompactRowHeight = 36;
constexpr int FailureDialogWidth = 400;
constexpr int PageButtonWidth = 200;

bool examined(int itemType, bool result)
{
    return result || itemType < PackageFileItem || itemType > PreHookItem;
}

bool failed(int itemType, bool result)
{
    return !result || itemType != UpgradableItem;
}

} // namespace

OfflineCheckResultWidget::OfflineCheckResultWidget(
    OfflineUpdateModel *model, int itemType, bool result, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
    , m_flow(new UpgradeFlow(model, this))
    , m_itemType(itemType)
    , m_result(result)
{
    initUI();
    initData();
}

void OfflineCheckResultWidget::initUI()
{
    setAccessibleName(tr("Check result"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addSpacerItem(new QSpacerItem(1, 1, QSizePolicy::Minimum, QSizePolicy::Expanding));

    m_packageLabel = new Karvo::Label(this);
    m_packageLabel->setAlignment(Qt::AlignCenter);
    m_packageLabel->setTextFormat(Qt::PlainText);
    m_packageLabel->setContentsMargins(20, 0, 20, 6);
    m_packageLabel->hide();
    layout->addWidget(m_packageLabel);

    layout->addWidget(loadCheckErrorWidget(), 0);
    m_spinner = new Karvo::Spinner(this);
    m_spinner->setFixedSize(48, 48);
    m_spinner->setAccessibleName(tr("Reading the check result"));
    m_spinner->hide();
    layout->addWidget(m_spinner, 0, Qt::AlignCenter);
    layout->addWidget(loadCheckResultWidget(), 0);
    layout->addWidget(loadSuccessWidget(), 0);
    layout->addWidget(loadButtonRow(), 0);
    layout->addSpacerItem(new QSpacerItem(1, 1, QSizePolicy::Minimum, QSizePolicy::Expanding));

    m_checkBox->setEnabled(false);
    m_guideLink->setEnabled(false);
    m_startButton->setEnabled(false);
    m_successWidget->hide();

    if (examined(m_itemType, m_result)) {
        m_errorWidget->hide();
        m_resultWidget->hide();
        m_buttonRow->hide();
    } else {
        m_resultWidget->hide();
        m_startButton->hide();
        m_errorLabel->setText(CheckFailureText::forItem(m_itemType));
    }
    updateFocusChain();
}

void OfflineCheckResultWidget::initData()
{
    connect(m_checkBox, &QCheckBox::stateChanged, this, &OfflineCheckResultWidget::checkBoxChange);
    connect(m_guideLink, &Karvo::CommandLinkButton::clicked, this,
        &OfflineCheckResultWidget::openRecoveryGuide);
    connect(m_startButton, &Karvo::SuggestButton::clicked, this,
        &OfflineCheckResultWidget::startCVEUpgrade);
    connect(m_backButton, &QPushButton::clicked, this,
        &OfflineCheckResultWidget::chooseAnotherPackage);
    connect(m_restartButton, &QPushButton::clicked, m_flow, &UpgradeFlow::restartNow);
    connect(m_laterButton, &QPushButton::clicked, this, [this] {
        m_laterButton->hide();
        m_successText->setText(tr("Restart the computer when you are ready to finish the "
                                  "upgrade."));
        m_restartButton->setFocus(Qt::OtherFocusReason);
    });

    connect(m_flow, &UpgradeFlow::confirmationNeeded, this, [this](bool backupSupported) {
        // From a fresh event: the confirmation runs an event loop of its own, which should
        // not sit inside the bus library's delivery of the backup answer.
        QTimer::singleShot(0, this, [this, backupSupported] { confirmUpgrade(backupSupported); });
    });
    connect(m_flow, &UpgradeFlow::stateChanged, this, &OfflineCheckResultWidget::acceptFlowState);
    connect(m_flow, &UpgradeFlow::progressChanged, this, [this] {
        if (m_progressDialog)
            m_progressDialog->setUpgradeStage(
                m_flow->progress().text(), m_flow->progress().percent());
    });
    connect(m_flow, &UpgradeFlow::outputReceived, this, [this](const QString &piece) {
        if (m_progressDialog)
            m_progressDialog->setUpgradeInfo(piece);
    });
    connect(m_flow, &UpgradeFlow::restartFailed, this, [this](const QString &reason) {
        m_successDetails->setDetails(reason);
        showNotice(tr("The computer could not be restarted. Restart it from the system menu."));
    });

    QTimer::singleShot(SpinnerDelayMs, this, [this] {
        if (m_detailsShown)
            return;
        m_spinner->show();
        m_spinner->start();
    });
    m_model->requestCheckDetails(failed(m_itemType, m_result), this,
        [this](const CheckDetails &details) { showCheckDetails(details); });
}

QWidget *OfflineCheckResultWidget::loadCheckErrorWidget()
{
    m_errorWidget = new QWidget(this);
    auto *layout = new QVBoxLayout(m_errorWidget);
    layout->setContentsMargins(20, 0, 20, 0);
    layout->setSpacing(10);

    m_errorIcon = new QLabel(m_errorWidget);
    m_errorIcon->setPixmap(themeIcon(QStringLiteral("icon_fail")).pixmap(100, 100));
    m_errorIcon->setAlignment(Qt::AlignHCenter);
    m_errorIcon->setAccessibleName(tr("Check failed"));
    layout->addWidget(m_errorIcon, 0, Qt::AlignCenter);

    m_errorLabel = new Karvo::Label(CheckFailureText::forItem(PackageFileItem), m_errorWidget);
    // A wrapping label placed with a layout alignment keeps the width of its first text and
    // cuts a longer one off; placed across the page, it centres every text itself.
    m_errorLabel->setObjectName(QStringLiteral("checkFailure"));
    m_errorLabel->setAlignment(Qt::AlignCenter);
    m_errorLabel->setWordWrap(true);
    Karvo::FontSizeManager::instance()->bind(m_errorLabel, Karvo::FontSizeManager::T6);
    layout->addWidget(m_errorLabel, 0);

    m_errorDetails = new DetailsDisclosure(m_errorWidget);
    layout->addWidget(m_errorDetails, 0);
    return m_errorWidget;
}

QWidget *OfflineCheckResultWidget::loadCheckResultWidget()
{
    m_resultWidget = new QWidget(this);
    auto *layout = new QVBoxLayout(m_resultWidget);
    layout->setContentsMargins(10, 0, 10, 10);
    layout->setSpacing(10);
    layout->addWidget(loadOfflineUpdateTable(), 0);
    // What the package will change, between the table and the way to the upgrade.
    m_planRow = new UpgradePlanRow(m_resultWidget);
    layout->addWidget(m_planRow);

    m_upgradeControls = new QWidget(m_resultWidget);
    // The guide's link has a line of its own under the box: beside it, the long sentence
    // would be cut.
    auto *controls = new QVBoxLayout(m_upgradeControls);
    controls->setContentsMargins(0, 10, 0, 0);
    controls->setSpacing(4);
    m_checkBox = new QCheckBox(tr("I have read and understand"), m_upgradeControls);
    m_checkBox->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Minimum);
    Karvo::FontSizeManager::instance()->bind(m_checkBox, Karvo::FontSizeManager::T6);
    controls->addWidget(m_checkBox, 0, Qt::AlignLeft);

    const QString guide
        = tr("How to restore the system after abnormal system startup after successful upgrade");
    m_guideLink = new Karvo::CommandLinkButton(m_upgradeControls);
    Karvo::FontSizeManager::instance()->bind(m_guideLink, Karvo::FontSizeManager::T6);
    m_guideLink->setText(guide);
    m_guideLink->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    m_guideLink->setToolTip(guide);
    m_guideLink->setAccessibleName(guide);
    m_guideLink->installEventFilter(this);
    controls->addWidget(m_guideLink, 0, Qt::AlignLeft);
    layout->addWidget(m_upgradeControls);
    return m_resultWidget;
}

QWidget *OfflineCheckResultWidget::loadSuccessWidget()
{
    m_successWidget = new QWidget(this);
    auto *layout = new QVBoxLayout(m_successWidget);
    layout->setContentsMargins(20, 0, 20, 0);
    layout->setSpacing(10);

    auto *icon = new QLabel(m_successWidget);
    icon->setPixmap(themeIcon(QStringLiteral("vsk_ok_tip")).pixmap(64, 64));
    icon->setAlignment(Qt::AlignHCenter);
    icon->setAccessibleName(tr("Upgrade succeeded"));
    layout->addWidget(icon, 0, Qt::AlignCenter);

    auto *title = new Karvo::Label(tr("The system was upgraded"), m_successWidget);
    title->setAlignment(Qt::AlignCenter);
    title->setWordWrap(true);
    Karvo::FontSizeManager::instance()->bind(title, Karvo::FontSizeManager::T4);
    layout->addWidget(title);

    m_successText = new Karvo::Label(
        tr("Restart the computer to start using the new software."), m_successWidget);
    m_successText->setAlignment(Qt::AlignCenter);
    m_successText->setWordWrap(true);
    layout->addWidget(m_successText);

    m_successDetails = new DetailsDisclosure(m_successWidget);
    m_successDetails->setObjectName(QStringLiteral("successDetails"));
    layout->addWidget(m_successDetails);

    auto *buttons = new QHBoxLayout;
    buttons->setContentsMargins(0, 20, 0, 0);
    buttons->setSpacing(10);
    buttons->addStretch();
    m_laterButton = new QPushButton(tr("Later"), m_successWidget);
    m_laterButton->setObjectName(QStringLiteral("later"));
    m_laterButton->setFixedWidth(PageButtonWidth);
    buttons->addWidget(m_laterButton);
    m_restartButton = new Karvo::SuggestButton(tr("Restart now"), m_successWidget);
    m_restartButton->setObjectName(QStringLiteral("restartNow"));
    m_restartButton->setFixedWidth(PageButtonWidth);
    buttons->addWidget(m_restartButton);
    buttons->addStretch();
    layout->addLayout(buttons);
    return m_successWidget;
}

QWidget *OfflineCheckResultWidget::loadButtonRow()
{
    m_buttonRow = new QWidget(this);
    auto *buttons = new QHBoxLayout(m_buttonRow);
    buttons->setContentsMargins(10, 20, 10, 0);
    buttons->setSpacing(10);
    buttons->addStretch();
    m_backButton = new QPushButton(tr("Choose another package"), m_buttonRow);
    m_backButton->setObjectName(QStringLiteral("chooseAnotherPackage"));
    m_backButton->setMinimumWidth(PageButtonWidth);
    buttons->addWidget(m_backButton);
    m_startButton = new Karvo::SuggestButton(tr("Start Upgrade"), m_buttonRow);
    m_startButton->setObjectName(QStringLiteral("startUpgrade"));
    m_startButton->setFixedWidth(PageButtonWidth);
    buttons->addWidget(m_startButton);
    buttons->addStretch();
    return m_buttonRow;
}

Karvo::Frame *OfflineCheckResultWidget::loadOfflineUpdateTable()
{
    m_tableFrame = new Karvo::Frame(m_resultWidget);
    m_tableFrame->setFixedHeight(TableHeight);
    auto *layout = new QVBoxLayout(m_tableFrame);
    layout->setContentsMargins(1, 1, 1, 1);

    m_tableView = new CheckTableView(m_tableFrame);
    m_tableView->setAccessibleName(tr("Check items"));
    m_tableView->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_tableView->setSelectionMode(QAbstractItemView::NoSelection);
    m_tableView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_tableView->setFrameShape(QFrame::NoFrame);
    m_tableView->verticalHeader()->hide();
    m_tableView->verticalHeader()->setDefaultSectionSize(RowHeight);
    m_tableView->setShowGrid(false);

    m_delegate = new OfflineUpdateDelegate(this);
    m_tableView->setItemDelegate(m_delegate);

    m_headerView = new GarrolanTableHeaderView(Qt::Horizontal, m_tableView);
    m_headerView->setFixedHeight(HeaderHeight);
    m_headerView->setAccessibleName(tr("Check item columns"));
    for (QScrollBar *bar : { m_tableView->verticalScrollBar(), m_tableView->horizontalScrollBar() })
        bar->setAccessibleName(tr("Scroll the check items"));
    // The table is one stop in the focus chain; its header is read with it.
    m_headerView->setFocusPolicy(Qt::NoFocus);
    m_tableView->setHorizontalHeader(m_headerView);
    m_headerView->setStretchLastSection(true);

    m_tableModel = new QStandardItemModel(this);
    m_tableModel->setHorizontalHeaderItem(0, new QStandardItem(tr("Detection Item")));
    m_tableModel->setHorizontalHeaderItem(1, new QStandardItem(tr("Result")));
    m_tableView->setModel(m_tableModel);

    m_tableView->setSortingEnabled(false);
    m_headerView->setSortIndicatorShown(false);
    // The item names are the longer texts, in every language.
    m_tableView->setColumnWidth(0, 360);

    layout->addWidget(m_tableView);
    return m_tableFrame;
}

void OfflineCheckResultWidget::setPackageFile(const QString &path)
{
    const QFileInfo file(path);
    m_packageLabel->setText(tr("Package: %1").arg(file.fileName()));
    m_packageLabel->setToolTip(QDir::toNativeSeparators(file.absoluteFilePath()));
    m_packageLabel->setVisible(!path.isEmpty());
}

void OfflineCheckResultWidget::showCheckDetails(const CheckDetails &details)
{
    m_detailsShown = true;
    m_spinner->stop();
    m_spinner->hide();
    // Without a key (nothing recorded, or a daemon that predates reasons) the item's own texts
    // are all there is to say.
    const UserMessage reason = CheckFailureText::forReason(details.reasonKey, details.reasonDetail);
    if (!examined(m_itemType, m_result)) {
        showFailureReason(reason);
        return;
    }
    m_plan = details.plan;
    if (CheckTable::passed(m_itemType, m_result))
        m_planRow->setPlan(m_plan);
    m_tableFrame->setFixedHeight(m_planRow->isHidden() ? TableHeight : TableHeightWithPlan);
    fillTable(details);
    m_resultWidget->show();
    m_buttonRow->show();
    if (failed(m_itemType, m_result) && m_startButton->isHidden() == false
        && !m_checkBox->isEnabled()) {
        // The upgrade is out of reach after a failure: the reason takes the place of its
        // controls, so that the table keeps its place in the fixed window.
        m_upgradeControls->hide();
        m_startButton->hide();
        m_errorIcon->hide();
        m_tableView->verticalHeader()->setDefaultSectionSize(CompactRowHeight);
        m_tableFrame->setFixedHeight(
            2 + HeaderHeight + CompactRowHeight * m_tableModel->rowCount());
        if (reason.isEmpty())
            m_errorWidget->hide();
        else
            showFailureReason(reason);
        // Below the table, as on every page the way back comes last.
        static_cast<QVBoxLayout *>(layout())->insertWidget(
            layout()->indexOf(m_resultWidget) + 1, m_errorWidget);
    }
    updateFocusChain();
    if (isVisible())
        defaultButton()->setFocus(Qt::OtherFocusReason);
}

void OfflineCheckResultWidget::showFailureReason(const UserMessage &message)
{
    if (!message.isEmpty())
        m_errorLabel->setText(message.sentence);
    m_errorDetails->setDetails(message.details);
    m_errorWidget->show();
}

void OfflineCheckResultWidget::fillTable(const CheckDetails &details)
{
    const QList<CheckTable::Row> rows = CheckTable::rows({ m_itemType, m_result,
        details.upgradeType, details.patchSerial, details.upgradeSum, details.signatureState,
        details.signer });
    const bool upgradable = CheckTable::passed(m_itemType, m_result);
    m_checkBox->setEnabled(upgradable);
    m_guideLink->setEnabled(upgradable);

    // Every row in sight without scrolling: a patch package has one row more than fits at the
    // usual height.
    const int fitting = (m_tableFrame->maximumHeight() - 2 - HeaderHeight) / int(rows.size());
    m_tableView->verticalHeader()->setDefaultSectionSize(qMin(RowHeight, fitting));
    m_tableModel->setRowCount(0);
    for (int row = 0; row < rows.size(); ++row) {
        const CheckTable::Row &info = rows.at(row);
        m_tableModel->setItem(row, 0, new QStandardItem(info.label));
        auto *result = new QStandardItem(info.value);
        result->setData(int(info.verdict), ResultValueRole);
        m_tableModel->setItem(row, 1, result);
    }
}

void OfflineCheckResultWidget::updateFocusChain()
{
    // Reading order: the table, the acknowledgement, the guide, a failure's details, then the
    // buttons left to right.
    QWidget *chain[] = { m_tableView, m_planRow->showButton(), m_checkBox, m_guideLink,
        m_errorDetails->toggle(),
        m_backButton, m_startButton, m_successDetails->toggle(), m_laterButton,
        m_restartButton };
    for (size_t i = 1; i < sizeof(chain) / sizeof(chain[0]); ++i)
        setTabOrder(chain[i - 1], chain[i]);
    setFocusProxy(defaultButton());
}

QPushButton *OfflineCheckResultWidget::defaultButton() const
{
    if (!m_successWidget->isHidden())
        return m_restartButton;
    if (!m_startButton->isHidden() && m_startButton->isEnabled())
        return m_startButton;
    return m_backButton;
}

void OfflineCheckResultWidget::keyPressEvent(QKeyEvent *event)
{
    // Return acts on the page's main button, as in a dialog, wherever the focus is on the page
    // (a control that uses Return itself never passes it on).
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        QPushButton *button = defaultButton();
        if (button->isVisible() && button->isEnabled()) {
            button->animateClick();
            return;
        }
    }
    QWidget::keyPressEvent(event);
}

void OfflineCheckResultWidget::checkBoxChange(int status)
{
    // After a success the same package is not upgraded twice; after a change of the system only
    // a new check can say what an upgrade would do.
    m_startButton->setEnabled(status != Qt::Unchecked && m_flow->state() != UpgradeFlow::Succeeded
        && m_flow->failure() != UpgradeFlow::PlanChanged);
    setFocusProxy(defaultButton());
}

bool OfflineCheckResultWidget::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_guideLink) {
        if (event->type() == QEvent::Enter)
            setCursor(Qt::PointingHandCursor);
        else if (event->type() == QEvent::Leave)
            setCursor(Qt::ArrowCursor);
    }
    return QWidget::eventFilter(watched, event);
}

void OfflineCheckResultWidget::openRecoveryGuide()
{
    auto *dialog = new LicenseDialog(m_guideLink->toolTip(), this);
    dialog->exec();
    dialog->deleteLater();
}

bool OfflineCheckResultWidget::upgradeUnderWay() const
{
    return m_flow->underWay();
}

void OfflineCheckResultWidget::startCVEUpgrade()
{
    // Held down until the answer is in, so that a second press cannot ask twice.
    m_startButton->setEnabled(false);
    m_flow->start();
}

void OfflineCheckResultWidget::confirmUpgrade(bool backupSupported)
{
    auto *dialog = new ConfirmDialog(backupSupported, m_plan, this);
    // Direct: the progress dialog must cover the screen and the upgrade be under way before
    // the confirmation has closed, so that nothing on the page can be touched in between.
    connect(dialog, &ConfirmDialog::sendStartUpgrade, m_flow, &UpgradeFlow::confirm,
        Qt::DirectConnection);
    dialog->exec();
    dialog->deleteLater();
    m_flow->decline();
}

void OfflineCheckResultWidget::acceptFlowState()
{
    switch (m_flow->state()) {
    case UpgradeFlow::Ready:
        checkBoxChange(m_checkBox->checkState());
        break;
    case UpgradeFlow::Upgrading:
        // A dialog left from a failed attempt is closed already; only the new one may stay.
        if (m_progressDialog)
            m_progressDialog->deleteLater();
        m_progressDialog = new OfflineUpgradeDialog(m_model, this);
        m_progressDialog->raise();
        m_progressDialog->show();
        m_progressDialog->grabKeyboard();
        break;
    case UpgradeFlow::RunningHooks:
        if (m_progressDialog)
            m_progressDialog->setUpgradeInfo(
                tr("Running the package's post-upgrade scripts...") + QLatin1Char('\n'));
        break;
    case UpgradeFlow::Succeeded:
        closeProgressDialog();
        showSuccess();
        break;
    case UpgradeFlow::Failed:
        closeProgressDialog();
        if (m_flow->failure() == UpgradeFlow::PlanChanged) {
            m_checkBox->setEnabled(false);
            m_planRow->hide();
        }
        checkBoxChange(m_checkBox->checkState());
        showUpgradeFailure();
        break;
    case UpgradeFlow::AskingBackup:
    case UpgradeFlow::Confirming:
        break;
    }
}

void OfflineCheckResultWidget::closeProgressDialog()
{
    if (!m_progressDialog)
        return;
    m_progressDialog->releaseKeyboard();
    m_progressDialog->close();
}

void OfflineCheckResultWidget::showSuccess()
{
    // The same package is not offered for upgrading again: the table and its controls go.
    m_resultWidget->hide();
    m_errorWidget->hide();
    m_buttonRow->hide();
    m_packageLabel->hide();
    m_successDetails->setDetails(m_flow->message().details);
    if (!m_flow->message().isEmpty())
        m_successText->setText(m_flow->message().sentence + QLatin1Char(' ')
            + tr("Restart the computer to start using the new software."));
    m_successWidget->show();
    updateFocusChain();
    m_restartButton->setFocus(Qt::OtherFocusReason);
}

void OfflineCheckResultWidget::showUpgradeFailure()
{
    const UserMessage message = m_flow->message();
    // A second after the progress dialog has gone, so that the desktop has been seen again.
    const UpgradeFlow::Failure failure = m_flow->failure();
    QTimer::singleShot(FailureDialogDelayMs, this, [this, message, failure] {
        std::unique_ptr<Karvo::Dialog> dialog(newFailureDialog(message));
        // Nothing was changed yet: the user may still take the upgrade without its backup.
        const int withoutBackup = failure == UpgradeFlow::BackupFailed
            ? dialog->addButton(tr("Upgrade without backup"), false, Karvo::Dialog::ButtonWarning)
            : -2;
        // Nothing was installed, and the check no longer holds: the ways on are a new check of
        // the same package or another package.
        const bool planChanged = failure == UpgradeFlow::PlanChanged;
        const int anotherPackage
            = planChanged ? dialog->addButton(tr("Choose another package")) : -2;
        const int checkAgain = planChanged
            ? dialog->addButton(tr("Check again"), true, Karvo::Dialog::ButtonRecommend)
            : -2;
        if (failure == UpgradeFlow::BackupFailed || planChanged)
            dialog->fitToContent(dialog->width());
        const int chosen = dialog->exec();
        if (chosen == withoutBackup) {
            m_flow->continueWithoutBackup();
            return;
        }
        if (chosen == anotherPackage) {
            emit chooseAnotherPackage();
            return;
        }
        if (chosen == checkAgain) {
            emit checkAgainRequested();
            return;
        }
        if (isVisible())
            defaultButton()->setFocus(Qt::OtherFocusReason);
    });
}

Karvo::Dialog *OfflineCheckResultWidget::newFailureDialog(const UserMessage &message)
{
    auto *dialog = new Karvo::Dialog;
    dialog->setWindowTitle(tr("The upgrade failed"));
    dialog->setAccessibleName(dialog->windowTitle());
    dialog->setIcon(themeIcon(QStringLiteral("vsk_yellow_tip")), tr("Warning"));
    dialog->setMessage(message.sentence);
    dialog->setWordWrapMessage(true);
    auto *details = new DetailsDisclosure;
    details->setDetails(message.details);
    dialog->addContent(details);
    dialog->addButton(tr("OK", "Button"), true, Karvo::Dialog::ButtonNormal);
    connect(details, &DetailsDisclosure::expandedChanged, dialog,
        [dialog] { dialog->fitToContent(dialog->width()); });
    dialog->fitToContent(FailureDialogWidth);
    return dialog;
}

void OfflineCheckResultWidget::showNotice(const QString &text)
{
    QWidget *over = m_progressDialog && m_progressDialog->isVisible()
        ? static_cast<QWidget *>(m_progressDialog.data())
        : this;
    showFloatingNotice(over, text);
}
