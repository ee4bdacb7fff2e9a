// Faults this test is there to catch:
// - the style not reachable by the name "velmora" (plugin not registered, wrong key), or not
//   answering the frame-radius and contents-margin metrics, or the metric helper answering 0
//   under a foreign style so that panels lose their corners;
// - font levels out of order or collapsing at small base sizes; a bound widget not following a
//   base-size change, still following after unbind, losing its other font attributes, or a
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
#include "palettehelper.h"
#include "spinner.h"
#include "standarditem.h"
#include "style.h"
#include "suggestbutton.h"
#include "titlebar.h"
#include "warningbutton.h"

#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QProcess>
#include <QScreen>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QStandardPaths>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QtPlugin>
#include <memory>

Q_DECLARE_METATYPE(QMargins)
Q_IMPORT_PLUGIN(VelmoraStylePlugin)

namespace {

const char StyleName[] = "velmora";
const char OrganizationName[] = "karvo-test-org";
const char ApplicationName[] = "karvo-test";
const char TranslationContext[] = "tst_KarvoWidgets";
const char SourceText[] = "Hello";

QImage render(QWidget *widget)
{
    return widget->grab().toImage().convertToFormat(QImage::Format_ARGB32);
}

// Pixels in |area| whose colour is within |tolerance| of |color| on every channel.
int countNear(const QImage &image, const QRect &area, const QColor &color, int tolerance = 6)
{
    int count = 0;
    const QRect clipped = area & image.rect();
    for (int y = clipped.top(); y <= clipped.bottom(); ++y) {
        for (int x = clipped.left(); x <= clipped.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (qAbs(c.red() - color.red()) <= tolerance
                && qAbs(c.green() - color.green()) <= tolerance
                && qAbs(c.blue() - color.blue()) <= tolerance)
                ++count;
        }
    }
    return count;
}

bool near(const QColor &a, const QColor &b, int tolerance = 6)
{
    return qAbs(a.red() - b.red()) <= tolerance && qAbs(a.green() - b.green()) <= tolerance
        && qAbs(a.blue() - b.blue()) <= tolerance;
}

// Pixels clearly darker than the light background: ink of text or glyphs.
int countInk(const QImage &image, const QRect &area)
{
    int count = 0;
    const QRect clipped = area & image.rect();
    for (int y = clipped.top(); y <= clipped.bottom(); ++y)
        for (int x = clipped.left(); x <= clipped.right(); ++x)
            count += qGray(image.pixel(x, y)) < 150;
    return count;
}

QColor accent()
{
    return QApplication::palette().color(QPalette::Active, QPalette::Highlight);
}

Karvo::Application *app()
{
    return static_cast<Karvo::Application *>(QCoreApplication::instance());
}

} // namespace

class tst_KarvoWidgets : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void styleByName_data();
    void styleByName();

    void fontLevels_data();
    void fontLevels();
    void boundWidgetFollows_data();
    void boundWidgetFollows();
    void destroyedBoundWidget();

    void listItemGeometry_data();
    void listItemGeometry();
    void listBackgrounds_data();
    void listBackgrounds();

    void spinner();

    void transientMessage_data();
    void transientMessage();
    void messagePlacement_data();
    void messagePlacement();

    void loadTranslator_data();
    void loadTranslator();

    void moveToCenter_data();
    void moveToCenter();

    void suggestButton_data();
    void suggestButton();
    void warningButton();
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

void tst_KarvoWidgets::styleByName_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("QStyleFactory::create") << QStringLiteral("factory");
    QTest::newRow("QApplication::setStyle") << QStringLiteral("application");
    // Panels must keep their corners when a widget runs under a foreign style.
    QTest::newRow("metric helper under Fusion") << QStringLiteral("foreign");
}

