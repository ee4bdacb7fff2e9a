#pragma once

#include <QPointer>
#include <QWidget>

struct CheckDetails;
class GarrolanTableHeaderView;
class OfflineUpdateDelegate;
class OfflineUpdateModel;
class OfflineUpgradeDialog;
class QCheckBox;
class QLabel;
class QStandardItemModel;
class QTableView;

namespace Karvo {
class CommandLinkButton;
class Frame;
class Label;
class Spinner;
class SuggestButton;
} // namespace Karvo

// The page that shows the outcome of a package check: an error sentence when the package could
// not be examined at all (items 0 to 2), else the table of check items with the upgrade type and
// the package signature, and after a failure the daemon's reason in words. When every item
// passed, the acknowledgement box unlocks the way to the upgrade: confirmation, the full-screen
// progress dialog, the post-upgrade hooks, and at the end the reboot request or the failure
// message. What the daemon tells besides the report arrives later; the page fills in then.
class OfflineCheckResultWidget : public QWidget
{
    Q_OBJECT

public:
    OfflineCheckResultWidget(
        OfflineUpdateModel *model, int itemType, bool result, QWidget *parent = nullptr);

    // From the confirmation until the reboot request or a failure: the progress reports then
    // belong to this page's upgrade.
    bool upgradeUnderWay() const { return m_upgrade != NoUpgrade; }
    // Shows |text| briefly over whatever of this page is in front, the progress screen included.
    void showNotice(const QString &text);

public slots:
    void checkBoxChange(int status);
    void startCVEUpgrade();
    void acceptOfflineUpgradeProgress(int progress, int code);
    void acceptExecDistUpgradeInfo(const QString &info);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private slots:
    void acceptOfflineUpgradeFailed(const QString &reason);
    void acceptDaemonVanished();
    void acceptRebootRequested();

private:
    enum Upgrade { NoUpgrade, Upgrading, RunningHooks };

    void initUI();
    void initData();
    QWidget *loadCheckErrorWidget();
    QWidget *loadCheckResultWidget();
    Karvo::Frame *loadOfflineUpdateTable();
    void showCheckDetails(const CheckDetails &details);
    void fillTable(const CheckDetails &details);
    void openRecoveryGuide();
    void confirmUpgrade(bool backupSupported);
    void startUpgrade();
    void closeProgressDialog();
    // Ends the upgrade and shows |message| in a dialog of its own a second after the progress
    // dialog has gone.
    void failUpgrade(const QString &message);

    OfflineUpdateModel *m_model;
    int m_itemType;
    bool m_result;
    bool m_detailsShown = false;
    Upgrade m_upgrade = NoUpgrade;
    QWidget *m_errorWidget = nullptr;
    QLabel *m_errorIcon = nullptr;
    Karvo::Label *m_errorLabel = nullptr;
    Karvo::Spinner *m_spinner = nullptr;
    QWidget *m_resultWidget = nullptr;
    QWidget *m_upgradeControls = nullptr;
    QTableView *m_tableView = nullptr;
    QStandardItemModel *m_tableModel = nullptr;
    GarrolanTableHeaderView *m_headerView = nullptr;
    OfflineUpdateDelegate *m_delegate = nullptr;
    QCheckBox *m_checkBox = nullptr;
    Karvo::CommandLinkButton *m_guideLink = nullptr;
    Karvo::SuggestButton *m_startButton = nullptr;
    QPointer<OfflineUpgradeDialog> m_progressDialog;
};
