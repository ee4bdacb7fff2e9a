// Faults this test is there to catch:
// - the panel painted with square top corners, rounded bottom corners, or a radius that does not
//   come from the style's frame-radius metric;
// - the bottom line missing under some section, thicker than one pixel, painted under the panel
//   instead of over it, or in another colour than the frame border laid over the window colour;
// - a separator on the left of the leftmost section (also after sections were moved), none on
//   the others, or one that runs into the top or bottom inset of 4 pixels;
// - the sort arrow on the wrong section, in the wrong direction, of the wrong size, away from
//   m + 1 pixels right of the text area, or drawn while the indicator is hidden or unset;
// - section titles not indented by the style's contents margin, or the first column's title not
//   indented further;
// - a size hint or height other than 37;
// - a focus frame after a mouse click or a programmatic focus, none after Tab or Backtab, one that
//   does not run around all sections, or one that stays after the focus has left;
// - metrics asked under ids that the toolkit's own style does not answer, which would leave the
//   panel square and the arrow against the section's edge.

#include "garrolantableheaderview.h"
#include "markingstyle.h"
#include "palettehelper.h"
#include "style.h"

#include <QLineEdit>
#include <QPainter>
#include <QStandardItemModel>
#include <QStyleFactory>
#include <QTest>
#include <QVBoxLayout>
#include <QtPlugin>
#include <memory>

Q_IMPORT_PLUGIN(VelmoraStylePlugin)

namespace {

const int FrameRadius = 6;
const int ContentsMargin = 7;
const int HeaderWidth = 420;
const int FirstSectionWidth = 140;
const int SecondSectionWidth = 110;

bool sameColour(QRgb actual, const QColor &expected, int tolerance = 1)
{
    const QColor a = QColor::fromRgba(actual);
    return qAbs(a.red() - expected.red()) <= tolerance
        && qAbs(a.green() - expected.green()) <= tolerance
        && qAbs(a.blue() - expected.blue()) <= tolerance
        && qAbs(a.alpha() - expected.alpha()) <= tolerance;
}

QColor baseColour()
{
    return Karvo::PaletteHelper::instance()->applicationPalette().color(
        QPalette::Active, QPalette::Base);
}

// What the bottom line and the separators must show: the frame border laid over the window
// colour, worked out on a pixel of its own.
QColor lineColour()
{
    QImage pixel(1, 1, QImage::Format_ARGB32_Premultiplied);
    pixel.fill(Karvo::PaletteHelper::instance()->applicationPalette().color(
        QPalette::Active, QPalette::Window));
    QPainter painter(&pixel);
    painter.fillRect(
        pixel.rect(), Karvo::PaletteHelper::instance()->brush(Karvo::PaletteHelper::FrameBorder));
    painter.end();
    return pixel.pixelColor(0, 0);
}

// Renders only what the header paints itself, over a transparent image, so that whatever the
// header leaves unpainted stays transparent.
QImage render(GarrolanTableHeaderView *header)
{
    QImage image(header->size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    header->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

QRect boundsOf(const QImage &image, const QColor &colour, int *count)
{
    QRect bounds;
    *count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (sameColour(image.pixel(x, y), colour, 0)) {
                bounds |= QRect(x, y, 1, 1);
                ++*count;
            }
        }
    }
    return bounds;
}

int firstInkColumn(const QImage &image, int fromX, int toX)
{
    const QColor base = baseColour();
    for (int x = fromX; x <= toX; ++x) {
        // Below the rounded corners and above the bottom line only the title differs from the
        // panel.
        for (int y = FrameRadius; y < image.height() - 1; ++y) {
            if (!sameColour(image.pixel(x, y), base, 8))
                return x;
        }
    }
    return -1;
}

} // namespace

class tst_GarrolanTableHeaderView : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void geometry();
    void panelCorners_data();
    void panelCorners();
    void bottomLine();
    void separators_data();
    void separators();
    void sortArrow_data();
    void sortArrow();
    void titleIndent_data();
    void titleIndent();
    void focusFrame_data();
    void focusFrame();
    void toolkitStyle();

private:
    GarrolanTableHeaderView *makeHeader(QWidget *parent, int frameRadius = FrameRadius);

    std::unique_ptr<QWidget> m_window;
    QStandardItemModel m_model;
    std::unique_ptr<MarkingStyle> m_style;
};

void tst_GarrolanTableHeaderView::init()
{
    m_model.clear();
    m_model.setHorizontalHeaderLabels(
        { QStringLiteral("Detection Item"), QStringLiteral("Result"), QStringLiteral("Hint") });
}

