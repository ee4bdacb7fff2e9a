#include "offlineupdatewidget.h"

#include "lastupgradenotice.h"
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
    layout->setContentsMargins(30, 0, 30, 0);
    layout->setSpacing(10);

    setAccessibleName(tr("Import"));
    m_notice = new LastUpgradeNotice(this);
    m_notice->hide();
    layout->addStretch();
    layout->addWidget(m_notice);
    layout->addSpacing(20);
    m_importButton = new Karvo::SuggestButton(this);
    // At least as wide as the other pages' buttons; wider where the words need it.
    m_importButton->setMinimumWidth(200);
    m_importButton->setText(tr("Import offline file (.oup)"));
    // Return presses the page's only button, as a dialog's default button.
    m_importButton->setAutoDefault(true);
    layout->addWidget(m_importButton, 0, Qt::AlignHCenter);
    layout->addStretch();
    setFocusProxy(m_importButton);
    // The notice is read first, as it stands above the button.
    setTabOrder(m_notice->dismissButton(), m_importButton);
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

void OfflineUpdateWidget::showLastUpgrade(const HistoryEntry &entry)
{
    m_notice->setEntry(entry);
    m_notice->show();
}
