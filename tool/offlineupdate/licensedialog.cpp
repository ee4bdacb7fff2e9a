#include "licensedialog.h"

#include "blureffectwidget.h"
#include "builtinicons.h"
#include "fontsizemanager.h"
#include "label.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace {

const QSize DialogSize(513, 455);
const int TextWidth = 433;
const QSize PictureSize(433, 232);

} // namespace

LicenseDialog::LicenseDialog(const QString &title, QWidget *parent)
    : Karvo::Dialog(parent)
{
    initUI(title);
}

void LicenseDialog::initUI(const QString &title)
{
    setFixedSize(DialogSize);
    setWindowTitle(title);
    setAccessibleName(title);
    auto *fontSizes = Karvo::FontSizeManager::instance();

    // Covers the whole dialog instead of going into its content area, so the backdrop reaches
    // every edge; the dialog keeps its close control above it.
    auto *cover = new QWidget(this);
    cover->setFixedSize(DialogSize);
    auto *coverLayout = new QHBoxLayout(cover);
    coverLayout->setContentsMargins(0, 0, 0, 0);
    coverLayout->setSpacing(0);

    auto *titleLabel = new Karvo::Label(title);
    titleLabel->setWordWrap(true);
    titleLabel->setAlignment(Qt::AlignCenter);
    fontSizes->bind(titleLabel, Karvo::FontSizeManager::T6);
    auto *titleRow = new QHBoxLayout;
    titleRow->setContentsMargins(0, 0, 0, 0);
    titleRow->setSpacing(0);
    titleRow->addStretch();
    titleRow->addWidget(titleLabel);
    titleRow->addStretch();

    auto *note = new Karvo::Label(tr("Note: Do not forcibly shut down or cut power during system "
                                     "restore, otherwise it will damage the system."));
    QPalette notePalette = note->palette();
    notePalette.setBrush(QPalette::WindowText, QColor(Qt::red));
    note->setPalette(notePalette);

    auto *stepOne = new Karvo::Label(
        tr("1.If the system fails to start up properly, you can try to restart the device and "
           "quickly press the arrow keys on the keyboard when entering the GRUB interface shown "
           "in the picture below. The system will stay in the GRUB interface."));

    auto *picture = new QLabel;
    picture->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Minimum);
    picture->setAlignment(Qt::AlignHCenter);
    // Through QIcon, which picks the @2x picture on a screen scaled by two.
    picture->setPixmap(QIcon(builtinImagePath(QStringLiteral("systemrecover.jpg")))
                           .pixmap(windowHandle(), PictureSize));
    picture->setFixedSize(PictureSize);
    picture->setScaledContents(true);
    picture->setAccessibleName(tr("The boot menu with the restore entry selected"));

    auto *stepTwo = new Karvo::Label(
        tr("2.Use the ↑↓ arrow keys on the keyboard to move the selection bar to the option "
           "that begins with \"回退到Norvane\" (roll back to Norvane), and press Enter to "
           "initiate the restore process."));

    for (Karvo::Label *text : { note, stepOne, stepTwo }) {
        text->setWordWrap(true);
        text->setFixedWidth(TextWidth);
        fontSizes->bind(text, Karvo::FontSizeManager::T8);
    }

    auto *body = new QWidget;
    // The text column and its margins fill the dialog's width exactly; once the vertical
    // scroll bar takes its share, the body must give up some right margin rather than make
    // the area scroll sideways.
    body->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    auto *bodyLayout = new QVBoxLayout(body);
    bodyLayout->setContentsMargins(40, 0, 40, 40);
    bodyLayout->setSpacing(10);
    bodyLayout->addWidget(note);
    bodyLayout->addWidget(stepOne);
    bodyLayout->addWidget(picture, 0, Qt::AlignCenter);
    bodyLayout->addWidget(stepTwo);

    auto *scrollArea = new QScrollArea;
    scrollArea->viewport()->setStyleSheet(QStringLiteral("background-color:transparent;"));
    scrollArea->setWidgetResizable(true);
    scrollArea->setAlignment(Qt::AlignCenter);
    scrollArea->setLineWidth(0);
    scrollArea->setFrameShape(QFrame::NoFrame);
    scrollArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scrollArea->setContextMenuPolicy(Qt::NoContextMenu);
    scrollArea->horizontalScrollBar()->setContextMenuPolicy(Qt::NoContextMenu);
    scrollArea->verticalScrollBar()->setContextMenuPolicy(Qt::NoContextMenu);
    scrollArea->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    scrollArea->setAccessibleName(tr("Restore steps"));
    scrollArea->verticalScrollBar()->setAccessibleName(tr("Scroll the restore steps"));
    // The arrow keys and Page Up/Down scroll the guide.
    scrollArea->setFocusPolicy(Qt::StrongFocus);
    scrollArea->setWidget(body);

    auto *column = new QVBoxLayout;
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addSpacing(50);
    column->addLayout(titleRow);
    column->addSpacing(20);
    column->addWidget(scrollArea);
    column->addStretch();
    column->setAlignment(Qt::AlignCenter);

    auto *backdrop = new Karvo::BlurEffectWidget;
    backdrop->setLayout(column);
    backdrop->resize(DialogSize);
    backdrop->setRadius(200);
    backdrop->setBlendMode(Karvo::BlurEffectWidget::BlendWithScreen);
    coverLayout->addWidget(backdrop);
}