void tst_GarrolanTableHeaderView::cleanup()
{
    m_window.reset();
    m_style.reset();
}

// The header goes into a window of its own with a line edit before and after it, so that focus
// can reach it by Tab, by Backtab and by mouse.
GarrolanTableHeaderView *tst_GarrolanTableHeaderView::makeHeader(QWidget *parent, int frameRadius)
{
    m_style = std::make_unique<MarkingStyle>(frameRadius, ContentsMargin);
    auto header = new GarrolanTableHeaderView(Qt::Horizontal, parent);
    header->setStyle(m_style.get());
    header->setModel(&m_model);
    header->setFixedWidth(HeaderWidth);
    header->resizeSection(0, FirstSectionWidth);
    header->resizeSection(1, SecondSectionWidth);
    return header;
}

void tst_GarrolanTableHeaderView::geometry()
{
    m_window = std::make_unique<QWidget>();
    GarrolanTableHeaderView *header = makeHeader(m_window.get());
    QCOMPARE(header->height(), 37);
    QCOMPARE(header->sizeHint(), QSize(HeaderWidth, 37));
    // The result page squeezes it to 36; the hint must not follow.
    header->setFixedHeight(36);
    QCOMPARE(header->sizeHint(), QSize(HeaderWidth, 37));
}

void tst_GarrolanTableHeaderView::panelCorners_data()
{
    QTest::addColumn<int>("radius");

    QTest::newRow("style radius 6") << 6;
    QTest::newRow("style radius 12") << 12;
    QTest::newRow("style radius 0") << 0;
}

void tst_GarrolanTableHeaderView::panelCorners()
{
    QFETCH(int, radius);

    m_window = std::make_unique<QWidget>();
    GarrolanTableHeaderView *header = makeHeader(m_window.get(), radius);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));

    const QImage image = render(header);
    const int w = image.width();
    const int h = image.height();
    const QColor base = baseColour();
    const QColor clear(0, 0, 0, 0);

    const QColor topCorner = radius > 0 ? clear : base;
    QVERIFY(sameColour(image.pixel(0, 0), topCorner));
    QVERIFY(sameColour(image.pixel(w - 1, 0), topCorner));
    // Past the rounding the top edge is filled.
    QVERIFY(sameColour(image.pixel(radius + 2, 0), base));
    QVERIFY(sameColour(image.pixel(w - radius - 3, 0), base));
    // The bottom corners stay square, right down to the bottom line.
    QVERIFY(sameColour(image.pixel(0, h - 2), base));
    QVERIFY(sameColour(image.pixel(w - 1, h - 2), base));
    QVERIFY(!sameColour(image.pixel(0, h - 1), clear));
    QVERIFY(!sameColour(image.pixel(w - 1, h - 1), clear));
}

void tst_GarrolanTableHeaderView::bottomLine()
{
    m_window = std::make_unique<QWidget>();
    GarrolanTableHeaderView *header = makeHeader(m_window.get());
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));

    const QColor line = lineColour();
    QVERIFY2(!sameColour(line.rgba(), baseColour()), "the palette leaves the line invisible");

    const QImage image = render(header);
    const int h = image.height();
    for (int x = 0; x < image.width(); ++x)
        QVERIFY2(sameColour(image.pixel(x, h - 1), line), qPrintable(QString::number(x)));
    // One pixel thick: the row above is panel wherever no separator or title is.
    for (int section = 0; section < 3; ++section) {
        const int x = header->sectionViewportPosition(section) + 2;
        QVERIFY2(
            sameColour(image.pixel(x, h - 2), baseColour()), qPrintable(QString::number(section)));
    }
}

void tst_GarrolanTableHeaderView::separators_data()
{
    QTest::addColumn<bool>("moveFirstToEnd");

    QTest::newRow("natural order") << false;
    QTest::newRow("first column moved to the end") << true;
}

void tst_GarrolanTableHeaderView::separators()
{
    QFETCH(bool, moveFirstToEnd);

    m_window = std::make_unique<QWidget>();
    GarrolanTableHeaderView *header = makeHeader(m_window.get());
    if (moveFirstToEnd)
        header->moveSection(0, 2);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));

    const QImage image = render(header);
    const int h = image.height();
    const QColor base = baseColour();
    const QColor line = lineColour();

    for (int visual = 0; visual < header->count(); ++visual) {
        const int x = header->sectionViewportPosition(header->logicalIndex(visual));
        const QByteArray where = "visual section " + QByteArray::number(visual);
        for (int y = 0; y < 4; ++y)
            QVERIFY2(!sameColour(image.pixel(x, y), line), where.constData());
        // At the left edge the rounded corner reaches below the inset.
        for (int y = visual > 0 ? 4 : FrameRadius; y <= h - 5; ++y) {
            const QColor expected = visual > 0 ? line : base;
            QVERIFY2(sameColour(image.pixel(x, y), expected), where.constData());
            QVERIFY2(sameColour(image.pixel(x + 1, y), base), where.constData());
        }
        for (int y = h - 4; y < h - 1; ++y)
            QVERIFY2(sameColour(image.pixel(x, y), base), where.constData());
    }
}

