#include "dialog.h"

#include "label.h"
#include "style.h"
#include "suggestbutton.h"
#include "titlebarbutton.h"
#include "warningbutton.h"
#include "windowframe.h"

#include <QChildEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>

namespace Karvo {

namespace {

const int RowHeight = 50;
const int IconSide = 32;
// The close control sits as far from the edge as in the windows' title bars.
const int CloseMargin = 7;

} // namespace

Dialog::Dialog(QWidget *parent)
    : QDialog(parent)
    , m_iconLabel(new QLabel)
    , m_titleLabel(new Label)
    , m_closeButton(new TitleBarButton(TitleBarButton::CloseGlyph))
    , m_messageLabel(new Label)
    , m_contentLayout(new QVBoxLayout)
    , m_buttonLayout(new QHBoxLayout)
{
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    // Made in the body, not the initialiser list: creating it sends this dialog a child event
    // that reads the member.
    m_topRow = new QWidget(this);
    const int margin = Style::metric(this, Style::PM_ContentsMargins);
    // The margins frame the message, the content and the buttons; the top row always spans
    // the whole width, so callers may set them to 0 to give their content the full width.
    setContentsMargins(margin, 0, margin, margin);

    m_closeButton->setObjectName(QStringLiteral("karvo-dialog-close"));
    m_closeButton->setAccessibleName(tr("Close"));
    m_iconLabel->setFixedSize(IconSide, IconSide);
    // The icon's place stays reserved so that the title remains centred on the dialog.
    QSizePolicy iconPolicy = m_iconLabel->sizePolicy();
    iconPolicy.setRetainSizeWhenHidden(true);
    m_iconLabel->setSizePolicy(iconPolicy);
    m_iconLabel->hide();
    m_titleLabel->setAlignment(Qt::AlignCenter);
    m_titleLabel->setTextFormat(Qt::PlainText);
    // Long titles are elided to the room left between icon and close control.
    m_titleLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_titleLabel->installEventFilter(this);
    m_titleLabel->hide();
    QFont titleFont = m_titleLabel->font();
    titleFont.setWeight(QFont::DemiBold);
    m_titleLabel->setFont(titleFont);

    auto *row = new QHBoxLayout(m_topRow);
    row->setContentsMargins(margin, 0, CloseMargin, 0);
    row->setSpacing(margin);
    row->addWidget(m_iconLabel, 0, Qt::AlignLeft | Qt::AlignVCenter);
    row->addWidget(m_titleLabel, 1);
    row->addWidget(m_closeButton, 0, Qt::AlignRight | Qt::AlignVCenter);

    m_messageLabel->setAlignment(Qt::AlignCenter);
    m_messageLabel->hide();

    m_contentLayout->setContentsMargins(0, 0, 0, 0);
    m_contentLayout->setSpacing(margin);
    m_buttonLayout->setContentsMargins(0, 0, 0, 0);
    m_buttonLayout->setSpacing(margin);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, RowHeight, 0, 0);
    layout->setSpacing(margin);
    layout->addWidget(m_messageLabel);
    layout->addLayout(m_contentLayout);
    layout->addLayout(m_buttonLayout);

    connect(m_closeButton, &QAbstractButton::clicked, this, &Dialog::reject);
}

void Dialog::setIcon(const QIcon &icon, const QString &description)
{
    m_icon = icon;
    m_iconLabel->setAccessibleName(description);
    m_iconLabel->setPixmap(icon.pixmap(QSize(IconSide, IconSide)));
    m_iconLabel->setVisible(!icon.isNull());
}

QString Dialog::title() const
{
    return m_title;
}

void Dialog::setTitle(const QString &title)
{
    m_title = title;
    m_titleLabel->setVisible(!title.isEmpty());
    updateTitleText();
}

QString Dialog::message() const
{
    return m_messageLabel->text();
}

void Dialog::setMessage(const QString &message)
{
    m_messageLabel->setText(message);
    m_messageLabel->setVisible(!message.isEmpty());
}

void Dialog::setWordWrapMessage(bool wrap)
{
    m_messageLabel->setWordWrap(wrap);
}

void Dialog::addContent(QWidget *widget, Qt::Alignment alignment)
{
    m_contentLayout->addWidget(widget, 0, alignment);
}

