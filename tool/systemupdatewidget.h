#pragma once

#include "blankpage.h"

class SystemUpdateModel;

// The system update module's only page.
class SystemUpdateWidget : public BlankPage
{
    Q_OBJECT

public:
    explicit SystemUpdateWidget(SystemUpdateModel *model, QWidget *parent = nullptr);

private:
    SystemUpdateModel *m_model = nullptr;
};
