#pragma once

#include <QWidget>

class ISOUpdateModel;

// The ISO update module's only page, which has nothing to offer yet.
class ISOUpdateWidget : public QWidget
{
    Q_OBJECT

public:
    explicit ISOUpdateWidget(ISOUpdateModel *model, QWidget *parent = nullptr);

private:
    void initUI();

    ISOUpdateModel *m_model = nullptr;
};
