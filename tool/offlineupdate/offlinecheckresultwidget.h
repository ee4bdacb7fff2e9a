#pragma once

#include "upgradeplan.h"

#include <QPointer>
#include <QWidget>

struct CheckDetails;
struct UserMessage;
class CheckTableView;
class DetailsDisclosure;
class GarrolanTableHeaderView;
class OfflineUpdateDelegate;
class OfflineUpdateModel;
class OfflineUpgradeDialog;
class QCheckBox;
class QLabel;
class QPushButton;
class QStandardItemModel;
class UpgradeFlow;
class UpgradePlanRow;

namespace Karvo {
class CommandLinkButton;
class Dialog;
class Frame;
class Label;
class Spinner;
class SuggestButton;
} // namespace Karvo

// The page that shows the outcome of a package check: why the package could not be examined
// at all (items 0 to 2), else the table of check items with the upgrade type and the package
// signature, and after a failure the daemon's reason in words. Every failure offers the way
// back to choose another package. When every item passed, the plan's summary leads to the whole
// plan, and the acknowledgement box unlocks the upgrade, which UpgradeFlow runs: confirmation, the full-screen progress dialog, the
// post-upgrade hooks, and at the end the success state with "Restart now" and "Later", or the
// failure message. What the daemon tells besides the report arrives later; the page fills in
// then.
class OfflineCheckResultWidget : public QWidget
{
    Q_OBJECT

public:
    OfflineCheckResultWidget(
        OfflineUpdateModel *model, int itemType, bool result, QWidget *parent = nullptr);

    // The package the report is about; its file name is shown above the outcome.
    void setPackageFile(const QString &path);
    UpgradeFlow *upgradeFlow() const { return m_flow; }
    bool upgradeUnderWay() const;
    // Shows |text| briefly over whatever of this page is in front, the progress screen included.
    void showNotice(const QString &text);
    // The dialog that says why an upgrade failed, sized to its text, details closed.
    static Karvo::Dialog *newFailureDialog(const UserMessage &message);

signals:
    // The user wants to go back and choose another package.
    void chooseAnotherPackage();
    // The user wants the same package checked again: the system changed since its check.
    void checkAgainRequested();

public slots:
    void checkBoxChange(int status);
    void startCVEUpgrade();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void initUI();
    void initData();
    QWidget *loadCheckErrorWidget();
    QWidget *loadCheckResultWidget();
    QWidget *loadSuccessWidget();
    QWidget *loadButtonRow();
    Karvo::Frame *loadOfflineUpdateTable();
    void showCheckDetails(const CheckDetails &details);
    void showFailureReason(const UserMessage &message);
    void fillTable(const CheckDetails &details);
    void openRecoveryGuide();
    void confirmUpgrade(bool backupSupported);
    void acceptFlowState();
    void closeProgressDialog();
    void showUpgradeFailure();
    void showSuccess();
    void updateFocusChain();
    QPushButton *defaultButton() const;

    OfflineUpdateModel *m_model;
    UpgradeFlow *m_flow;
    int m_itemType;
    bool m_result;
    bool m_detailsShown = false;
    Karvo::Label *m_packageLabel = nullptr;
    QWidget *m_errorWidget = nullptr;
    QLabel *m_errorIcon = nullptr;
    Karvo::Label *m_errorLabel = nullptr;
    DetailsDisclosure *m_errorDetails = nullptr;
    Karvo::Spinner *m_spinner = nullptr;
    QWidget *m_resultWidget = nullptr;
    Karvo::Frame *m_tableFrame = nullptr;
    UpgradePlanRow *m_planRow = nullptr;
    OfflineUpdate::UpgradePlan m_plan;
    QWidget *m_upgradeControls = nullptr;
    CheckTableView *m_tableView = nullptr;
    QStandardItemModel *m_tableModel = nullptr;
    GarrolanTableHeaderView *m_headerView = nullptr;
    OfflineUpdateDelegate *m_delegate = nullptr;
    QCheckBox *m_checkBox = nullptr;
    Karvo::CommandLinkButton *m_guideLink = nullptr;
    QWidget *m_buttonRow = nullptr;
    QPushButton *m_backButton = nullptr;
    Karvo::SuggestButton *m_startButton = nullptr;
    QWidget *m_successWidget = nullptr;
    Karvo::Label *m_successText = nullptr;
    DetailsDisclosure *m_successDetails = nullptr;
    QPushButton *m_laterButton = nullptr;
    Karvo::SuggestButton *m_restartButton = nullptr;
    QPointer<OfflineUpgradeDialog> m_progressDialog;
};
