// Faults this test is there to catch:
// - the style not reachable by the name "velmora", not answering the frame-radius and
//   contents-margin metrics, or the metric helper answering 0 under a foreign style so that
//   panels lose their corners;
// - a bound widget not following a base-size change, still following after unbind, losing its other
// font attributes, or a
//   destroyed bound widget being touched later;
// - list items ignoring the item size, their MarginsRole margins or the item spacing, in the
//   size hint or in the painted rectangle; backgrounds drawn for the wrong states;
// - a spinner that does not animate, keeps animating after stop, or is not drawn in the accent
//   colour;
// - transient messages that never go, or go before their duration; resident ones that go by
//   themselves; messages not at the bottom centre inside the content margins, also after the
//   margins change or the window is resized;
// - translations not found in the directories searched, found in the wrong precedence, the
//   preferred locale losing to a later one, or an old translator left installed on reload;
// - windows not centred on their screen, or pushed off its top-left edge when too large;
// - a suggested-action button not in the accent colour (also under another style), a warning
//   button without red text, a hidden menu button still drawn, window buttons not matching the
//   window flags, a main window that regains its frame, a close button that does not close, a
//   title bar that cannot be dragged;
// - rounded panels (frame, background group) painted square, or not behind their items.
#include "application.h"
#include "backgroundgroup.h"
#include "centerwindow.h"
#include "floatingmessage.h"
#include "fontsizemanager.h"
#include "frame.h"
#include "label.h"
#include "listview.h"
#include "mainwindow.h"
#include "messagemanager.h"
#include "pixelprobe.h"
#include "spinner.h"
#include "standarditem.h"
#include "style.h"
#include "suggestbutton.h"
#include "titlebar.h"
#include "warningbutton.h"

#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPointer>
#include <QProcess>
#include <QScreen>
#include <QStandardItemModel>
#include <QStandardPaths>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTest>
#include <QtPlugin>
#include <memory>

Q_DECLARE_METATYPE(QMargins)
Q_IMPORT_PLUGIN(VelmoraStylePlugin)

using PixelProbe::countNear;
using PixelProbe::near;