void tst_KarvoWidgets::styleByName()
{
    QFETCH(QString, how);
    QVERIFY(QStyleFactory::keys().contains(QString::fromLatin1(StyleName), Qt::CaseInsensitive));

    QWidget widget;
    std::unique_ptr<QStyle> created;
    if (how == QLatin1String("application")) {
        widget.setStyle(QApplication::setStyle(QString::fromLatin1(StyleName)));
    } else {
        created.reset(QStyleFactory::create(
            how == QLatin1String("foreign") ? QStringLiteral("Fusion") : StyleName));
        widget.setStyle(created.get());
    }
    const bool foreign = how == QLatin1String("foreign");
    QCOMPARE(qobject_cast<Karvo::Style *>(widget.style()) != nullptr, !foreign);
    QCOMPARE(widget.style()->pixelMetric(QStyle::PixelMetric(Karvo::Style::PM_FrameRadius)),
        foreign ? 0 : 8);
    QCOMPARE(Karvo::Style::metric(&widget, Karvo::Style::PM_FrameRadius), 8);
    QCOMPARE(Karvo::Style::metric(&widget, Karvo::Style::PM_ContentsMargins), 10);
    // The light palette with the blue accent comes with the style.
    QCOMPARE(QApplication::palette().color(QPalette::Highlight), QColor(0x00, 0x81, 0xff));
    QCOMPARE(QApplication::palette().color(QPalette::Base), QColor(Qt::white));
}

void tst_KarvoWidgets::fontLevels_data()
{
    QTest::addColumn<int>("base");
    QTest::addColumn<int>("body");
    QTest::newRow("default") << 14 << 14;
    QTest::newRow("large") << 24 << 24;
    QTest::newRow("smallest allowed") << 8 << 8;
    QTest::newRow("too small is raised") << 3 << 8;
}

void tst_KarvoWidgets::fontLevels()
{
    QFETCH(int, base);
    QFETCH(int, body);
    auto *fonts = Karvo::FontSizeManager::instance();
    fonts->setBaseFontSize(base);
    QCOMPARE(fonts->fontPixelSize(Karvo::FontSizeManager::T6), body);
    QCOMPARE(fonts->get(Karvo::FontSizeManager::T6).pixelSize(), body);
    for (int level = Karvo::FontSizeManager::T2; level <= Karvo::FontSizeManager::T10; ++level) {
        const auto larger = Karvo::FontSizeManager::SizeType(level - 1);
        const auto smaller = Karvo::FontSizeManager::SizeType(level);
        QVERIFY2(fonts->get(larger).pixelSize() > fonts->get(smaller).pixelSize(),
            qPrintable(QStringLiteral("T%1 not larger than T%2").arg(level).arg(level + 1)));
    }
    QVERIFY(fonts->get(Karvo::FontSizeManager::T10).pixelSize() > 0);
}

void tst_KarvoWidgets::boundWidgetFollows_data()
{
    QTest::addColumn<bool>("karvoLabel");
    QTest::addColumn<int>("level");
    QTest::newRow("QLabel at T1") << false << int(Karvo::FontSizeManager::T1);
    QTest::newRow("QLabel at T8") << false << int(Karvo::FontSizeManager::T8);
    QTest::newRow("Karvo::Label, bound to T6 from the start") << true << -1;
}

void tst_KarvoWidgets::boundWidgetFollows()
{
    QFETCH(bool, karvoLabel);
    QFETCH(int, level);
    auto *fonts = Karvo::FontSizeManager::instance();
    std::unique_ptr<QLabel> label(karvoLabel ? new Karvo::Label : new QLabel);
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    const auto type
        = level < 0 ? Karvo::FontSizeManager::T6 : Karvo::FontSizeManager::SizeType(level);
    if (level >= 0)
        fonts->bind(label.get(), type);
    QVERIFY(fonts->isBound(label.get()));
    QCOMPARE(label->font().pixelSize(), fonts->fontPixelSize(type));

    fonts->setBaseFontSize(20);
    QCOMPARE(label->font().pixelSize(), fonts->fontPixelSize(type));
    QVERIFY(label->font().bold());

    fonts->unbind(label.get());
    const int kept = label->font().pixelSize();
    fonts->setBaseFontSize(11);
    QCOMPARE(label->font().pixelSize(), kept);
    QVERIFY(!fonts->isBound(label.get()));
}

