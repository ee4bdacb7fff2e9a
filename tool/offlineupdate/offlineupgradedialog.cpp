#include "offlineupgradedialog.h"

#include "builtinicons.h"
#include "fontsizemanager.h"
#include "label.h"
#include "offlineupdatemodel.h"
#include "screensaverinhibitor.h"
#include "upgradeprogress.h"
#include "upgradewidget.h"

#include <QCloseEvent>
#include <QDBusConnection>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QPixmap>
#include <QProcess>
#include <QProgressBar>
#include <QScreen>
#include <QScrollBar>
#include <QPlainTextEdit>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

namespace {

const int LogBlockCount = 10;
const int DotIntervalMs = 1000;
const int InfoDelayMs = 50;
const int KeyPressIntervalMs = 30000;
const int StageWidth = 600;
// Kept clear at each side of the screen.
const int ScreenMargin = 20;
// Shown where the wallpaper is unknown or cannot be read, under the same dark layer.
const QColor FallbackBackground(0x12, 0x1c, 0x2c);

void setTextColor(QWidget *widget, const QColor &color)
{
    QPalette palette = widget->palette();
    palette.setBrush(QPalette::All, QPalette::WindowText, color);
    widget->setPalette(palette);
}

void setPixelSize(QWidget *widget, int pixelSize)
{
    // Bound widgets get their size back from the font-size manager whenever the base changes.
    Karvo::FontSizeManager::instance()->unbind(widget);
    QFont font = widget->font();
    font.setPixelSize(pixelSize);
    widget->setFont(font);
}

} // namespace

