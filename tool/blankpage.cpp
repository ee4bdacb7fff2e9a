#include "blankpage.h"

#include <QLabel>
#include <QVBoxLayout>

BlankPage::BlankPage(QWidget *parent)
    : QWidget(parent)
{
    initUI();
}

void BlankPage::initUI()
{
    auto *layout = new QVBoxLayout(this);
    // Without a word on it the empty page would look as if it had failed to load.
    auto *note = new QLabel(tr("Nothing to show here yet"), this);
    note->setObjectName(QStringLiteral("placeholderLabel"));
    note->setAlignment(Qt::AlignCenter);
    note->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(note, 0, Qt::AlignCenter);
}