void tst_KarvoWidgets::destroyedBoundWidget()
{
    auto *fonts = Karvo::FontSizeManager::instance();
    auto *label = new QLabel;
    fonts->bind(label, Karvo::FontSizeManager::T3);
    delete label;
    QVERIFY(!fonts->isBound(label));
    // Would write to freed memory if the binding outlived the widget.
    fonts->setBaseFontSize(19);
    QCOMPARE(fonts->baseFontSize(), 19);
}

void tst_KarvoWidgets::listItemGeometry_data()
{
    QTest::addColumn<QSize>("itemSize");
    QTest::addColumn<QMargins>("margins");
    QTest::addColumn<int>("spacing");

    QTest::newRow("module list") << QSize(180, 48) << QMargins(5, 3, 5, 3) << 0;
    QTest::newRow("no margins") << QSize(160, 40) << QMargins() << 0;
    QTest::newRow("uneven margins, spacing") << QSize(180, 50) << QMargins(2, 7, 9, 1) << 6;
}

void tst_KarvoWidgets::listItemGeometry()
{
    QFETCH(QSize, itemSize);
    QFETCH(QMargins, margins);
    QFETCH(int, spacing);

    Karvo::ListView view;
    QStandardItemModel model;
    for (const char *text : { "first", "second", "third" }) {
        auto *item = new Karvo::StandardItem(QString::fromLatin1(text));
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
        QCOMPARE(
            view.sizeHintForIndex(index), QSize(itemSize.width(), itemSize.height() + spacing));
        const QRect rect = view.visualRect(index);
        const int cellTop = row * (itemSize.height() + spacing);
        QCOMPARE(rect.top(), cellTop + margins.top());
        QCOMPARE(rect.height(), itemSize.height() - margins.top() - margins.bottom());
        QCOMPARE(rect.left(), margins.left());
        QCOMPARE(rect.right(), view.viewport()->width() - 1 - margins.right());
        QCOMPARE(view.indexAt(rect.center()), index);
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

    const QImage image = render(view.viewport());
    const QColor base = view.viewport()->palette().color(QPalette::Base);
    const QRect selected = view.visualRect(model.index(0, 0));
    const QRect normal = view.visualRect(model.index(1, 0));
    // Left of the text, clear of the rounded corners.
    const QPoint inSelected(selected.left() + 4, selected.center().y());
    const QPoint inNormal(normal.left() + 4, normal.center().y());
    const QPoint inMargin(selected.left() - 3, selected.center().y());

    QVERIFY2(near(image.pixelColor(inSelected), accent()),
        qPrintable(image.pixelColor(inSelected).name()));
    QVERIFY2(near(image.pixelColor(inMargin), base), qPrintable(image.pixelColor(inMargin).name()));
    QCOMPARE(!near(image.pixelColor(inNormal), base, 2), normalHasBackground);
    QVERIFY(!near(image.pixelColor(inNormal), accent(), 40));
}

void tst_KarvoWidgets::spinner()
{
    Karvo::Spinner spinner;
    spinner.setFixedSize(100, 100);
    spinner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&spinner));
    QVERIFY(!spinner.isPlaying());

    const QImage before = render(&spinner);
    QVERIFY2(countNear(before, before.rect(), accent(), 8) > 0, "no dot in the accent colour");
    spinner.start();
    QVERIFY(spinner.isPlaying());
    QTRY_VERIFY_WITH_TIMEOUT(render(&spinner) != before, 2000);

    spinner.stop();
    QVERIFY(!spinner.isPlaying());
    const QImage stopped = render(&spinner);
    // Several frame intervals pass; a stopped spinner shows the same frame throughout.
    QTimer later;
    later.setSingleShot(true);
    QSignalSpy elapsed(&later, &QTimer::timeout);
    later.start(400);
    QVERIFY(elapsed.wait(2000));
    QCOMPARE(render(&spinner), stopped);
}