namespace {

const char StyleName[] = "velmora";
const char Context[] = "tst_KarvoWidgets";

QColor accent()
{
    return QApplication::palette().color(QPalette::Active, QPalette::Highlight);
}

QColor base()
{
    return QApplication::palette().color(QPalette::Base);
}

// Pixels clearly darker than the light background: ink of text or glyphs.
int countInk(const QImage &image, const QRect &area)
{
    return PixelProbe::count(image, area, [](const QColor &c) { return qGray(c.rgb()) < 150; });
}

void sendMouse(QWidget *widget, QEvent::Type type, const QPoint &at, const QPoint &global,
    Qt::MouseButtons buttons)
{
    QMouseEvent event(type, at, global, type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
        buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

} // namespace

class tst_KarvoWidgets : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void styleMetrics();
    void boundWidgetFollows_data();
    void boundWidgetFollows();
    void listItemGeometry_data();
    void listItemGeometry();
    void listBackgrounds_data();
    void listBackgrounds();
    void spinner();
    void transientMessage();
    void messagePlacement_data();
    void messagePlacement();
    void loadTranslator_data();
    void loadTranslator();
    void moveToCenter_data();
    void moveToCenter();
    void buttons();
    void hiddenMenuButton();
    void windowButtons_data();
    void windowButtons();
    void dragTitleBar();
    void roundedPanels_data();
    void roundedPanels();

private:
    QString m_lrelease;
};

void tst_KarvoWidgets::initTestCase()
{
    QApplication::setStyle(QString::fromLatin1(StyleName));
    QVERIFY(qobject_cast<Karvo::Style *>(QApplication::style()));
    m_lrelease = QStandardPaths::findExecutable(QStringLiteral("lrelease"));
    if (m_lrelease.isEmpty())
        m_lrelease = QStandardPaths::findExecutable(
            QStringLiteral("lrelease"), { QStringLiteral("/usr/lib/qt5/bin") });
}

void tst_KarvoWidgets::cleanup()
{
    Karvo::FontSizeManager::instance()->setBaseFontSize(
        Karvo::FontSizeManager::DefaultBaseFontSize);
}

void tst_KarvoWidgets::styleMetrics()
{
    QVERIFY(QStyleFactory::keys().contains(QString::fromLatin1(StyleName), Qt::CaseInsensitive));
    std::unique_ptr<QStyle> own(QStyleFactory::create(QString::fromLatin1(StyleName)));
    QVERIFY(qobject_cast<Karvo::Style *>(own.get()));
    std::unique_ptr<QStyle> foreign(QStyleFactory::create(QStringLiteral("Fusion")));
    for (const auto metric : { Karvo::Style::PM_FrameRadius, Karvo::Style::PM_ContentsMargins }) {
        const int value = own->pixelMetric(QStyle::PixelMetric(metric));
        QVERIFY(value > 0);
        // Panels keep their corners when a widget runs under a foreign style.
        QWidget widget;
        widget.setStyle(foreign.get());
        QCOMPARE(Karvo::Style::metric(&widget, metric), value);
    }
}

void tst_KarvoWidgets::boundWidgetFollows_data()
{
    QTest::addColumn<bool>("karvoLabel"); // bound to T6 from the start
    QTest::addColumn<int>("level");
    QTest::newRow("QLabel at T1") << false << int(Karvo::FontSizeManager::T1);
    QTest::newRow("QLabel at T8") << false << int(Karvo::FontSizeManager::T8);
    QTest::newRow("Karvo::Label") << true << int(Karvo::FontSizeManager::T6);
}

void tst_KarvoWidgets::boundWidgetFollows()
{
    QFETCH(bool, karvoLabel);
    QFETCH(int, level);
    auto *fonts = Karvo::FontSizeManager::instance();
    const auto type = Karvo::FontSizeManager::SizeType(level);
    std::unique_ptr<QLabel> label(karvoLabel ? new Karvo::Label : new QLabel);
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    if (!karvoLabel)
        fonts->bind(label.get(), type);
    QVERIFY(fonts->isBound(label.get()));
    QCOMPARE(label->font().pixelSize(), fonts->fontPixelSize(type));
    fonts->setBaseFontSize(20);
    QCOMPARE(label->font().pixelSize(), fonts->fontPixelSize(type));
    QVERIFY(label->font().bold());

    fonts->unbind(label.get());
    QVERIFY(!fonts->isBound(label.get()));
    const int kept = label->font().pixelSize();
    fonts->setBaseFontSize(11);
    QCOMPARE(label->font().pixelSize(), kept);
    // Would write to freed memory if the binding outlived the widget.
    fonts->bind(label.get(), type);
    const QLabel *gone = label.get();
    label.reset();
    QVERIFY(!fonts->isBound(gone));
    fonts->setBaseFontSize(19);
}

void tst_KarvoWidgets::listItemGeometry_data()
{
    QTest::addColumn<QSize>("itemSize");
    QTest::addColumn<QMargins>("margins");
    QTest::addColumn<int>("spacing");
    QTest::newRow("module list") << QSize(180, 48) << QMargins(5, 3, 5, 3) << 0;
    QTest::newRow("uneven margins, spacing") << QSize(180, 50) << QMargins(2, 7, 9, 1) << 6;
}

void tst_KarvoWidgets::listItemGeometry()
{
    QFETCH(QSize, itemSize);
    QFETCH(QMargins, margins);
    QFETCH(int, spacing);

    Karvo::ListView view;
    QStandardItemModel model;
    for (int row = 0; row < 3; ++row) {
        auto *item = new Karvo::StandardItem(QString::number(row));
        item->setMargins(margins);
        model.appendRow(item);
    }
    view.setModel(&model);
    view.setItemSize(itemSize);
    view.setItemSpacing(spacing);
    view.resize(220, 300);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    for (int row = 0; row < model.rowCount(); ++row) {
        const QModelIndex index = model.index(row, 0);
        QCOMPARE(index.data(Karvo::MarginsRole).value<QMargins>(), margins);
        QCOMPARE(view.sizeHintForIndex(index), itemSize + QSize(0, spacing));
        const QRect cell(
            0, row * (itemSize.height() + spacing), view.viewport()->width(), itemSize.height());
        QCOMPARE(view.visualRect(index), cell.marginsRemoved(margins));
        QCOMPARE(view.indexAt(view.visualRect(index).center()), index);
    }
}

void tst_KarvoWidgets::listBackgrounds_data()
{
    QTest::addColumn<int>("backgroundType");
    QTest::addColumn<bool>("normalHasBackground");

    QTest::newRow("rounded, no normal state (258)")
        << int(Karvo::ListView::RoundedBackground | Karvo::ListView::NoNormalState) << false;
    QTest::newRow("rounded") << int(Karvo::ListView::RoundedBackground) << true;
    QTest::newRow("clip corner") << int(Karvo::ListView::ClipCornerBackground) << true;
    QTest::newRow("none") << int(Karvo::ListView::NoBackground) << false;
}

void tst_KarvoWidgets::listBackgrounds()
{
    QFETCH(int, backgroundType);
    QFETCH(bool, normalHasBackground);

    Karvo::ListView view;
    QStandardItemModel model;
    for (const char *text : { "selected", "normal" }) {
        auto *item = new Karvo::StandardItem(QString::fromLatin1(text));
        item->setMargins(QMargins(6, 4, 6, 4));
        model.appendRow(item);
    }
    view.setModel(&model);
    view.setItemSize(QSize(180, 48));
    view.setBackgroundType(Karvo::ListView::BackgroundType(backgroundType));
    view.resize(200, 200);
    view.setCurrentIndex(model.index(0, 0));
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));

    const QImage image = PixelProbe::grab(view.viewport());
    const QRect selected = view.visualRect(model.index(0, 0));
    const QRect normal = view.visualRect(model.index(1, 0));
    // Left of the text, clear of the rounded corners; and the margin left of the item.
    const QColor inSelected = image.pixelColor(selected.left() + 4, selected.center().y());
    const QColor inNormal = image.pixelColor(normal.left() + 4, normal.center().y());
    const QColor inMargin = image.pixelColor(selected.left() - 3, selected.center().y());
    QVERIFY2(near(inSelected, accent(), 6, true), qPrintable(inSelected.name()));
    QVERIFY2(near(inMargin, base(), 6, true), qPrintable(inMargin.name()));
    QCOMPARE(!near(inNormal, base(), 2, true), normalHasBackground);
    QVERIFY(!near(inNormal, accent(), 40, true));
}

