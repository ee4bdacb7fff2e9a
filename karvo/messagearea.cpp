#include "messagearea.h"

#include "floatingmessage.h"
#include "style.h"

#include <QEvent>
#include <QVBoxLayout>

namespace Karvo {

MessageArea::MessageArea(QWidget *parent)
    : QWidget(parent)
    , m_layout(new QVBoxLayout(this))
{
    const int margin = Style::metric(parent, Style::PM_ContentsMargins);
    m_contentMargins = QMargins(margin, margin, margin, margin);
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);
    m_layout->setSizeConstraint(QLayout::SetNoConstraint);
    parent->installEventFilter(this);
    hide();
}

void MessageArea::setContentMargins(const QMargins &margins)
{
    m_contentMargins = margins;
    relayout();
}

void MessageArea::addMessage(FloatingMessage *message)
{
    m_layout->addWidget(message, 0, Qt::AlignHCenter);
    message->show();
    show();
    raise();
    relayout();
}

int MessageArea::messageCount() const
{
    return m_layout->count();
}

bool MessageArea::event(QEvent *event)
{
    // A message that deletes itself leaves the layout and asks for a new one.
    if (event->type() == QEvent::LayoutRequest) {
        relayout();
        if (m_layout->isEmpty())
            hide();
    }
    return QWidget::event(event);
}

bool MessageArea::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parent() && event->type() == QEvent::Resize)
        relayout();
    return QWidget::eventFilter(watched, event);
}

void MessageArea::relayout()
{
    const QWidget *window = parentWidget();
    const QRect inner = window->rect().marginsRemoved(m_contentMargins);
    const int width = qMin(inner.width(), m_layout->sizeHint().width());
    const int height = m_layout->hasHeightForWidth() ? m_layout->heightForWidth(width)
                                                     : m_layout->sizeHint().height();
    setGeometry(
        inner.left() + (inner.width() - width) / 2, inner.bottom() + 1 - height, width, height);
}

} // namespace Karvo