void tst_KarvoWidgets::transientMessage_data()
{
    QTest::addColumn<int>("duration");
    QTest::newRow("short") << 150;
    QTest::newRow("longer") << 600;
}

void tst_KarvoWidgets::transientMessage()
{
    QFETCH(int, duration);
    QWidget window;
    window.resize(400, 300);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    auto *transient = new Karvo::FloatingMessage(Karvo::FloatingMessage::TransientType);
    transient->setDuration(duration);
    transient->setMessage(QStringLiteral("File format error, please reselect"));
    auto *resident = new Karvo::FloatingMessage(Karvo::FloatingMessage::ResidentType);
    resident->setDuration(duration);
    resident->setMessage(QStringLiteral("stays"));
    QPointer<Karvo::FloatingMessage> residentGuard(resident);

    QElapsedTimer clock;
    qint64 lifetime = -1;
    connect(transient, &QObject::destroyed, this, [&] { lifetime = clock.elapsed(); });
    clock.start();
    Karvo::MessageManager::instance()->sendMessage(&window, transient);
    Karvo::MessageManager::instance()->sendMessage(&window, resident);
    QVERIFY(transient->isVisible());

    QTRY_VERIFY_WITH_TIMEOUT(lifetime >= 0, duration + 3000);
    QVERIFY2(lifetime >= duration, qPrintable(QString::number(lifetime)));
    QVERIFY(residentGuard);
    QVERIFY(residentGuard->isVisible());
}