int Dialog::addButton(const QString &text, bool isDefault, ButtonType type)
{
    QPushButton *button = nullptr;
    switch (type) {
    case ButtonWarning:
        button = new WarningButton(text);
        break;
    case ButtonRecommend:
        button = new SuggestButton(text);
        break;
    case ButtonNormal:
        button = new QPushButton(text);
        break;
    }
    button->setDefault(isDefault);
    const int index = m_buttons.size();
    m_buttons.append(button);
    m_buttonLayout->addWidget(button, 1);
    connect(button, &QAbstractButton::clicked, this, [this, button, index] {
        emit buttonClicked(index, button->text());
        done(index);
    });
    return index;
}

void Dialog::fitToContent(int width)
{
    const QScreen *screen = windowHandle() && windowHandle()->screen() ? windowHandle()->screen()
        : parentWidget() && parentWidget()->screen()                 ? parentWidget()->screen()
                                                                     : QGuiApplication::primaryScreen();
    const QSize room = screen ? screen->availableGeometry().size() : QSize(width, 4 * width);
    QLayout *content = layout();
    // Every layout below keeps the height it answered for a width; content shown or changed
    // while the dialog was hidden may not have told them.
    for (QWidget *child : findChildren<QWidget *>())
        if (child->layout())
            child->layout()->invalidate();
    content->invalidate();
    content->activate();
    const auto neededHeight = [content](int w) {
        return content->hasHeightForWidth() ? content->totalHeightForWidth(w)
                                            : content->totalSizeHint().height();
    };
    width = qBound(content->totalMinimumSize().width(), width, room.width());
    int height = neededHeight(width);
    while (height > room.height() && width < room.width()) {
        width = qMin(room.width(), width + width / 4);
        height = neededHeight(width);
    }
    setFixedSize(width, qMin(height, room.height()));
    // Nested layouts cache their answers for the old size; once laid out at the new one they
    // may ask for more.
    for (int pass = 0; pass < 3; ++pass) {
        content->activate();
        const int again = qMin(neededHeight(width), room.height());
        if (again <= height)
            break;
        height = again;
        setFixedSize(width, height);
    }
}

int Dialog::buttonCount() const
{
    return m_buttons.size();
}

QAbstractButton *Dialog::button(int index) const
{
    return m_buttons.value(index);
}

QAbstractButton *Dialog::closeButton() const
{
    return m_closeButton;
}

void Dialog::reject()
{
    done(-1);
}

void Dialog::childEvent(QChildEvent *event)
{
    QDialog::childEvent(event);
    // Subclasses may lay widgets of their own over the whole dialog; the close control has
    // to stay above them, or the dialog could no longer be closed with the mouse.
    if (m_topRow && event->type() == QEvent::ChildAdded && event->child() != m_topRow
        && event->child()->isWidgetType())
        m_topRow->raise();
}

bool Dialog::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_titleLabel && event->type() == QEvent::Resize)
        updateTitleText();
    return QDialog::eventFilter(watched, event);
}

void Dialog::updateTitleText()
{
    const int room = m_titleLabel->width();
    m_titleLabel->setText(
        m_titleLabel->fontMetrics().elidedText(m_title, Qt::ElideMiddle, qMax(room, 0)));
}

void Dialog::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_topRow->geometry().contains(event->pos())) {
        QDialog::mousePressEvent(event);
        return;
    }
    // As in the title bars: the window system moves the window where it can.
    if (windowHandle() && windowHandle()->startSystemMove())
        return;
    m_dragging = true;
    m_dragOffset = event->globalPos() - pos();
}

void Dialog::mouseMoveEvent(QMouseEvent *event)
{
    if (m_dragging)
        move(event->globalPos() - m_dragOffset);
    QDialog::mouseMoveEvent(event);
}

void Dialog::mouseReleaseEvent(QMouseEvent *event)
{
    m_dragging = false;
    QDialog::mouseReleaseEvent(event);
}

void Dialog::resizeEvent(QResizeEvent *event)
{
    m_topRow->setGeometry(0, 0, width(), RowHeight);
    updateShape();
    QDialog::resizeEvent(event);
}

void Dialog::updateShape()
{
    applyRoundedMask(this);
}

void Dialog::paintEvent(QPaintEvent *)
{
    paintWindowFrame(this);
}

} // namespace Karvo
