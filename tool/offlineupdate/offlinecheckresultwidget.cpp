#include "offlinecheckresultwidget.h"

#include "builtinicons.h"
#include "checkresultinfo.h"
#include "commandlinkbutton.h"
#include "confirmdialog.h"
#include "dialog.h"
#include "floatingmessage.h"
#include "fontsizemanager.h"
#include "frame.h"
#include "garrolantableheaderview.h"
#include "label.h"
#include "licensedialog.h"
#include "messagemanager.h"
#include "offlineupdatedelegate.h"
#include "offlineupdatemodel.h"
#include "offlineupgradedialog.h"
#include "suggestbutton.h"

#include <QCheckBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QStandardItemModel>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace {

enum ResultValue { Information = -1, NotDetected = 0, Failed = 1, Passed = 2 };

constexpr int PatchUpgrade = 2;
constexpr int GuideLinkWidth = 490;
constexpr int FailureDialogDelayMs = 1000;
constexpr int BackupFailed = -1;

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
    case 3:
        return { Failed, NotDetected, NotDetected, NotDetected };
    case 4:
        return { Passed, Failed, NotDetected, NotDetected };
    case 5:
        return { Passed, Passed, Failed, NotDetected };
    case 6:
        if (!result)
            return { Passed, Passed, Passed, Failed };
        break;
    default:
        // A failure of an item this page does not know must not read as a pass that
        // unlocks the upgrade.
        if (!result && (itemType < 0 || itemType > 6))
            return { NotDetected, NotDetected, NotDetected, NotDetected };
        break;
    }
    return { Passed, Passed, Passed, Passed };
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
    setCheckResultWidget(m_itemType, m_result);
    initData();
}

void OfflineCheckResultWidget::initUI()
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addSpacerItem(new QSpacerItem(1, 1, QSizePolicy::Minimum, QSizePolicy::Expanding));
    layout->addWidget(loadCheckErrorWidget(), 0);
    layout->addWidget(loadCheckResultWidget(), 0);
    layout->addSpacerItem(new QSpacerItem(1, 1, QSizePolicy::Minimum, QSizePolicy::Expanding));

    m_checkBox->setEnabled(false);
    m_guideLink->setEnabled(false);
    m_startButton->setEnabled(false);
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
}

QWidget *OfflineCheckResultWidget::loadCheckErrorWidget()
{
    m_errorWidget = new QWidget(this);
    auto *layout = new QVBoxLayout(m_errorWidget);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);

    auto *icon = new QLabel(m_errorWidget);
    icon->setPixmap(themeIcon(QStringLiteral("icon_fail")).pixmap(100, 100));
    icon->setAlignment(Qt::AlignHCenter);
    layout->addWidget(icon, 0, Qt::AlignCenter);

    m_errorLabel = new Karvo::Label(
        tr("Insufficient disk space, please clean up disk space and try again!"), m_errorWidget);
    Karvo::FontSizeManager::instance()->bind(m_errorLabel, Karvo::FontSizeManager::T6);
    layout->addWidget(m_errorLabel, 0, Qt::AlignCenter);
    return m_errorWidget;
}

QWidget *OfflineCheckResultWidget::loadCheckResultWidget()
{
    m_resultWidget = new QWidget(this);
    auto *layout = new QVBoxLayout(m_resultWidget);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->setSpacing(10);
    layout->addWidget(loadOfflineUpdateTable(), 0);
    layout->addSpacing(30);

    auto *acknowledgement = new QHBoxLayout;
    acknowledgement->setContentsMargins(0, 0, 0, 0);
    acknowledgement->setSpacing(0);
    m_checkBox = new QCheckBox(tr("I have read and understand"), m_resultWidget);
    m_checkBox->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Minimum);
    Karvo::FontSizeManager::instance()->bind(m_checkBox, Karvo::FontSizeManager::T6);
    acknowledgement->addWidget(m_checkBox, 0, Qt::AlignLeft);

    const QString guide
        = tr("How to restore the system after abnormal system startup after successful upgrade");
    m_guideLink = new Karvo::CommandLinkButton(m_resultWidget);
    Karvo::FontSizeManager::instance()->bind(m_guideLink, Karvo::FontSizeManager::T6);
    m_guideLink->setText(
        m_guideLink->fontMetrics().elidedText(guide, Qt::ElideMiddle, GuideLinkWidth));
    m_guideLink->setToolTip(guide);
    m_guideLink->installEventFilter(this);
    acknowledgement->addWidget(m_guideLink, 0, Qt::AlignLeft);
    acknowledgement->addStretch();
    layout->addLayout(acknowledgement);
    layout->addSpacing(50);

    m_startButton = new Karvo::SuggestButton(tr("Start Upgrade"), m_resultWidget);
    m_startButton->setFixedWidth(200);
    layout->addWidget(m_startButton, 0, Qt::AlignCenter);
    return m_resultWidget;
}