void tst_GarrolanTableHeaderView::sortArrow_data()
{
    QTest::addColumn<bool>("shown");
    QTest::addColumn<int>("section");
    QTest::addColumn<Qt::SortOrder>("order");
    QTest::addColumn<bool>("expectArrow");

    QTest::newRow("descending on the first section") << true << 0 << Qt::DescendingOrder << true;
    QTest::newRow("ascending on the middle section") << true << 1 << Qt::AscendingOrder << true;
    QTest::newRow("descending on the stretched last section")
        << true << 2 << Qt::DescendingOrder << true;
    QTest::newRow("indicator hidden") << false << 1 << Qt::AscendingOrder << false;
    QTest::newRow("no sort section") << true << -1 << Qt::AscendingOrder << false;
}

void tst_GarrolanTableHeaderView::sortArrow()
{
    QFETCH(bool, shown);
    QFETCH(int, section);
    QFETCH(Qt::SortOrder, order);
    QFETCH(bool, expectArrow);

    m_window = std::make_unique<QWidget>();
    GarrolanTableHeaderView *header = makeHeader(m_window.get());
    header->setSortIndicatorShown(shown);
    header->setSortIndicator(section, order);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));

    const QImage image = render(header);
    int upCount = 0;
    int downCount = 0;
    const QRect up = boundsOf(image, MarkingStyle::ArrowUpMark, &upCount);
    const QRect down = boundsOf(image, MarkingStyle::ArrowDownMark, &downCount);

    if (!expectArrow) {
        QCOMPARE(upCount, 0);
        QCOMPARE(downCount, 0);
        return;
    }

    const int m = ContentsMargin;
    const int sectionRight
        = header->sectionViewportPosition(section) + header->sectionSize(section) - 1;
    const int textRight = sectionRight - 2 * m - 8;
    const int textHeight = image.height() - 1;
    const QRect expected(textRight + m + 1, (textHeight - 5) / 2, 8, 5);

    const bool descending = order == Qt::DescendingOrder;
    QCOMPARE(descending ? down : up, expected);
    QCOMPARE(descending ? downCount : upCount, 8 * 5);
    QCOMPARE(descending ? upCount : downCount, 0);
}

void tst_GarrolanTableHeaderView::titleIndent_data()
{
    QTest::addColumn<bool>("moveFirstToEnd");
    QTest::addColumn<int>("logical");

    QTest::newRow("first column") << false << 0;
    QTest::newRow("second column") << false << 1;
    QTest::newRow("last column") << false << 2;
    QTest::newRow("first column moved to the end") << true << 0;
    QTest::newRow("second column moved to the front") << true << 1;
}

void tst_GarrolanTableHeaderView::titleIndent()
{
    QFETCH(bool, moveFirstToEnd);
    QFETCH(int, logical);

    m_window = std::make_unique<QWidget>();
    GarrolanTableHeaderView *header = makeHeader(m_window.get());
    header->setSortIndicatorShown(false);
    if (moveFirstToEnd)
        header->moveSection(0, 2);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));

    const QImage image = render(header);
    const int left = header->sectionViewportPosition(logical);
    const int m = ContentsMargin;
    const int expected = left + m + (logical == 0 ? m - 2 : 0);
    // Skip the separator column; glyphs carry a small side bearing of their own.
    const int ink = firstInkColumn(image, left + 1, left + header->sectionSize(logical) - 1);
    QVERIFY2(ink >= 0, "no title painted");
    QVERIFY2(ink >= expected && ink <= expected + 3,
        qPrintable(QStringLiteral("title starts at %1, expected %2").arg(ink).arg(expected)));
}

void tst_GarrolanTableHeaderView::focusFrame_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("expectFrame");

    QTest::newRow("tab") << QStringLiteral("tab") << true;
    QTest::newRow("backtab") << QStringLiteral("backtab") << true;
    QTest::newRow("mouse click") << QStringLiteral("click") << false;
    QTest::newRow("programmatic focus") << QStringLiteral("other") << false;
    QTest::newRow("tab, then the focus leaves") << QStringLiteral("tab-away") << false;
}