void tst_KarvoWidgets::messagePlacement_data()
{
    QTest::addColumn<QMargins>("margins");
    QTest::addColumn<bool>("marginsFirst");
    QTest::addColumn<QSize>("resizeTo");

    QTest::newRow("bottom 10, set after sending") << QMargins(0, 0, 0, 10) << false << QSize();
    QTest::newRow("bottom 10, set before sending") << QMargins(0, 0, 0, 10) << true << QSize();
    QTest::newRow("uneven sides") << QMargins(60, 5, 10, 40) << false << QSize();
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
    QVERIFY(window.isAncestorOf(message));
    QVERIFY(message->isVisible());

    // At the bottom of the area inside the margins, horizontally centred in it.
    const auto placedWell = [&] {
        const QRect inner = window.rect().marginsRemoved(margins);
        const QRect placed(message->mapTo(&window, QPoint(0, 0)), message->size());
        const int leftGap = placed.left() - inner.left();
        const int rightGap = inner.right() - placed.right();
        return inner.contains(placed) && placed.bottom() == inner.bottom()
            && qAbs(leftGap - rightGap) <= 1;
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
    QTest::addColumn<QStringList>("homeFiles");
    QTest::addColumn<QStringList>("systemFiles");
    QTest::addColumn<QStringList>("locales");
    QTest::addColumn<QString>("expected");

    // A file entry is "<locale>:<translation>".
    const QString hallo = QStringLiteral("Hallo");
    const QString bonjour = QStringLiteral("Bonjour");
    QTest::newRow("user data directory")
        << QStringList { "de_DE:Hallo" } << QStringList() << QStringList { "de_DE" } << hallo;
    QTest::newRow("system data directory")
        << QStringList() << QStringList { "de_DE:Hallo" } << QStringList { "de_DE" } << hallo;
    QTest::newRow("language-only file for a regional locale")
        << QStringList { "fr:Bonjour" } << QStringList() << QStringList { "fr_CA" } << bonjour;
    QTest::newRow("user directory before system directory")
        << QStringList { "de_DE:Hallo" } << QStringList { "de_DE:Servus" }
        << QStringList { "de_DE" } << hallo;
    QTest::newRow("first locale preferred")
        << QStringList { "de_DE:Hallo", "fr_FR:Bonjour" } << QStringList()
        << QStringList { "fr_FR", "de_DE" } << bonjour;
    QTest::newRow("later locale when the first has no file")
        << QStringList { "de_DE:Hallo" } << QStringList() << QStringList { "ja_JP", "de_DE" }
        << hallo;
    QTest::newRow("no file for the locale")
        << QStringList { "de_DE:Hallo" } << QStringList() << QStringList { "it_IT" }
        << QString::fromLatin1(SourceText);
}

void tst_KarvoWidgets::loadTranslator()
{
    QFETCH(QStringList, homeFiles);
    QFETCH(QStringList, systemFiles);
    QFETCH(QStringList, locales);
    QFETCH(QString, expected);
    if (m_lrelease.isEmpty())
        QSKIP("lrelease (qttools5-dev-tools) is not installed; no .qm file can be made");

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString appPart
        = QStringLiteral("/%1/%2/translations")
              .arg(QLatin1String(OrganizationName), QLatin1String(ApplicationName));
    const auto writeQm = [&](const QString &root, const QString &entry) {
        const QString locale = entry.section(QLatin1Char(':'), 0, 0);
        const QString translation = entry.section(QLatin1Char(':'), 1);
        const QString target = root + appPart;
        QVERIFY(QDir().mkpath(target));
        const QString ts = dir.filePath(locale + QStringLiteral(".ts"));
        QFile file(ts);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!DOCTYPE TS>\n"
                                  "<TS version=\"2.1\" language=\"%1\"><context><name>%2</name>"
                                  "<message><source>%3</source><translation>%4</translation>"
                                  "</message></context></TS>\n")
                       .arg(locale, QLatin1String(TranslationContext), QLatin1String(SourceText),
                           translation)
                       .toUtf8());
        file.close();
        const QString qm
            = QStringLiteral("%1/%2_%3.qm").arg(target, QLatin1String(ApplicationName), locale);
        QProcess lrelease;
        lrelease.start(m_lrelease, { QStringLiteral("-silent"), ts, QStringLiteral("-qm"), qm });
        QVERIFY(lrelease.waitForFinished(30000));
        QCOMPARE(lrelease.exitCode(), 0);
        QVERIFY(QFile::exists(qm));
    };
    for (const QString &entry : homeFiles)
        writeQm(dir.filePath(QStringLiteral("home")), entry);
    for (const QString &entry : systemFiles)
        writeQm(dir.filePath(QStringLiteral("system")), entry);
    if (QTest::currentTestFailed())
        return;

    const QByteArray oldHome = qgetenv("XDG_DATA_HOME");
    const QByteArray oldDirs = qgetenv("XDG_DATA_DIRS");
    qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("home")).toLocal8Bit());
    qputenv("XDG_DATA_DIRS", dir.filePath(QStringLiteral("system")).toLocal8Bit());
    QList<QLocale> localeList;
    for (const QString &name : locales)
        localeList.append(QLocale(name));
    const bool loaded = app()->loadTranslator(localeList);
    const QString translated = QCoreApplication::translate(TranslationContext, SourceText);
    // Loading again for a locale without files must take the earlier translators away.
    const bool reloaded = app()->loadTranslator({ QLocale(QLocale::Esperanto) });
    const QString afterReload = QCoreApplication::translate(TranslationContext, SourceText);
    qputenv("XDG_DATA_HOME", oldHome);
    qputenv("XDG_DATA_DIRS", oldDirs);

    QCOMPARE(translated, expected);
    QCOMPARE(loaded, expected != QLatin1String(SourceText));
    QVERIFY(!reloaded);
    QCOMPARE(afterReload, QString::fromLatin1(SourceText));
}

void tst_KarvoWidgets::moveToCenter_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("beforeShow");
    QTest::addColumn<bool>("fits");
    // A framed window's frame is only known once shown, so before showing only the toolkit's
    // frameless window can be centred exactly.
    QTest::newRow("frameless main window, before show") << QSize(740, 550) << true << true;
    QTest::newRow("framed window, odd size, shown") << QSize(301, 201) << false << true;
    QTest::newRow("larger than the screen") << QSize(3000, 2000) << true << false;
}

