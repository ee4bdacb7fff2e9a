#include "spinner.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPainter>
#include <QTimer>
#include <QtMath>

namespace Karvo {

namespace {

const int DotCount = 12;
const int FrameInterval = 80;

// A busy indicator is read out as a progress bar that is busy while it turns, and the reader
// learns when it stops.
class AccessibleSpinner : public QAccessibleWidget
{
public:
    explicit AccessibleSpinner(QWidget *widget)
        : QAccessibleWidget(widget, QAccessible::ProgressBar)
    { }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.busy = static_cast<const Spinner *>(widget())->isPlaying();
        return state;
    }
};

QAccessibleInterface *accessibleSpinner(const QString &className, QObject *object)
{
    if (className == QLatin1String("Karvo::Spinner") && object && object->isWidgetType())
        return new AccessibleSpinner(static_cast<QWidget *>(object));
    return nullptr;
}

void announceBusy(Spinner *spinner)
{
    QAccessible::State changed;
    changed.busy = true;
    QAccessibleStateChangeEvent event(spinner, changed);
    QAccessible::updateAccessibility(&event);
}

} // namespace

Spinner::Spinner(QWidget *parent)
    : QWidget(parent)
    , m_timer(new QTimer(this))
{
    m_timer->setInterval(FrameInterval);
    connect(m_timer, &QTimer::timeout, this, [this] {
        m_step = (m_step + 1) % DotCount;
        update();
    });
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    static const bool accessible = (QAccessible::installFactory(accessibleSpinner), true);
    Q_UNUSED(accessible)
}

bool Spinner::isPlaying() const
{
    return m_timer->isActive();
}

QSize Spinner::sizeHint() const
{
    return QSize(32, 32);
}

void Spinner::start()
{
    m_timer->start();
    announceBusy(this);
}

void Spinner::stop()
{
    m_timer->stop();
    update();
    announceBusy(this);
}

void Spinner::paintEvent(QPaintEvent *)
{
    const qreal side = qMin(width(), height());
    if (side <= 0)
        return;
    const qreal dotRadius = side / 14.0;
    const qreal ringRadius = side / 2.0 - dotRadius - 1;
    QColor accent
        = palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Highlight);

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.translate(width() / 2.0, height() / 2.0);
    for (int i = 0; i < DotCount; ++i) {
        // Dot |m_step| is the head; the ones behind it fade, the rest stay faint. A stopped
        // spinner keeps its last frame.
        const int behind = (m_step - i + DotCount) % DotCount;
        const qreal strength = qMax(0.2, 1.0 - behind * 0.12);
        accent.setAlphaF(strength);
        painter.setBrush(accent);
        const qreal angle = 2 * M_PI * i / DotCount - M_PI_2;
        const qreal scale = 0.65 + 0.35 * strength;
        painter.drawEllipse(QPointF(ringRadius * qCos(angle), ringRadius * qSin(angle)),
            dotRadius * scale, dotRadius * scale);
    }
}

} // namespace Karvo