void tst_GarrolanTableHeaderView::focusFrame()
{
    QFETCH(QString, how);
    QFETCH(bool, expectFrame);

    m_window = std::make_unique<QWidget>();
    auto layout = new QVBoxLayout(m_window.get());
    auto before = new QLineEdit(m_window.get());
    GarrolanTableHeaderView *header = makeHeader(m_window.get());
    auto after = new QLineEdit(m_window.get());
    layout->addWidget(before);
    layout->addWidget(header);
    layout->addWidget(after);
    m_window->show();
    QApplication::setActiveWindow(m_window.get());
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));

    before->setFocus(Qt::OtherFocusReason);
    QTRY_VERIFY_WITH_TIMEOUT(before->hasFocus(), 5000);
    const QImage unfocused = render(header);

    if (how == QLatin1String("tab") || how == QLatin1String("tab-away")) {
        QTest::keyClick(before, Qt::Key_Tab);
    } else if (how == QLatin1String("backtab")) {
        after->setFocus(Qt::OtherFocusReason);
        QTRY_VERIFY_WITH_TIMEOUT(after->hasFocus(), 5000);
        QTest::keyClick(after, Qt::Key_Tab, Qt::ShiftModifier);
    } else if (how == QLatin1String("click")) {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
            QPoint(FirstSectionWidth / 2, header->height() / 2));
    } else {
        header->setFocus(Qt::OtherFocusReason);
    }
    QTRY_VERIFY_WITH_TIMEOUT(header->hasFocus(), 5000);
    if (how == QLatin1String("tab-away")) {
        after->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY_WITH_TIMEOUT(after->hasFocus(), 5000);
    }

    const QImage focused = render(header);
    if (!expectFrame) {
        QCOMPARE(focused, unfocused);
        return;
    }

    // The frame runs around all sections; inside it nothing changes.
    const int w = focused.width();
    const int h = focused.height();
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const bool border = x == 0 || y == 0 || x == w - 1 || y == h - 1;
            const QByteArray where = QByteArray::number(x) + "," + QByteArray::number(y);
            if (border)
                QVERIFY2(
                    sameColour(focused.pixel(x, y), MarkingStyle::FocusMark, 0), where.constData());
            else
                QVERIFY2(focused.pixel(x, y) == unfocused.pixel(x, y), where.constData());
        }
    }
}

// The marks above show where the header asks for things; this shows that the toolkit's own style
// answers under the ids the header asks with.
void tst_GarrolanTableHeaderView::toolkitStyle()
{
    const std::unique_ptr<QStyle> velmora(QStyleFactory::create(QStringLiteral("velmora")));
    QVERIFY(velmora);
    m_window = std::make_unique<QWidget>();
    auto header = new GarrolanTableHeaderView(Qt::Horizontal, m_window.get());
    header->setStyle(velmora.get());
    header->setModel(&m_model);
    header->setFixedWidth(HeaderWidth);
    header->resizeSection(0, FirstSectionWidth);
    header->resizeSection(1, SecondSectionWidth);
    header->setSortIndicator(1, Qt::DescendingOrder);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));

    const int radius
        = velmora->pixelMetric(static_cast<QStyle::PixelMetric>(Karvo::Style::PM_FrameRadius));
    const int m
        = velmora->pixelMetric(static_cast<QStyle::PixelMetric>(Karvo::Style::PM_ContentsMargins));
    QVERIFY(radius > 1);
    QVERIFY(m > 0);

    const QImage image = render(header);
    const QColor base = baseColour();
    QVERIFY(sameColour(image.pixel(0, 0), QColor(0, 0, 0, 0)));
    QVERIFY(sameColour(image.pixel(image.width() - 1, 0), QColor(0, 0, 0, 0)));
    QVERIFY(sameColour(image.pixel(0, image.height() - 2), base));

    // Between the end of the title area and the section's edge only the arrow may show.
    const int sectionRight = header->sectionViewportPosition(1) + header->sectionSize(1) - 1;
    const int textRight = sectionRight - 2 * m - 8;
    const QRect arrow(textRight + m + 1, (image.height() - 1 - 5) / 2, 8, 5);
    int inkInside = 0;
    for (int y = 0; y < image.height() - 1; ++y) {
        for (int x = textRight + 1; x < sectionRight; ++x) {
            if (sameColour(image.pixel(x, y), base, 8))
                continue;
            const QByteArray where = QByteArray::number(x) + "," + QByteArray::number(y);
            QVERIFY2(arrow.contains(x, y), where.constData());
            ++inkInside;
        }
    }
    QVERIFY(inkInside > 0);
}

QTEST_MAIN(tst_GarrolanTableHeaderView)

#include "tst_garrolantableheaderview.moc"