void tst_KarvoWidgets::moveToCenter()
{
    QFETCH(QSize, size);
    QFETCH(bool, beforeShow);
    QFETCH(bool, fits);
    std::unique_ptr<QWidget> owner(beforeShow ? new Karvo::MainWindow : new QWidget);
    QWidget &window = *owner;
    window.resize(size);
    window.move(3, 7);
    if (beforeShow)
        Karvo::moveToCenter(&window);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    if (!beforeShow)
        Karvo::moveToCenter(&window);

    const QRect area = window.screen()->availableGeometry();
    const QRect frame = window.frameGeometry();
    if (fits) {
        QVERIFY(size.width() <= area.width() && size.height() <= area.height());
        QVERIFY2(qAbs((frame.left() + frame.right()) - (area.left() + area.right())) <= 1
                && qAbs((frame.top() + frame.bottom()) - (area.top() + area.bottom())) <= 1,
            qPrintable(QStringLiteral("window at %1,%2 on a %3x%4 screen")
                           .arg(frame.x())
                           .arg(frame.y())
                           .arg(area.width())
                           .arg(area.height())));
    } else {
        QCOMPARE(frame.topLeft(), area.topLeft());
    }
}

void tst_KarvoWidgets::suggestButton_data()
{
    QTest::addColumn<QString>("styleName");
    QTest::newRow("velmora") << QString::fromLatin1(StyleName);
    QTest::newRow("Fusion") << QStringLiteral("Fusion");
}

void tst_KarvoWidgets::suggestButton()
{
    QFETCH(QString, styleName);
    std::unique_ptr<QStyle> style(QStyleFactory::create(styleName));
    QVERIFY(style);
    QWidget page;
    page.setStyle(style.get());
    auto *layout = new QHBoxLayout(&page);
    auto *suggest = new Karvo::SuggestButton(QStringLiteral("Import offline file (.oup)"));
    auto *plain = new QPushButton(QStringLiteral("Postpone Upgrade"));
    for (QWidget *w : { static_cast<QWidget *>(suggest), static_cast<QWidget *>(plain) }) {
        w->setStyle(style.get());
        w->setFixedSize(220, 40);
        layout->addWidget(w);
    }
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));

    // A band left of the text, clear of the rounded corners and the border.
    const QRect band(6, 14, 12, 12);
    const QImage suggested = render(suggest);
    const QImage ordinary = render(plain);
    if (styleName == QLatin1String(StyleName)) {
        QCOMPARE(countNear(suggested, band, accent(), 2), band.width() * band.height());
    } else {
        // Fusion shades its buttons; the accent hue must still dominate.
        const QColor c = suggested.pixelColor(band.center());
        QVERIFY2(c.blue() > c.red() + 80, qPrintable(c.name()));
    }
    QCOMPARE(countNear(ordinary, band, accent(), 40), 0);
    // The label is drawn in the light text colour on the accent.
    QVERIFY(countNear(suggested, suggested.rect(), Qt::white, 30) > 20);
}

void tst_KarvoWidgets::warningButton()
{
    Karvo::WarningButton warning(QStringLiteral("Continue Upgrade"));
    QPushButton plain(QStringLiteral("Continue Upgrade"));
    for (QPushButton *button : { static_cast<QPushButton *>(&warning), &plain }) {
        button->setFixedSize(200, 40);
        button->show();
        QVERIFY(QTest::qWaitForWindowExposed(button));
    }
    const auto redInk = [](const QImage &image) {
        int count = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                count += c.red() > 170 && c.green() < 140 && c.blue() < 140;
            }
        return count;
    };
    QVERIFY(redInk(render(&warning)) > 20);
    QCOMPARE(redInk(render(&plain)), 0);
}

