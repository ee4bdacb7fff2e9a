#include "offlinecheckresultwidget.h"

#include "builtinicons.h"
#include "checkdetails.h"
#include "checkfailurereason.h"
#include "checkresultinfo.h"
#include "commandlinkbutton.h"
#include "confirmdialog.h"
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

#include <QCheckBox>
#include <QDebug>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QStandardItemModel>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace {

using namespace OfflineUpdate;

enum ResultValue { Information = -1, NotDetected = 0, Failed = 1, Passed = 2 };

constexpr int GuideLinkWidth = 490;
constexpr int FailureDialogDelayMs = 1000;
// Answers quicker than this fill the page without a spinner flashing up first.
constexpr int SpinnerDelayMs = 300;
constexpr int TableHeight = 330;
constexpr int HeaderHeight = 36;
constexpr int RowHeight = 48;

// The verdicts of the four check rows for the item a report names. Items 3 to 5 fail their
// own row whatever the report's flag says: the daemon names an item only when it has failed.
struct Verdicts
{
    int version;
    int architecture;
    int space;
    int count;
};

Verdicts verdictsFor(int itemType, bool result)
{
    switch (itemType) {
    case SystemVersionItem:
        return { Failed, NotDetected, NotDetected, NotDetected };
    case ArchitectureItem:
        return { Passed, Failed, NotDetected, NotDetected };
    case BackupSpaceItem:
        return { Passed, Passed, Failed, NotDetected };
    case UpgradableItem:
        if (!result)
            return { Passed, Passed, Passed, Failed };
        break;
    default:
        // A failure of an item this page does not know must not read as a pass that
        // unlocks the upgrade.
        if (!result && (itemType < PackageFileItem || itemType > LastCheckItem))
            return { NotDetected, NotDetected, NotDetected, NotDetected };
        break;
    }
    return { Passed, Passed, Passed, Passed };
}

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
    , m_itemType(itemType)
    , m_result(result)
{
    initUI();
    initData();
}

void OfflineCheckResultWidget::initUI()
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addSpacerItem(new QSpacerItem(1, 1, QSizePolicy::Minimum, QSizePolicy::Expanding));
    layout->addWidget(loadCheckErrorWidget(), 0);
    m_spinner = new Karvo::Spinner(this);
    m_spinner->setFixedSize(48, 48);
    m_spinner->hide();
    layout->addWidget(m_spinner, 0, Qt::AlignCenter);
    layout->addWidget(loadCheckResultWidget(), 0);
    layout->addSpacerItem(new QSpacerItem(1, 1, QSizePolicy::Minimum, QSizePolicy::Expanding));

    m_checkBox->setEnabled(false);
    m_guideLink->setEnabled(false);
    m_startButton->setEnabled(false);

    if (examined(m_itemType, m_result)) {
        m_errorWidget->hide();
        m_resultWidget->hide();
    } else {
        static const char *const errors[] = {
            QT_TR_NOOP("Insufficient disk space, please clean up disk space and try again!"),
            QT_TR_NOOP("File corrupted, please check and try again!"),
            QT_TR_NOOP("System environment is abnormal, contact the administrator！"),
        };
        m_resultWidget->hide();
        m_errorLabel->setText(tr(errors[m_itemType]));
    }
}

