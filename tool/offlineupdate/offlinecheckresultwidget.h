#pragma once

#include <QPointer>
#include <QWidget>

class GarrolanTableHeaderView;
class OfflineUpdateDelegate;
class OfflineUpdateModel;
class OfflineUpgradeDialog;
class QCheckBox;
class QStandardItemModel;
class QTableView;

namespace Karvo {
class CommandLinkButton;
class Frame;
class Label;
class SuggestButton;
} // namespace Karvo

// The page that shows the outcome of a package check: an error sentence when the package could
// not be examined at all (items 0 to 2), else the table of check items with the upgrade type.
// When every item passed, the acknowledgement box unlocks the way to the upgrade: confirmation,
// the full-screen progress dialog, and at the end the reboot request or the failure message.
class OfflineCheckResultWidget : public QWidget
{
    Q_OBJECT

public:
    OfflineCheckResultWidget(
        OfflineUpdateModel *model, int itemType, bool result, QWidget *parent = nullptr);

    void setCheckResultWidget(int itemType, bool result);

public slots:
    void checkBoxChange(int status);
    void startCVEUpgrade();
    void acceptOfflineUpgradeProgress(int progress, int code);
    void acceptExecDistUpgradeInfo(const QString &info);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private slots:
    void acceptOfflineUpgradeFailed(const QString &reason);

private:
    void initUI();
    void initData();
    QWidget *loadCheckErrorWidget();
    QWidget *loadCheckResultWidget();
    Karvo::Frame *loadOfflineUpdateTable();
    void openRecoveryGuide();
    void startUpgrade();
    void closeProgressDialog();
    // Shows |message| in a dialog of its own a second after the progress dialog has gone.
    void showUpgradeFailure(const QString &message);

    OfflineUpdateModel *m_model;
    int m_itemType;
    bool m_result;
    QWidget *m_errorWidget = nullptr;
    Karvo::Label *m_errorLabel = nullptr;
    QWidget *m_resultWidget = nullptr;
    QTableView *m_tableView = nullptr;
    QStandardItemModel *m_tableModel = nullptr;
    GarrolanTableHeaderView *m_headerView = nullptr;
    OfflineUpdateDelegate *m_delegate = nullptr;
    QCheckBox *m_checkBox = nullptr;
    Karvo::CommandLinkButton *m_guideLink = nullptr;
    Karvo::SuggestButton *m_startButton = nullptr;
    QPointer<OfflineUpgradeDialog> m_progressDialog;
};
