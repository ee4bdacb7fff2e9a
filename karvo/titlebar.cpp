#include "titlebar.h"

#include "fontsizemanager.h"
#include "style.h"
#include "titlebarbutton.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

namespace Karvo {

namespace {

const int BarHeight = 50;
const int IconSide = 32;

} // namespace

TitleBar::TitleBar(QWidget *parent)
    : QWidget(parent)
    , m_menuButton(new TitleBarButton(TitleBarButton::MenuGlyph))
    , m_minimizeButton(new TitleBarButton(TitleBarButton::MinimizeGlyph))
    , m_maximizeButton(new TitleBarButton(TitleBarButton::MaximizeGlyph))
    , m_closeButton(new TitleBarButton(TitleBarButton::CloseGlyph))
    , m_buttonBox(new QWidget)
{
    m_menuButton->setObjectName(QStringLiteral("karvo-titlebar-menu"));
    m_minimizeButton->setObjectName(QStringLiteral("karvo-titlebar-minimize"));
    m_maximizeButton->setObjectName(QStringLiteral("karvo-titlebar-maximize"));
    m_closeButton->setObjectName(QStringLiteral("karvo-titlebar-close"));
    m_menuButton->setAccessibleName(tr("Menu"));
    m_minimizeButton->setAccessibleName(tr("Minimize"));
    m_maximizeButton->setAccessibleName(tr("Maximize"));
    m_closeButton->setAccessibleName(tr("Close"));

    auto *buttons = new QHBoxLayout(m_buttonBox);
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(4);
    for (QWidget *button : { m_menuButton, m_minimizeButton, m_maximizeButton, m_closeButton })
        buttons->addWidget(button);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 7, 0);
    layout->addStretch();
    layout->addWidget(m_buttonBox);

    setFixedHeight(BarHeight);
    FontSizeManager::instance()->bind(this, FontSizeManager::T6);
    QFont titleFont = font();
    titleFont.setWeight(QFont::DemiBold);
    setFont(titleFont);

    connect(m_minimizeButton, &QPushButton::clicked, this, [this] { window()->showMinimized(); });
    connect(m_maximizeButton, &QPushButton::clicked, this, &TitleBar::toggleMaximized);
    connect(m_closeButton, &QPushButton::clicked, this, [this] { window()->close(); });
}

void TitleBar::setIcon(const QIcon &icon)
{
    m_icon = icon;
    update();
}

void TitleBar::setTitle(const QString &title)
{
    m_title = title;
    update();
}

bool TitleBar::isMenuVisible() const
{
    return !m_menuButton->isHidden();
}

void TitleBar::setMenuVisible(bool visible)
{
    m_menuButton->setVisible(visible);
}

QPushButton *TitleBar::menuButton() const
{
    return m_menuButton;
}

void TitleBar::setMenu(QMenu *menu)
{
    m_menuButton->setMenu(menu);
}

void TitleBar::updateButtons()
{
    const Qt::WindowFlags flags = window()->windowFlags();
    const Qt::WindowFlags buttonHints
        = Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint;
    // A window that names none of its buttons gets the usual three.
    const bool all = !(flags & (buttonHints | Qt::CustomizeWindowHint));
    m_minimizeButton->setVisible(all || (flags & Qt::WindowMinimizeButtonHint));
    m_maximizeButton->setVisible(canMaximize());
    m_closeButton->setVisible(all || (flags & Qt::WindowCloseButtonHint));
    m_maximizeButton->setGlyph(
        window()->isMaximized() ? TitleBarButton::RestoreGlyph : TitleBarButton::MaximizeGlyph);
}

QSize TitleBar::sizeHint() const
{
    return QSize(QWidget::sizeHint().width(), BarHeight);
}

bool TitleBar::event(QEvent *event)
{
    if (event->type() == QEvent::Show || event->type() == QEvent::ParentChange) {
        // The window's title, icon and state changes only reach the window itself.
        if (window() != this)
            window()->installEventFilter(this);
        updateButtons();
    }
    return QWidget::event(event);
}

bool TitleBar::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == window()) {
        switch (event->type()) {
        case QEvent::WindowTitleChange:
        case QEvent::WindowIconChange:
            update();
            break;
        case QEvent::WindowStateChange:
            updateButtons();
            break;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

bool TitleBar::canMaximize() const
{
    const QWidget *w = window();
    const Qt::WindowFlags flags = w->windowFlags();
    const bool named = flags
        & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint
            | Qt::CustomizeWindowHint);
    const bool wanted = !named || (flags & Qt::WindowMaximizeButtonHint);
    return wanted && w->minimumSize() != w->maximumSize();
}

void TitleBar::toggleMaximized()
{
    QWidget *w = window();
    if (w->isMaximized())
        w->showNormal();
    else
        w->showMaximized();
}

void TitleBar::mousePressEvent(QMouseEvent *event)
{
    QWidget *w = window();
    if (event->button() != Qt::LeftButton || w == this || w->isMaximized()) {
        QWidget::mousePressEvent(event);
        return;
    }
    // Let the window system move the window where it can; it knows about snapping and
    // screen edges. Elsewhere the title bar moves it itself.
    if (w->windowHandle() && w->windowHandle()->startSystemMove())
        return;
    m_dragging = true;
    m_dragOffset = event->globalPos() - w->pos();
}

void TitleBar::mouseMoveEvent(QMouseEvent *event)
{
    if (m_dragging)
        window()->move(event->globalPos() - m_dragOffset);
    QWidget::mouseMoveEvent(event);
}

void TitleBar::mouseReleaseEvent(QMouseEvent *event)
{
    m_dragging = false;
    QWidget::mouseReleaseEvent(event);
}

void TitleBar::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && canMaximize())
        toggleMaximized();
    QWidget::mouseDoubleClickEvent(event);
}

QIcon TitleBar::shownIcon() const
{
    return m_icon.isNull() ? window()->windowIcon() : m_icon;
}

QString TitleBar::shownTitle() const
{
    if (!m_title.isEmpty())
        return m_title;
    // The same fallback the window system applies to an untitled window.
    const QString title = window()->windowTitle();
    return title.isEmpty() ? QGuiApplication::applicationDisplayName() : title;
}

void TitleBar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const int margin = Style::metric(this, Style::PM_ContentsMargins);
    int left = margin;
    const QIcon icon = shownIcon();
    if (!icon.isNull()) {
        const QRect iconRect(margin, (height() - IconSide) / 2, IconSide, IconSide);
        icon.paint(&painter, iconRect);
        left = iconRect.right() + 1 + margin;
    }
    const QString title = shownTitle();
    if (title.isEmpty())
        return;
    // Centred on the whole bar while it fits between icon and buttons, so titles line up
    // with the window's middle whatever buttons are shown.
    const int right
        = m_buttonBox->isVisible() ? width() - m_buttonBox->geometry().left() + margin : margin;
    const int side = qMax(left, right);
    QRect textRect(side, 0, width() - 2 * side, height());
    if (textRect.width() < fontMetrics().horizontalAdvance(title))
        textRect = QRect(left, 0, width() - left - right, height());
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(textRect, Qt::AlignCenter | Qt::TextSingleLine,
        fontMetrics().elidedText(title, Qt::ElideMiddle, textRect.width()));
}

} // namespace Karvo