void tst_KarvoWidgets::spinner()
{
    Karvo::Spinner spinner;
    spinner.setFixedSize(100, 100);
    spinner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&spinner));
    QVERIFY(!spinner.isPlaying());
    const QImage before = PixelProbe::grab(&spinner);
    QVERIFY2(countNear(before, before.rect(), accent(), 8) > 0, "no dot in the accent colour");
    spinner.start();
    QVERIFY(spinner.isPlaying());
    QTRY_VERIFY_WITH_TIMEOUT(PixelProbe::grab(&spinner) != before, 2000);

    spinner.stop();
    QVERIFY(!spinner.isPlaying());
    const QImage stopped = PixelProbe::grab(&spinner);
    QTest::qWait(400); // several frame intervals, in which a stopped spinner must not move
    QCOMPARE(PixelProbe::grab(&spinner), stopped);
}

void tst_KarvoWidgets::transientMessage()
{
    QWidget window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const int duration = 400;
    auto *transient = new Karvo::FloatingMessage(Karvo::FloatingMessage::TransientType);
    transient->setDuration(duration);
    transient->setMessage(QStringLiteral("File format error, please reselect"));
    const QPointer<Karvo::FloatingMessage> resident
        = new Karvo::FloatingMessage(Karvo::FloatingMessage::ResidentType);
    resident->setDuration(duration);

    QElapsedTimer clock;
    qint64 lifetime = -1;
    connect(transient, &QObject::destroyed, this, [&] { lifetime = clock.elapsed(); });
    clock.start();
    Karvo::MessageManager::instance()->sendMessage(&window, transient);
    Karvo::MessageManager::instance()->sendMessage(&window, resident);
    QVERIFY(transient->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(lifetime >= 0, duration + 3000);
    QVERIFY2(lifetime >= duration, qPrintable(QString::number(lifetime)));
    QVERIFY(resident && resident->isVisible());
}

void tst_KarvoWidgets::messagePlacement_data()
{
    QTest::addColumn<QMargins>("margins");
    QTest::addColumn<bool>("marginsFirst");
    QTest::addColumn<QSize>("resizeTo");

    QTest::newRow("bottom 10, set after sending") << QMargins(0, 0, 0, 10) << false << QSize();
    QTest::newRow("uneven sides, set before sending") << QMargins(60, 5, 10, 40) << true << QSize();
    QTest::newRow("window resized afterwards") << QMargins(0, 0, 0, 10) << false << QSize(520, 380);
}

void tst_KarvoWidgets::messagePlacement()
{
    QFETCH(QMargins, margins);
    QFETCH(bool, marginsFirst);
    QFETCH(QSize, resizeTo);

    QWidget window;
    window.resize(400, 300);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *manager = Karvo::MessageManager::instance();
    auto *message = new Karvo::FloatingMessage(Karvo::FloatingMessage::ResidentType);
    message->setMessage(QStringLiteral("If the upgrade is successful"));
    if (marginsFirst)
        manager->setContentMargins(&window, margins);
    manager->sendMessage(&window, message);
    if (!marginsFirst)
        manager->setContentMargins(&window, margins);
    QCOMPARE(manager->contentMargins(&window), margins);
    QVERIFY(window.isAncestorOf(message) && message->isVisible());

    // At the bottom of the area inside the margins, horizontally centred in it.
    const auto placedWell = [&] {
        const QRect inner = window.rect().marginsRemoved(margins);
        const QRect placed(message->mapTo(&window, QPoint(0, 0)), message->size());
        return inner.contains(placed) && placed.bottom() == inner.bottom()
            && qAbs((placed.left() - inner.left()) - (inner.right() - placed.right())) <= 1;
    };
    QTRY_VERIFY_WITH_TIMEOUT(placedWell(), 2000);
    if (resizeTo.isValid()) {
        // Whatever layout work is still queued must not hide a missed resize.
        QCoreApplication::sendPostedEvents();
        window.resize(resizeTo);
        QTRY_COMPARE_WITH_TIMEOUT(window.size(), resizeTo, 2000);
        QTRY_VERIFY_WITH_TIMEOUT(placedWell(), 2000);
    }
}

void tst_KarvoWidgets::loadTranslator_data()
{
    // Each file is "<home|system>/<locale>:<translation>".
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("locales");
    QTest::addColumn<QString>("expected");

    QTest::newRow("system data directory")
        << QStringList { "system/de_DE:Hallo" } << QStringList { "de_DE" } << "Hallo";
    QTest::newRow("language-only file for a regional locale")
        << QStringList { "home/fr:Bonjour" } << QStringList { "fr_CA" } << "Bonjour";
    QTest::newRow("user directory before system directory") << QStringList { "home/de_DE:Hallo",
        "system/de_DE:Servus" } << QStringList { "de_DE" } << "Hallo";
    QTest::newRow("first locale preferred")
        << QStringList { "home/de_DE:Hallo", "home/fr_FR:Bonjour" }
        << QStringList { "fr_FR", "de_DE" } << "Bonjour";
    QTest::newRow("later locale when the first has no file")
        << QStringList { "home/de_DE:Hallo" } << QStringList { "ja_JP", "de_DE" } << "Hallo";
    QTest::newRow("no file for the locale")
        << QStringList { "home/de_DE:Hallo" } << QStringList { "it_IT" } << "Hello";
}

void tst_KarvoWidgets::loadTranslator()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, locales);
    QFETCH(QString, expected);
    if (m_lrelease.isEmpty())
        QSKIP("lrelease (qttools5-dev-tools) is not installed; no .qm file can be made");

    QTemporaryDir dir;
    for (const QString &file : files) {
        const QString locale = file.section(QLatin1Char('/'), 1).section(QLatin1Char(':'), 0, 0);
        const QString target = dir.filePath(file.section(QLatin1Char('/'), 0, 0)
            + QStringLiteral("/%1/%2/translations")
                  .arg(QCoreApplication::organizationName(), QCoreApplication::applicationName()));
        const QString ts = dir.filePath(locale + QStringLiteral(".ts"));
        QFile source(ts);
        QVERIFY(QDir().mkpath(target) && source.open(QIODevice::WriteOnly | QIODevice::Truncate));
        source.write(
            QStringLiteral("<!DOCTYPE TS><TS version=\"2.1\" "
                           "language=\"%1\"><context><name>%2</name><message><source>Hello</"
                           "source><translation>%3</translation></message></context></TS>\n")
                .arg(locale, QLatin1String(Context), file.section(QLatin1Char(':'), 1))
                .toUtf8());
        source.close();
        const QString qm = QStringLiteral("%1/%2_%3.qm")
                               .arg(target, QCoreApplication::applicationName(), locale);
        QCOMPARE(QProcess::execute(
                     m_lrelease, { QStringLiteral("-silent"), ts, QStringLiteral("-qm"), qm }),
            0);
    }

    qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("home")).toLocal8Bit());
    qputenv("XDG_DATA_DIRS", dir.filePath(QStringLiteral("system")).toLocal8Bit());
    QList<QLocale> localeList;
    for (const QString &name : locales)
        localeList.append(QLocale(name));
    auto *application = static_cast<Karvo::Application *>(QCoreApplication::instance());
    QCOMPARE(application->loadTranslator(localeList), expected != QLatin1String("Hello"));
    QCOMPARE(QCoreApplication::translate(Context, "Hello"), expected);
    // Loading again for a locale without files must take the earlier translators away.
    QVERIFY(!application->loadTranslator({ QLocale(QLocale::Esperanto) }));
    QCOMPARE(QCoreApplication::translate(Context, "Hello"), QStringLiteral("Hello"));
}

