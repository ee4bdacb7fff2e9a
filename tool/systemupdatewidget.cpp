#include "systemupdatewidget.h"

#include <QLabel>
#include <QVBoxLayout>

SystemUpdateWidget::SystemUpdateWidget(SystemUpdateModel *model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
{
    initUI();
}

void SystemUpdateWidget::initUI()
{
    auto *layout = new QVBoxLayout(this);
    // Without a word on it the empty page would look as if it had failed to load.
    auto *note = new QLabel(tr("Nothing to show here yet"), this);
    note->setObjectName(QStringLiteral("placeholderLabel"));
    note->setAlignment(Qt::AlignCenter);
    note->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(note, 0, Qt::AlignCenter);
}
