#pragma once

#include <QWidget>

class OfflineUpdateModel;

namespace Karvo {
class Label;
} // namespace Karvo

// The check result page as it stands for now: it names the check item that the daemon reported
// and says whether it passed. The table of all items and the way to the upgrade come later.
class OfflineCheckResultWidget : public QWidget
{
    Q_OBJECT

public:
    OfflineCheckResultWidget(
        OfflineUpdateModel *model, int itemType, bool result, QWidget *parent = nullptr);

    // The name of check item |itemType| (0 to 6) as the user reads it.
    static QString itemName(int itemType);

private:
    void initUI();
    void initData();

    OfflineUpdateModel *m_model;
    int m_itemType;
    bool m_result;
    Karvo::Label *m_itemLabel = nullptr;
    Karvo::Label *m_resultLabel = nullptr;
};