void tst_KarvoWidgets::moveToCenter_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("beforeShow");
    // A framed window's frame is only known once shown, so before showing only the toolkit's
    // frameless window can be centred exactly.
    QTest::newRow("frameless main window, before show") << QSize(740, 550) << true;
    QTest::newRow("framed window, odd size, shown") << QSize(301, 201) << false;
    QTest::newRow("larger than the screen") << QSize(3000, 2000) << true;
}

void tst_KarvoWidgets::moveToCenter()
{
    QFETCH(QSize, size);
    QFETCH(bool, beforeShow);
    std::unique_ptr<QWidget> window(beforeShow ? new Karvo::MainWindow : new QWidget);
    window->resize(size);
    window->move(3, 7);
    if (beforeShow)
        Karvo::moveToCenter(window.get());
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    if (!beforeShow)
        Karvo::moveToCenter(window.get());

    const QRect area = window->screen()->availableGeometry();
    const QRect frame = window->frameGeometry();
    if (size.width() > area.width()) {
        QCOMPARE(frame.topLeft(), area.topLeft());
        return;
    }
    QVERIFY2(qAbs((frame.left() + frame.right()) - (area.left() + area.right())) <= 1
            && qAbs((frame.top() + frame.bottom()) - (area.top() + area.bottom())) <= 1,
        qPrintable(QStringLiteral("window at %1,%2 on a %3x%4 screen")
                       .arg(frame.x())
                       .arg(frame.y())
                       .arg(area.width())
                       .arg(area.height())));
}

