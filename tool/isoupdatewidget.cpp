#include "isoupdatewidget.h"

ISOUpdateWidget::ISOUpdateWidget(ISOUpdateModel *model, QWidget *parent)
    : BlankPage(parent)
    , m_model(model)
{
}
