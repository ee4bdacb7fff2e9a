#include "systemupdatewidget.h"

SystemUpdateWidget::SystemUpdateWidget(SystemUpdateModel *model, QWidget *parent)
    : BlankPage(parent)
    , m_model(model)
{
}
