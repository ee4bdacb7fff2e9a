#pragma once

#include <QWidget>

class SystemUpdateModel;

// The system update module's only page, which has nothing to offer yet.
class SystemUpdateWidget : public QWidget
{
    Q_OBJECT

public:
    explicit SystemUpdateWidget(SystemUpdateModel *model, QWidget *parent = nullptr);

private:
    void initUI();

    SystemUpdateModel *m_model = nullptr;
};
