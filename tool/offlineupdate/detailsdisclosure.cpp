#include "detailsdisclosure.h"

#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>

DetailsDisclosure::DetailsDisclosure(QWidget *parent)
    : QWidget(parent)
    , m_toggle(new QToolButton(this))
    , m_text(new QLabel(this))
{
    m_toggle->setText(tr("Details"));
    m_toggle->setAccessibleName(tr("Details"));
    m_toggle->setCheckable(true);
    m_toggle->setAutoRaise(true);
    m_toggle->setArrowType(Qt::RightArrow);
    m_toggle->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    // The arrow at the size of the text beside it.
    const int arrow = m_toggle->fontMetrics().height() / 2;
    m_toggle->setIconSize(QSize(arrow, arrow));
    m_toggle->setFocusPolicy(Qt::StrongFocus);

    m_text->setWordWrap(true);
    m_text->setTextFormat(Qt::PlainText);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_text->setFocusPolicy(Qt::StrongFocus);
    m_text->setAccessibleName(tr("Technical details"));
    m_text->hide();

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addWidget(m_toggle, 0, Qt::AlignHCenter);
    layout->addWidget(m_text);

    connect(m_toggle, &QToolButton::toggled, this, &DetailsDisclosure::setExpanded);
    setVisible(false);
}

void DetailsDisclosure::setDetails(const QString &details)
{
    m_text->setText(details);
    setVisible(!details.isEmpty());
}

QString DetailsDisclosure::details() const
{
    return m_text->text();
}

bool DetailsDisclosure::isExpanded() const
{
    return m_toggle->isChecked();
}

void DetailsDisclosure::setExpanded(bool expanded)
{
    m_toggle->setChecked(expanded);
    m_toggle->setArrowType(expanded ? Qt::DownArrow : Qt::RightArrow);
    if (m_text->isHidden() == !expanded)
        return;
    m_text->setVisible(expanded);
    emit expandedChanged(expanded);
}