OfflineUpgradeDialog::OfflineUpgradeDialog(OfflineUpdateModel *model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
{
    setWindowFlags(Qt::Dialog | Qt::X11BypassWindowManagerHint);
    setWindowTitle(tr("Upgrading the system"));
    setAccessibleName(windowTitle());
    create();
    setAttribute(Qt::WA_NativeWindow);
    windowHandle()->setProperty("_t_twayland_window-type", QStringLiteral("launcher"));

    initUI();
    showFullScreen();
    initData();

    // A synthetic key press every 30 s is the last resort for a desktop without a screen saver
    // service: it also wakes a screen that blanked anyway.
    m_keyPressTimer = new QTimer(this);
    m_keyPressTimer->setObjectName(QStringLiteral("keyPressTimer"));
    m_keyPressTimer->setInterval(KeyPressIntervalMs);
    connect(m_keyPressTimer, &QTimer::timeout, this, &OfflineUpgradeDialog::pressKey);
    m_screenSaver = new ScreenSaverInhibitor(QDBusConnection::sessionBus(), this);
    connect(m_screenSaver, &ScreenSaverInhibitor::unavailable, m_keyPressTimer,
        QOverload<>::of(&QTimer::start));
    m_screenSaver->inhibit(tr("The system is being upgraded"));
}

void OfflineUpgradeDialog::initUI()
{
    const QSize screenSize = QGuiApplication::primaryScreen()->geometry().size();
    resize(screenSize);

    if (m_model) {
        m_model->requestDesktopImage(this, [this](const QString &path) {
            if (path.isEmpty() || !m_wallpaper.load(path))
                return;
            updateBackground();
        });
    }
    m_background = new QWidget(this);
    m_background->setAutoFillBackground(true);
    m_background->setGeometry(0, 0, screenSize.width(), screenSize.height());
    updateBackground();

    m_overlay = new UpgradeWidget(QColor(0, 15, 39, 178), this);
    m_overlay->setGeometry(0, 0, screenSize.width(), screenSize.height());

    auto *layout = new QVBoxLayout(m_overlay);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addStretch();

    auto *logoLabel = new QLabel(m_overlay);
    logoLabel->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Minimum);
    logoLabel->setAlignment(Qt::AlignHCenter);
    logoLabel->setFixedSize(290, 60);
    logoLabel->setScaledContents(true);
    // Through QIcon, which picks the @2x picture on a screen scaled by two.
    logoLabel->setPixmap(QIcon(builtinImagePath(QStringLiteral("logo.png")))
                             .pixmap(windowHandle(), logoLabel->size()));
    logoLabel->setAccessibleName(tr("Tevrin logo"));
    layout->addWidget(logoLabel, 0, Qt::AlignCenter);
    layout->addSpacing(30);

    // As wide as the bar and its number; a long package name wraps rather than being cut.
    m_stageLabel = new Karvo::Label(m_overlay);
    m_stageLabel->setObjectName(QStringLiteral("stageLabel"));
    m_stageLabel->setAlignment(Qt::AlignCenter);
    m_stageLabel->setWordWrap(true);
    m_stageLabel->setTextFormat(Qt::PlainText);
    m_stageLabel->setFixedWidth(StageWidth);
    setPixelSize(m_stageLabel, 17);
    setTextColor(m_stageLabel, Qt::white);

    layout->addWidget(m_stageLabel, 0, Qt::AlignCenter);
    layout->addSpacing(12);

    auto *progressLayout = new QHBoxLayout;
    progressLayout->setContentsMargins(0, 0, 0, 0);
    progressLayout->setSpacing(10);
    progressLayout->addStretch();

    m_progressBar = new QProgressBar(m_overlay);
    m_progressBar->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Minimum);
    m_progressBar->setContentsMargins(0, 0, 0, 0);
    m_progressBar->setFixedSize(500, 8);
    m_progressBar->setRange(0, 100);
    m_progressBar->setTextVisible(false);
    m_progressBar->setAccessibleName(tr("Upgrade progress"));
    QPalette barPalette = m_progressBar->palette();
    barPalette.setBrush(QPalette::All, QPalette::Window, Qt::white);
    m_progressBar->setPalette(barPalette);
    // Drawn by a style sheet rather than auto-filled: an auto-fill would paint square white
    // corners around the rounded groove. The chunk takes the accent colour of the palette.
    m_progressBar->setStyleSheet(QStringLiteral(
        "QProgressBar { border: none; border-radius: 4px; background-color: palette(window); }"
        "QProgressBar::chunk { border-radius: 4px; background-color: palette(highlight); }"));
    progressLayout->addWidget(m_progressBar, 0, Qt::AlignCenter);

    m_percentLabel = new Karvo::Label(m_overlay);
    m_percentLabel->setObjectName(QStringLiteral("percentLabel"));
    m_percentLabel->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Minimum);
    setPixelSize(m_percentLabel, 17);
    setTextColor(m_percentLabel, Qt::white);
    // Wide enough for "100%" from the start, so the bar does not shift as the number grows.
    m_percentLabel->setMinimumWidth(
        m_percentLabel->fontMetrics().horizontalAdvance(tr("%1%").arg(100)));
    progressLayout->addWidget(m_percentLabel, 0, Qt::AlignCenter);
    progressLayout->addStretch();
    // As wide as the label on the other side, so the bar lines up with the log box below.
    progressLayout->insertSpacing(1, m_percentLabel->minimumWidth() + progressLayout->spacing());
    layout->addLayout(progressLayout);
    layout->addSpacing(20);

    m_warningLabel = new Karvo::Label(m_overlay);
    m_warningLabel->setObjectName(QStringLiteral("warningLabel"));
    m_warningLabel->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Minimum);
    setPixelSize(m_warningLabel, 16);
    setTextColor(m_warningLabel, Qt::white);
    setWarningDots(QStringLiteral("."));
    // Room for three dots at all times, with the text held at the left, so the sentence stays
    // in place while the dots come and go.
    const int warningWidth = m_warningLabel->fontMetrics().horizontalAdvance(
        m_warningLabel->text() + QStringLiteral(".."));
    if (warningWidth > screenSize.width() - 2 * ScreenMargin) {
        // A small screen cannot hold the sentence on one line: it wraps within the width of
        // the stage above it, with room for the longest dots.
        m_warningLabel->setWordWrap(true);
        m_warningLabel->setFixedWidth(StageWidth);
        setWarningDots(QStringLiteral("..."));
        m_warningLabel->setMinimumHeight(m_warningLabel->heightForWidth(StageWidth));
        setWarningDots(QStringLiteral("."));
    } else {
        m_warningLabel->setMinimumWidth(warningWidth);
    }
    layout->addWidget(m_warningLabel, 0, Qt::AlignCenter);
    layout->addSpacing(10);

    m_logEdit = new QPlainTextEdit(m_overlay);
    m_logEdit->setAccessibleName(tr("Upgrade output"));
    m_logEdit->setReadOnly(true);
    // Keyboard focus would let a key event reach the text past this dialog's event().
    m_logEdit->setFocusPolicy(Qt::NoFocus);
    m_logEdit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_logEdit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QFont logFont = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    logFont.setPixelSize(12);
    m_logEdit->setFont(logFont);
    m_logEdit->setStyleSheet(QStringLiteral(
        "QPlainTextEdit { background-color: rgba(255, 255, 255, 20);"
        " color: rgba(255, 255, 255, 190); border: 1px solid rgba(255, 255, 255, 40);"
        " border-radius: 8px; padding: 6px; }"));
    m_logEdit->document()->setDocumentMargin(0);
    // As many whole lines as fit in about 200 pixels: the box scrolls by lines, so with its
    // height a whole number of lines no line is ever cut at the top or the bottom.
    const int lineHeight = QFontMetrics(logFont).lineSpacing();
    const int chrome = 2 * (1 + 6) + 2 * m_logEdit->frameWidth();
    m_logEdit->setFixedSize(500, chrome + lineHeight * ((200 - chrome) / lineHeight));
    layout->addWidget(m_logEdit, 0, Qt::AlignCenter);
    layout->addStretch();

    m_background->lower();
    m_overlay->raise();
}