void OfflineCheckResultWidget::initData()
{
    connect(m_checkBox, &QCheckBox::stateChanged, this, &OfflineCheckResultWidget::checkBoxChange);
    connect(m_guideLink, &Karvo::CommandLinkButton::clicked, this,
        &OfflineCheckResultWidget::openRecoveryGuide);
    connect(m_startButton, &Karvo::SuggestButton::clicked, this,
        &OfflineCheckResultWidget::startCVEUpgrade);
    connect(m_model, &OfflineUpdateModel::notifyOfflineUpgradeProgress, this,
        &OfflineCheckResultWidget::acceptOfflineUpgradeProgress);
    connect(m_model, &OfflineUpdateModel::notifyExecDistUpgradeInfo, this,
        &OfflineCheckResultWidget::acceptExecDistUpgradeInfo);
    connect(m_model, &OfflineUpdateModel::notifyOfflineUpgradeFailed, this,
        &OfflineCheckResultWidget::acceptOfflineUpgradeFailed);
    connect(m_model, &OfflineUpdateModel::notifyDaemonVanished, this,
        &OfflineCheckResultWidget::acceptDaemonVanished);
    connect(m_model, &OfflineUpdateModel::notifyRebootRequested, this,
        &OfflineCheckResultWidget::acceptRebootRequested);

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
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);

    m_errorIcon = new QLabel(m_errorWidget);
    m_errorIcon->setPixmap(themeIcon(QStringLiteral("icon_fail")).pixmap(100, 100));
    m_errorIcon->setAlignment(Qt::AlignHCenter);
    layout->addWidget(m_errorIcon, 0, Qt::AlignCenter);

    m_errorLabel = new Karvo::Label(
        tr("Insufficient disk space, please clean up disk space and try again!"), m_errorWidget);
    // A reason with its detail runs over two lines and can be long; centred across the page, a
    // wrapping label keeps every line in the middle.
    m_errorLabel->setAlignment(Qt::AlignCenter);
    m_errorLabel->setWordWrap(true);
    m_errorLabel->setContentsMargins(20, 0, 20, 0);
    Karvo::FontSizeManager::instance()->bind(m_errorLabel, Karvo::FontSizeManager::T6);
    layout->addWidget(m_errorLabel, 0);
    return m_errorWidget;
}

QWidget *OfflineCheckResultWidget::loadCheckResultWidget()
{
    m_resultWidget = new QWidget(this);
    auto *layout = new QVBoxLayout(m_resultWidget);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->setSpacing(10);
    layout->addWidget(loadOfflineUpdateTable(), 0);

    // Below the table, the way to the upgrade; a failure's reason needs its room.
    m_upgradeControls = new QWidget(m_resultWidget);
    auto *controls = new QVBoxLayout(m_upgradeControls);
    controls->setContentsMargins(0, 0, 0, 0);
    controls->setSpacing(10);
    controls->addSpacing(30);
    layout->addWidget(m_upgradeControls);

    auto *acknowledgement = new QHBoxLayout;
    acknowledgement->setContentsMargins(0, 0, 0, 0);
    acknowledgement->setSpacing(0);
    m_checkBox = new QCheckBox(tr("I have read and understand"), m_upgradeControls);
    m_checkBox->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Minimum);
    Karvo::FontSizeManager::instance()->bind(m_checkBox, Karvo::FontSizeManager::T6);
    acknowledgement->addWidget(m_checkBox, 0, Qt::AlignLeft);

    const QString guide
        = tr("How to restore the system after abnormal system startup after successful upgrade");
    m_guideLink = new Karvo::CommandLinkButton(m_upgradeControls);
    Karvo::FontSizeManager::instance()->bind(m_guideLink, Karvo::FontSizeManager::T6);
    m_guideLink->setText(
        m_guideLink->fontMetrics().elidedText(guide, Qt::ElideMiddle, GuideLinkWidth));
    m_guideLink->setToolTip(guide);
    m_guideLink->installEventFilter(this);
    acknowledgement->addWidget(m_guideLink, 0, Qt::AlignLeft);
    acknowledgement->addStretch();
    controls->addLayout(acknowledgement);
    controls->addSpacing(50);

    m_startButton = new Karvo::SuggestButton(tr("Start Upgrade"), m_upgradeControls);
    m_startButton->setFixedWidth(200);
    controls->addWidget(m_startButton, 0, Qt::AlignCenter);
    return m_resultWidget;
}

Karvo::Frame *OfflineCheckResultWidget::loadOfflineUpdateTable()
{
    auto *frame = new Karvo::Frame(m_resultWidget);
    frame->setFixedHeight(TableHeight);
    auto *layout = new QVBoxLayout(frame);
    layout->setContentsMargins(1, 1, 1, 1);

    m_tableView = new QTableView(frame);
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
    m_tableView->setHorizontalHeader(m_headerView);
    m_headerView->setStretchLastSection(true);

    m_tableModel = new QStandardItemModel(this);
    m_tableModel->setHorizontalHeaderItem(0, new QStandardItem(tr("Detection Item")));
    m_tableModel->setHorizontalHeaderItem(1, new QStandardItem(tr("Result")));
    m_tableModel->setHorizontalHeaderItem(2, new QStandardItem(QStringLiteral("resultvalue")));
    m_tableView->setModel(m_tableModel);

    m_tableView->setSortingEnabled(false);
    m_headerView->setSortIndicatorShown(false);
    m_tableView->setColumnWidth(0, 300);
    m_tableView->setColumnWidth(1, 150);
    m_tableView->setColumnHidden(2, true);

    layout->addWidget(m_tableView);
    return frame;
}

