#pragma once

#include "blankpage.h"

class ISOUpdateModel;

// The ISO update module's only page.
class ISOUpdateWidget : public BlankPage
{
    Q_OBJECT

public:
    explicit ISOUpdateWidget(ISOUpdateModel *model, QWidget *parent = nullptr);

private:
    ISOUpdateModel *m_model = nullptr;
};
