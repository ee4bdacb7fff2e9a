#include "floatingmessage.h"

#include "fontsizemanager.h"
#include "palettehelper.h"
#include "style.h"
#include "titlebarbutton.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QTimer>

namespace Karvo {

namespace {

// Room around the bubble for its soft shadow.
const int ShadowWidth = 6;
const int IconSide = 24;
const int MaximumTextWidth = 420;

} // namespace

FloatingMessage::FloatingMessage(MessageType type, QWidget *parent)
    : QWidget(parent)
    , m_type(type)
    , m_icon(new QLabel)
    , m_text(new QLabel)
{
    m_icon->setFixedSize(IconSide, IconSide);
    m_icon->hide();
    m_text->setTextFormat(Qt::PlainText);
    m_text->setWordWrap(true);
    m_text->setForegroundRole(QPalette::WindowText);

    const int padding = Style::metric(this, Style::PM_ContentsMargins);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(ShadowWidth + padding + 2, ShadowWidth + padding - 2,
        ShadowWidth + padding + 2, ShadowWidth + padding - 2);
    layout->setSpacing(padding);
    layout->addWidget(m_icon, 0, Qt::AlignVCenter);
    layout->addWidget(m_text, 1, Qt::AlignVCenter);

    if (m_type == ResidentType) {
        auto *close = new TitleBarButton(TitleBarButton::CloseGlyph);
        close->setFixedSize(24, 24);
        close->setAccessibleName(tr("Close"));
        layout->addWidget(close, 0, Qt::AlignVCenter);
        connect(close, &QPushButton::clicked, this, [this] {
            emit closeButtonClicked();
            hide();
            deleteLater();
        });
    } else {
        m_timer = new QTimer(this);
        m_timer->setSingleShot(true);
        // A coarse timer may fire a little early; the promise is "not before the duration".
        m_timer->setTimerType(Qt::PreciseTimer);
        m_timer->setInterval(m_duration);
        connect(m_timer, &QTimer::timeout, this, &QObject::deleteLater);
    }
    setAttribute(Qt::WA_TranslucentBackground);
    FontSizeManager::instance()->bind(this, FontSizeManager::T6);
}

void FloatingMessage::setDuration(int ms)
{
    m_duration = qMax(0, ms);
    if (!m_timer)
        return;
    m_timer->setInterval(m_duration);
    if (m_timer->isActive())
        m_timer->start();
}

void FloatingMessage::setIcon(const QIcon &icon)
{
    m_icon->setPixmap(icon.pixmap(IconSide, IconSide));
    m_icon->setVisible(!icon.isNull());
}

QString FloatingMessage::message() const
{
    return m_text->text();
}

void FloatingMessage::setMessage(const QString &message)
{
    m_text->setText(message);
    updateTextWidth();
}

void FloatingMessage::updateTextWidth()
{
    // A wrapping label asks for an arbitrary width of its own; ask for the one-line width.
    const int natural = m_text->fontMetrics().horizontalAdvance(m_text->text()) + 1;
    m_text->setMinimumWidth(qMin(natural, MaximumTextWidth));
}

void FloatingMessage::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange)
        updateTextWidth();
    QWidget::changeEvent(event);
}

void FloatingMessage::showEvent(QShowEvent *event)
{
    // The time counts from the first appearance, not from construction: a message built
    // ahead and sent later still gets its full duration.
    if (m_timer && !m_timerStarted) {
        m_timerStarted = true;
        m_timer->start();
    }
    QWidget::showEvent(event);
}

void FloatingMessage::paintEvent(QPaintEvent *)
{
    const qreal radius = Style::metric(this, Style::PM_FrameRadius);
    const QRectF bubble
        = QRectF(rect()).adjusted(ShadowWidth, ShadowWidth - 2, -ShadowWidth, -ShadowWidth - 2);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    for (int i = ShadowWidth; i > 0; --i) {
        painter.setPen(QPen(QColor(0, 0, 0, 5 + 3 * (ShadowWidth - i)), 1));
        painter.drawRoundedRect(bubble.adjusted(-i, -i + 2, i, i + 2), radius + i, radius + i);
    }
    painter.setPen(PaletteHelper::instance()->color(PaletteHelper::FrameBorder));
    painter.setBrush(palette().brush(QPalette::Base));
    painter.drawRoundedRect(bubble.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
}

} // namespace Karvo