void OfflineCheckResultWidget::showCheckDetails(const CheckDetails &details)
{
    m_detailsShown = true;
    m_spinner->stop();
    m_spinner->hide();
    // Without a key (nothing recorded, or a daemon that predates reasons) the item's own texts
    // are all there is to say.
    const QString reason = checkFailureText(details.reasonKey, details.reasonDetail);
    if (!examined(m_itemType, m_result)) {
        if (!reason.isEmpty())
            m_errorLabel->setText(reason);
        return;
    }
    fillTable(details);
    m_resultWidget->show();
    if (!reason.isEmpty()) {
        // The upgrade is out of reach after a failure anyway: the reason takes the place of
        // its controls, so that the table keeps its height in the fixed window.
        m_upgradeControls->hide();
        m_errorIcon->hide();
        m_errorLabel->setText(reason);
        m_errorWidget->show();
    }
}

void OfflineCheckResultWidget::fillTable(const CheckDetails &details)
{
    QList<CheckResultInfo> rows;
    if (details.upgradeType == PatchUpgrade) {
        rows.append({ tr("Upgrade Type"), tr("CVE Patch Update"), Information });
        rows.append({ tr("Vulnerability ID"), details.patchSerial, Information });
    } else {
        rows.append({ tr("Upgrade Type"), tr("System Update"), Information });
    }

    switch (details.signatureState) {
    case SignatureVerified:
        rows.append({ tr("Package Signature"), tr("Verified: %1").arg(details.signer), Passed });
        break;
    case Unsigned:
        rows.append({ tr("Package Signature"), tr("Unsigned"), Information });
        break;
    case SignatureRejected:
        rows.append(
            { tr("Package Signature"), tr("Verification failed: %1").arg(details.signer), Failed });
        break;
    default:
        // The daemon did not say (nothing checked, or it predates signatures): claiming
        // "Unsigned" would state what nobody looked at.
        rows.append({ tr("Package Signature"), tr("Not checked"), NotDetected });
        break;
    }

    const auto verdictText = [this](int value) {
        switch (value) {
        case Passed:
            return tr("Pass");
        case Failed:
            return tr("Fail");
        default:
            return tr("Not Detected");
        }
    };
    const Verdicts verdicts = verdictsFor(m_itemType, m_result);
    rows.append(
        { tr("System Version Detection"), verdictText(verdicts.version), verdicts.version });
    rows.append({ tr("Offline Package Architecture Detection"), verdictText(verdicts.architecture),
        verdicts.architecture });
    rows.append({ tr("Disk Space Detection"), verdictText(verdicts.space), verdicts.space });

    const bool upgradable = verdicts.count == Passed;
    const QString countText = upgradable
        ? tr("%1 item(s)").arg(details.upgradeSum)
        : (verdicts.count == Failed ? tr("No available update package")
                                    : verdictText(verdicts.count));
    rows.append({ tr("Offline Package Update Number Detection"), countText, verdicts.count });

    m_checkBox->setEnabled(upgradable);
    m_guideLink->setEnabled(upgradable);

    // Every row in sight without scrolling: a patch package has one row more than fits at the
    // usual height.
    const int fitting = (TableHeight - 2 - HeaderHeight) / int(rows.size());
    m_tableView->verticalHeader()->setDefaultSectionSize(qMin(RowHeight, fitting));
    m_tableModel->setRowCount(0);
    for (int row = 0; row < rows.size(); ++row) {
        const CheckResultInfo &info = rows.at(row);
        m_tableModel->setItem(row, 0, new QStandardItem(info.itemName));
        m_tableModel->setItem(row, 1, new QStandardItem(info.resultText));
        m_tableModel->setItem(row, 2, new QStandardItem(QString::number(info.resultValue)));
    }
}

