#pragma once

#include <QWidget>

class LastUpgradeNotice;
class OfflineUpdateModel;
struct HistoryEntry;

namespace Karvo {
class SuggestButton;
} // namespace Karvo

// The import page: one button that opens a file dialog for an offline update package, and above
// it, when the module has one to tell, how the user's last upgrade ended. It only hands an
// accepted path to the model; the module swaps the pages.
class OfflineUpdateWidget : public QWidget
{
    Q_OBJECT

public:
    explicit OfflineUpdateWidget(OfflineUpdateModel *model, QWidget *parent = nullptr);

    // Takes |path| when it contains ".oup" anywhere (case-sensitive, so "a.oup.bak" is taken and
    // "A.OUP" is not); anything else, an empty path from a cancelled dialog included, is ignored
    // without a message.
    void setOfflineUpdateFile(const QString &path);
    void showLastUpgrade(const HistoryEntry &entry);
    LastUpgradeNotice *lastUpgradeNotice() const { return m_notice; }

public slots:
    void acceptImportFiles();

private:
    void initUI();
    void initData();

    OfflineUpdateModel *m_model;
    Karvo::SuggestButton *m_importButton = nullptr;
    LastUpgradeNotice *m_notice = nullptr;
};