Karvo::Frame *OfflineCheckResultWidget::loadOfflineUpdateTable()
{
    auto *frame = new Karvo::Frame(m_resultWidget);
    frame->setFixedHeight(330);
    auto *layout = new QVBoxLayout(frame);
    layout->setContentsMargins(1, 1, 1, 1);

    m_tableView = new QTableView(frame);
    m_tableView->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_tableView->setSelectionMode(QAbstractItemView::NoSelection);
    m_tableView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_tableView->setFrameShape(QFrame::NoFrame);
    m_tableView->verticalHeader()->hide();
    m_tableView->verticalHeader()->setDefaultSectionSize(48);
    m_tableView->setShowGrid(false);

    m_delegate = new OfflineUpdateDelegate(this);
    m_tableView->setItemDelegate(m_delegate);

    m_headerView = new GarrolanTableHeaderView(Qt::Horizontal, m_tableView);
    m_headerView->setFixedHeight(36);
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

void OfflineCheckResultWidget::setCheckResultWidget(int itemType, bool result)
{
    if (!result && itemType >= 0 && itemType <= 2) {
        static const char *const errors[] = {
            QT_TR_NOOP("Insufficient disk space, please clean up disk space and try again!"),
            QT_TR_NOOP("File corrupted, please check and try again!"),
            QT_TR_NOOP("System environment is abnormal, contact the administrator！"),
        };
        m_resultWidget->hide();
        m_errorLabel->setText(tr(errors[itemType]));
        return;
    }
    m_errorWidget->hide();

    QList<CheckResultInfo> rows;
    if (m_model->getUpgradeType() == PatchUpgrade) {
        rows.append({ tr("Upgrade Type"), tr("CVE Patch Update"), Information });
        rows.append({ tr("Vulnerability ID"), m_model->getPatchUpgradeSerial(), Information });
    } else {
        rows.append({ tr("Upgrade Type"), tr("System Update"), Information });
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
    const Verdicts verdicts = verdictsFor(itemType, result);
    rows.append(
        { tr("System Version Detection"), verdictText(verdicts.version), verdicts.version });
    rows.append({ tr("Offline Package Architecture Detection"), verdictText(verdicts.architecture),
        verdicts.architecture });
    rows.append({ tr("Disk Space Detection"), verdictText(verdicts.space), verdicts.space });

    const bool upgradable = verdicts.count == Passed;
    const QString countText = upgradable
        ? tr("%1 item(s)").arg(m_model->getDistUpgradeSum())
        : (verdicts.count == Failed ? tr("No available update package")
                                    : verdictText(verdicts.count));
    rows.append({ tr("Offline Package Update Number Detection"), countText, verdicts.count });

    m_checkBox->setEnabled(upgradable);
    m_guideLink->setEnabled(upgradable);

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
    auto *dialog = new ConfirmDialog(m_model->getABSystemBackupStatus(), this);
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
    if (code < 0) {
        closeProgressDialog();
        showUpgradeFailure(code == BackupFailed
                ? tr("System backup failed, please contact administrator to resolve.")
                : tr("The upgrade fails due to an exception in the resource package, perform a "
                     "system restoration."));
        return;
    }

    if (m_progressDialog)
        m_progressDialog->setUpgradeProgress(progress);
    if (progress != 100)
        return;

    closeProgressDialog();
    m_model->systemReboot();
    auto *message = new Karvo::FloatingMessage(Karvo::FloatingMessage::TransientType);
    message->setDuration(2000);
    message->setIcon(themeIcon(QStringLiteral("vsk_yellow_tip")));
    message->setMessage(tr("If the upgrade is successful, restart the system to take effect"));
    Karvo::MessageManager::instance()->sendMessage(this, message);
    Karvo::MessageManager::instance()->setContentMargins(this, QMargins(0, 0, 0, 10));
}

void OfflineCheckResultWidget::acceptExecDistUpgradeInfo(const QString &info)
{
    if (m_progressDialog)
        m_progressDialog->setUpgradeInfo(info);
}

void OfflineCheckResultWidget::acceptOfflineUpgradeFailed(const QString &reason)
{
    closeProgressDialog();
    showUpgradeFailure(tr("The upgrade could not be started: %1").arg(reason));
}

void OfflineCheckResultWidget::showUpgradeFailure(const QString &message)
{
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