void OfflineUpgradeDialog::initData()
{
    const UpgradeProgress starting;
    setUpgradeStage(starting.text(), starting.percent());

    m_infoTimer = new QTimer(this);
    m_infoTimer->setSingleShot(true);
    m_infoTimer->setInterval(InfoDelayMs);
    connect(m_infoTimer, &QTimer::timeout, this, &OfflineUpgradeDialog::showPendingInfo);

    m_dotTimer = new QTimer(this);
    m_dotTimer->setObjectName(QStringLiteral("dotTimer"));
    m_dotTimer->setInterval(DotIntervalMs);
    connect(m_dotTimer, &QTimer::timeout, this, [this] {
        static const QString dots[]
            = { QStringLiteral("..."), QStringLiteral("."), QStringLiteral("..") };
        ++m_dotCount;
        setWarningDots(dots[m_dotCount % 3]);
    });
    m_dotTimer->start();
}

void OfflineUpgradeDialog::setUpgradeStage(const QString &stage, int percent)
{
    m_stageLabel->setText(stage);
    // Room for two lines at least, so that the bar below stays in place when a long package
    // name wraps; more when a longer one needs it. The overlay's layout, placed by hand, does
    // not grow a wrapping label by itself.
    m_stageLabel->setMinimumHeight(
        qMax(m_stageLabel->heightForWidth(StageWidth),
            2 * m_stageLabel->fontMetrics().lineSpacing() + 1));
    if (percent < 0)
        return;
    // QProgressBar ignores a value outside its range and would keep showing the previous one.
    m_progressBar->setValue(qBound(m_progressBar->minimum(), percent, m_progressBar->maximum()));
    m_percentLabel->setText(tr("%1%").arg(percent));
}

void OfflineUpgradeDialog::setUpgradeInfo(const QString &info)
{
    m_lines.append(m_lineAssembler.add(info));
    while (m_lines.size() > LogBlockCount)
        m_lines.removeFirst();
    // apt writes in bursts of hundreds of lines; laid out one by one they would hold up the
    // window. They are shown together a moment later.
    if (!m_infoTimer->isActive())
        m_infoTimer->start();
}

void OfflineUpgradeDialog::showPendingInfo()
{
    QStringList shown = m_lines;
    if (!m_lineAssembler.openLine().isEmpty())
        shown.append(m_lineAssembler.openLine());
    while (shown.size() > LogBlockCount)
        shown.removeFirst();
    m_logEdit->setPlainText(shown.join(QLatin1Char('\n')));
    // Wrapped lines can overflow the box; the newest one must stay in sight.
    QScrollBar *scrollBar = m_logEdit->verticalScrollBar();
    scrollBar->setValue(scrollBar->maximum());
}

bool OfflineUpgradeDialog::event(QEvent *event)
{
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease)
        return false;
    return QWidget::event(event);
}

void OfflineUpgradeDialog::closeEvent(QCloseEvent *event)
{
    // The page closes the dialog when the upgrade has ended or failed, and may keep it hidden
    // for a long time afterwards: nothing should animate or press keys for the desktop then.
    m_dotTimer->stop();
    m_keyPressTimer->stop();
    m_screenSaver->release();
    QWidget::closeEvent(event);
}

void OfflineUpgradeDialog::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (!m_background)
        return;
    m_background->setGeometry(rect());
    m_overlay->setGeometry(rect());
    updateBackground();
}

void OfflineUpgradeDialog::setWarningDots(const QString &dots)
{
    m_warningLabel->setText(tr("Please do not forcibly shut down or cut power during the update, "
                               "otherwise it will damage the system%1")
                                .arg(dots));
}

void OfflineUpgradeDialog::updateBackground()
{
    QPalette palette = m_background->palette();
    if (m_wallpaper.isNull()) {
        palette.setBrush(QPalette::All, QPalette::Window, FallbackBackground);
    } else {
        palette.setBrush(QPalette::All, QPalette::Window,
            QPixmap::fromImage(m_wallpaper.scaled(
                m_background->size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
    }
    m_background->setPalette(palette);
}

void OfflineUpgradeDialog::pressKey()
{
    // The process is not waited for: that would freeze the
    // progress and the streaming upgrade output while it starts and runs. One at a time, so a
    // hanging one does not pile up more behind it.
    if (m_keyPressProcess)
        return;
    auto *process = new QProcess(this);
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    // Crashed is followed by finished, FailedToStart is not; a second deleteLater is harmless.
    connect(process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), process,
        &QObject::deleteLater);
    connect(process, &QProcess::errorOccurred, process, &QObject::deleteLater);
    m_keyPressProcess = process;
    process->start(QStringLiteral("xdotool"), { QStringLiteral("key"), QStringLiteral("168") });
}