void tst_KarvoWidgets::buttons()
{
    for (const QString &styleName : { QString::fromLatin1(StyleName), QStringLiteral("Fusion") }) {
        std::unique_ptr<QStyle> style(QStyleFactory::create(styleName));
        QWidget page;
        auto *layout = new QHBoxLayout(&page);
        auto *suggest = new Karvo::SuggestButton(QStringLiteral("Import offline file (.oup)"));
        auto *warning = new Karvo::WarningButton(QStringLiteral("Continue Upgrade"));
        auto *plain = new QPushButton(QStringLiteral("Continue Upgrade"));
        for (QWidget *button : { static_cast<QWidget *>(suggest), static_cast<QWidget *>(warning),
                 static_cast<QWidget *>(plain) }) {
            button->setStyle(style.get());
            button->setFixedSize(220, 40);
            layout->addWidget(button);
        }
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));

        // A band left of the text, clear of the rounded corners and the border.
        const QRect band(6, 14, 12, 12);
        const QImage suggested = PixelProbe::grab(suggest);
        if (styleName == QLatin1String(StyleName)) {
            QCOMPARE(countNear(suggested, band, accent(), 2), band.width() * band.height());
        } else {
            // Fusion shades its buttons; the accent hue must still dominate.
            const QColor c = suggested.pixelColor(band.center());
            QVERIFY2(c.blue() > c.red() + 80, qPrintable(c.name()));
        }
        QCOMPARE(countNear(PixelProbe::grab(plain), band, accent(), 40), 0);
        // The label is drawn in the light text colour on the accent.
        QVERIFY(countNear(suggested, suggested.rect(), Qt::white, 30) > 20);
        const auto redInk = [](const QImage &image) {
            return PixelProbe::count(image, image.rect(),
                [](const QColor &c) { return c.red() > 170 && c.green() < 140 && c.blue() < 140; });
        };
        QVERIFY(redInk(PixelProbe::grab(warning)) > 20);
        QCOMPARE(redInk(PixelProbe::grab(plain)), 0);
    }
}