void OfflineCheckResultWidget::checkBoxChange(int status)
{
    m_startButton->setEnabled(status != Qt::Unchecked);
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

void OfflineCheckResultWidget::startCVEUpgrade()
{
    // Held down until the answer is in, so that a second press cannot ask twice.
    m_startButton->setEnabled(false);
    m_model->requestBackupStatus(this, [this](bool backupSupported) {
        m_startButton->setEnabled(m_checkBox->isChecked());
        // From a fresh event: the confirmation runs an event loop of its own, which should
        // not sit inside the bus library's delivery of this answer.
        QTimer::singleShot(0, this, [this, backupSupported] { confirmUpgrade(backupSupported); });
    });
}

void OfflineCheckResultWidget::confirmUpgrade(bool backupSupported)
{
    auto *dialog = new ConfirmDialog(backupSupported, this);
    // Direct: the progress dialog must cover the screen and the upgrade be under way before
    // the confirmation has closed, so that nothing on the page can be touched in between.
    connect(dialog, &ConfirmDialog::sendStartUpgrade, this, &OfflineCheckResultWidget::startUpgrade,
        Qt::DirectConnection);
    dialog->exec();
    dialog->deleteLater();
}

void OfflineCheckResultWidget::startUpgrade()
{
    // A dialog left from a failed attempt is closed already; only the new one may stay.
    if (m_progressDialog)
        m_progressDialog->deleteLater();
    m_upgrade = Upgrading;
    m_progressDialog = new OfflineUpgradeDialog(m_model, this);
    m_progressDialog->raise();
    m_progressDialog->show();
    m_progressDialog->grabKeyboard();
    m_model->startOfflineUpgrade();
}

void OfflineCheckResultWidget::closeProgressDialog()
{
    if (!m_progressDialog)
        return;
    m_progressDialog->releaseKeyboard();
    m_progressDialog->close();
}

void OfflineCheckResultWidget::acceptOfflineUpgradeProgress(int progress, int code)
{
    // The daemon broadcasts its progress: an upgrade that another client started, or one that
    // this page has given up on, must not close dialogs or reboot the machine.
    if (m_upgrade != Upgrading) {
        qInfo() << "OfflineCheckResultWidget: progress of an upgrade this page is not running:"
                << progress << code;
        return;
    }
    if (code < 0) {
        failUpgrade(code == BackupFailed
                ? tr("System backup failed, please contact administrator to resolve.")
                : tr("The upgrade fails due to an exception in the resource package, perform a "
                     "system restoration."));
        return;
    }

    if (m_progressDialog)
        m_progressDialog->setUpgradeProgress(progress);
    if (progress != DoneStage)
        return;

    // The screen stays covered while the hooks run as root: the system is still changing.
    m_upgrade = RunningHooks;
    if (m_progressDialog)
        m_progressDialog->setUpgradeInfo(tr("Running the package's post-upgrade scripts..."));
    m_model->systemReboot();
}

void OfflineCheckResultWidget::acceptRebootRequested()
{
    if (m_upgrade != RunningHooks)
        return;
    m_upgrade = NoUpgrade;
    closeProgressDialog();
    showNotice(tr("If the upgrade is successful, restart the system to take effect"));
}

void OfflineCheckResultWidget::showNotice(const QString &text)
{
    QWidget *over = m_progressDialog && m_progressDialog->isVisible()
        ? static_cast<QWidget *>(m_progressDialog.data())
        : this;
    showFloatingNotice(over, text);
}

void OfflineCheckResultWidget::acceptExecDistUpgradeInfo(const QString &info)
{
    if (m_upgrade == Upgrading && m_progressDialog)
        m_progressDialog->setUpgradeInfo(info);
}

void OfflineCheckResultWidget::acceptOfflineUpgradeFailed(const QString &reason)
{
    if (m_upgrade == Upgrading)
        failUpgrade(tr("The upgrade could not be started: %1").arg(reason));
}

void OfflineCheckResultWidget::acceptDaemonVanished()
{
    // While the hooks run, the answer to them (an error, now) decides; the upgrade itself has
    // succeeded by then.
    if (m_upgrade != Upgrading)
        return;
    failUpgrade(tr("The offline update service stopped during the upgrade. The system may be "
                   "partly upgraded: have it checked before you restart it."));
}

void OfflineCheckResultWidget::failUpgrade(const QString &message)
{
    m_upgrade = NoUpgrade;
    closeProgressDialog();
    QTimer::singleShot(FailureDialogDelayMs, this, [message] {
        Karvo::Dialog dialog;
        dialog.setFixedSize(300, 150);
        dialog.setIcon(themeIcon(QStringLiteral("vsk_yellow_tip")));
        dialog.setMessage(message);
        dialog.setWordWrapMessage(true);
        dialog.addButton(tr("OK", "Button"), false, Karvo::Dialog::ButtonNormal);
        dialog.exec();
    });
}