void tst_KarvoWidgets::hiddenMenuButton()
{
    Karvo::MainWindow window;
    window.setFixedSize(500, 300);
    window.setWindowTitle(QStringLiteral("Title"));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    Karvo::TitleBar *bar = window.titlebar();
    QVERIFY(bar->isMenuVisible());
    QTRY_VERIFY(bar->menuButton()->isVisible());

    const QRect area = bar->menuButton()->geometry().translated(
        bar->menuButton()->parentWidget()->mapTo(bar, QPoint(0, 0)));
    QVERIFY(countInk(render(bar), area) > 0);

    bar->setMenuVisible(false);
    QVERIFY(!bar->isMenuVisible());
    QCOMPARE(countInk(render(bar), area), 0);

    bar->setMenuVisible(true);
    QVERIFY(bar->isMenuVisible());
    QVERIFY(countInk(render(bar), area) > 0);
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
    QFETCH(bool, minimize);
    QFETCH(bool, maximize);

    Karvo::MainWindow window;
    if (fixedSize)
        window.setFixedSize(400, 300);
    else
        window.resize(400, 300);
    window.setWindowFlags(Qt::WindowFlags(flags));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QVERIFY(window.windowFlags() & Qt::FramelessWindowHint);
    const auto shown = [&window](const char *name) {
        auto *button = window.titlebar()->findChild<QPushButton *>(QString::fromLatin1(name));
        return button && button->isVisible();
    };
    QCOMPARE(shown("karvo-titlebar-minimize"), minimize);
    QCOMPARE(shown("karvo-titlebar-maximize"), maximize);
    QVERIFY(shown("karvo-titlebar-close"));

    QTest::mouseClick(
        window.titlebar()->findChild<QPushButton *>(QStringLiteral("karvo-titlebar-close")),
        Qt::LeftButton);
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

    QMouseEvent press(QEvent::MouseButtonPress, grip, bar->mapToGlobal(grip), Qt::LeftButton,
        Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(bar, &press);
    // The title bar moves with the window, so the pointer's local position stays put.
    QMouseEvent move(QEvent::MouseMove, grip, bar->mapToGlobal(grip) + delta, Qt::NoButton,
        Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(bar, &move);
    QMouseEvent release(QEvent::MouseButtonRelease, grip, bar->mapToGlobal(grip), Qt::LeftButton,
        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(bar, &release);
    QTRY_COMPARE(window.pos(), start + delta);

    // After the release, moving the pointer moves nothing.
    QMouseEvent hover(QEvent::MouseMove, grip, bar->mapToGlobal(grip) + delta, Qt::NoButton,
        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(bar, &hover);
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
    const QColor base = QApplication::palette().color(QPalette::Base);
    QVERIFY(!near(window, base));

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

    const QImage image = render(&page);
    const QRect l = left->geometry();
    const QRect r = right->geometry();
    QCOMPARE(group->panelRects().size(), 2);
    QVERIFY(near(image.pixelColor(l.center()), base));
    QVERIFY(near(image.pixelColor(r.center()), base));
    // Between the two panels the window shows.
    const QPoint gap((l.right() + r.left()) / 2, l.center().y());
    QVERIFY2(near(image.pixelColor(gap), window), qPrintable(image.pixelColor(gap).name()));
    // The item margins widen the panel beyond the item.
    const QPoint besideItem(l.left() - 2, l.center().y());
    QCOMPARE(near(image.pixelColor(besideItem), base), itemMargins.left() >= 2);
    // Rounded corners: the very corner shows the window, a little inside is the panel.
    const QRect panel = l.marginsAdded(itemMargins);
    QVERIFY(near(image.pixelColor(panel.topLeft()), window, 3));
    QVERIFY(near(image.pixelColor(panel.topLeft() + QPoint(8, 8)), base));

    const QPoint frameOrigin = frame->mapTo(&page, QPoint(0, 0));
    QVERIFY(near(image.pixelColor(frameOrigin), window, 3));
    QVERIFY(near(image.pixelColor(frameOrigin + QPoint(50, 50)), base));
}

int main(int argc, char *argv[])
{
    Karvo::Application application(argc, argv);
    QCoreApplication::setOrganizationName(QString::fromLatin1(OrganizationName));
    QCoreApplication::setApplicationName(QString::fromLatin1(ApplicationName));
    tst_KarvoWidgets test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_karvowidgets.moc"