void tst_KarvoWidgets::hiddenMenuButton()
{
    Karvo::MainWindow window;
    window.setFixedSize(500, 300);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    Karvo::TitleBar *bar = window.titlebar();
    QTRY_VERIFY(bar->isMenuVisible() && bar->menuButton()->isVisible());
    const QRect area(bar->menuButton()->mapTo(bar, QPoint(0, 0)), bar->menuButton()->size());
    QVERIFY(countInk(PixelProbe::grab(bar), area) > 0);
    bar->setMenuVisible(false);
    QVERIFY(!bar->isMenuVisible());
    QCOMPARE(countInk(PixelProbe::grab(bar), area), 0);
    bar->setMenuVisible(true);
    QVERIFY(bar->isMenuVisible() && countInk(PixelProbe::grab(bar), area) > 0);
}

void tst_KarvoWidgets::windowButtons_data()
{
    QTest::addColumn<int>("flags");
    QTest::addColumn<bool>("fixedSize");
    QTest::addColumn<bool>("minimize");
    QTest::addColumn<bool>("maximize");

    QTest::newRow("default window") << int(Qt::Window) << false << true << true;
    QTest::newRow("fixed size") << int(Qt::Window) << true << true << false;
    QTest::newRow("close button only (the tool's window)")
        << int(Qt::WindowCloseButtonHint) << true << false << false;
    QTest::newRow("minimise and close")
        << int(Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint) << false << true << false;
}

void tst_KarvoWidgets::windowButtons()
{
    QFETCH(int, flags);
    QFETCH(bool, fixedSize);
    Karvo::MainWindow window;
    if (fixedSize)
        window.setFixedSize(400, 300);
    window.setWindowFlags(Qt::WindowFlags(flags));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(window.windowFlags() & Qt::FramelessWindowHint);
    const auto button = [&window](const char *name) {
        return window.titlebar()->findChild<QPushButton *>(
            QLatin1String("karvo-titlebar-") + QLatin1String(name));
    };
    QTEST(button("minimize") && button("minimize")->isVisible(), "minimize");
    QTEST(button("maximize") && button("maximize")->isVisible(), "maximize");
    QVERIFY(button("close") && button("close")->isVisible());
    QTest::mouseClick(button("close"), Qt::LeftButton);
    QTRY_VERIFY(!window.isVisible());
}

