#include "offlineupdatewidget.h"

#include "offlineupdatemodel.h"
#include "suggestbutton.h"

#include <QFileDialog>
#include <QVBoxLayout>

OfflineUpdateWidget::OfflineUpdateWidget(OfflineUpdateModel *model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
{
    initUI();
    initData();
}

void OfflineUpdateWidget::initUI()
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);

    setAccessibleName(tr("Import"));
    m_importButton = new Karvo::SuggestButton(this);
    m_importButton->setFixedWidth(200);
    m_importButton->setText(tr("Import offline file (.oup)"));
    // Return presses the page's only button, as a dialog's default button.
    m_importButton->setAutoDefault(true);
    layout->addWidget(m_importButton, 0, Qt::AlignHCenter);
    setFocusProxy(m_importButton);
}

void OfflineUpdateWidget::initData()
{
    connect(m_importButton, &QPushButton::clicked, this, &OfflineUpdateWidget::acceptImportFiles);
}

void OfflineUpdateWidget::acceptImportFiles()
{
    const QString path = QFileDialog::getOpenFileName(
        this, tr("Import offline file (.oup)"), QString(), QStringLiteral("oup Files (*.oup)"));
    setOfflineUpdateFile(path);
}

void OfflineUpdateWidget::setOfflineUpdateFile(const QString &path)
{
    if (path.contains(QLatin1String(".oup"), Qt::CaseSensitive))
        m_model->setCheckFilePath(path);
}