void tst_KarvoWidgets::dragTitleBar()
{
    Karvo::MainWindow window;
    window.resize(400, 300);
    window.move(100, 100);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QPoint start = window.pos();
    Karvo::TitleBar *bar = window.titlebar();
    const QPoint grip(bar->width() / 3, bar->height() / 2);
    const QPoint delta(37, 21);

    // The title bar moves with the window, so the pointer's local position stays put.
    sendMouse(bar, QEvent::MouseButtonPress, grip, bar->mapToGlobal(grip), Qt::LeftButton);
    sendMouse(bar, QEvent::MouseMove, grip, bar->mapToGlobal(grip) + delta, Qt::LeftButton);
    sendMouse(bar, QEvent::MouseButtonRelease, grip, bar->mapToGlobal(grip), Qt::NoButton);
    QTRY_COMPARE(window.pos(), start + delta);
    // After the release, moving the pointer moves nothing.
    sendMouse(bar, QEvent::MouseMove, grip, bar->mapToGlobal(grip) + delta, Qt::NoButton);
    QCOMPARE(window.pos(), start + delta);
}

void tst_KarvoWidgets::roundedPanels_data()
{
    QTest::addColumn<QMargins>("itemMargins");
    QTest::newRow("no item margins") << QMargins();
    QTest::newRow("item margins 4") << QMargins(4, 4, 4, 4);
}

void tst_KarvoWidgets::roundedPanels()
{
    QFETCH(QMargins, itemMargins);
    const QColor window = QApplication::palette().color(QPalette::Window);
    QVERIFY(!near(window, base(), 6, true));

    QWidget page;
    page.resize(420, 200);
    auto *outer = new QHBoxLayout(&page);
    outer->setContentsMargins(0, 0, 0, 0);
    auto *layout = new QHBoxLayout;
    layout->setContentsMargins(10, 10, 10, 10);
    layout->setSpacing(20);
    auto *group = new Karvo::BackgroundGroup(layout);
    group->setItemMargins(itemMargins);
    auto *left = new QWidget;
    auto *right = new QWidget;
    layout->addWidget(left);
    layout->addWidget(right);
    auto *frame = new Karvo::Frame;
    frame->setFixedSize(100, 100);
    outer->addWidget(group, 1);
    outer->addWidget(frame);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));

    const QImage image = PixelProbe::grab(&page);
    const auto at = [&image](const QPoint &point) { return image.pixelColor(point); };
    const QRect l = left->geometry();
    const QRect r = right->geometry();
    QCOMPARE(group->panelRects().size(), 2);
    QVERIFY(near(at(l.center()), base(), 6, true) && near(at(r.center()), base(), 6, true));
    // Between the two panels the window shows; the item margins widen the panel beyond the item.
    QVERIFY2(near(at(QPoint((l.right() + r.left()) / 2, l.center().y())), window, 6, true),
        "no gap between the panels");
    QCOMPARE(
        near(at(QPoint(l.left() - 2, l.center().y())), base(), 6, true), itemMargins.left() >= 2);
    // Rounded corners: the very corner shows the window, a little inside is the panel.
    const QRect panel = l.marginsAdded(itemMargins);
    QVERIFY(near(at(panel.topLeft()), window, 3, true)
        && near(at(panel.topLeft() + QPoint(8, 8)), base(), 6, true));
    const QPoint frameOrigin = frame->mapTo(&page, QPoint(0, 0));
    QVERIFY(near(at(frameOrigin), window, 3, true)
        && near(at(frameOrigin + QPoint(50, 50)), base(), 6, true));
}

int main(int argc, char *argv[])
{
    Karvo::Application application(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("karvo-test-org"));
    QCoreApplication::setApplicationName(QStringLiteral("karvo-test"));
    tst_KarvoWidgets test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_karvowidgets.moc"
