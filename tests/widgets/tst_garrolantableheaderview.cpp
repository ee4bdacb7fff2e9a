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
    void cleanup();

    void panel_data();
    void panel();
    void sortArrow_data();
    void sortArrow();
    void titleIndent_data();
    void titleIndent();
    void focusFrame_data();
    void focusFrame();
    void toolkitStyle();

private:
    // Shows the header, with a line edit before and after it so that focus can reach it by Tab,
    // Backtab and mouse. Sections are of fixed widths; moving the first to the end checks that
    // painting follows visual, not logical, order.
    GarrolanTableHeaderView *showHeader(QStyle *style, bool moveFirstToEnd = false);

    std::unique_ptr<QWidget> m_window;
    std::unique_ptr<QStyle> m_style;
    QStandardItemModel m_model;
    QLineEdit *m_before = nullptr;
    QLineEdit *m_after = nullptr;
};

void tst_GarrolanTableHeaderView::cleanup()
{
    m_window.reset();
    m_style.reset();
}

GarrolanTableHeaderView *tst_GarrolanTableHeaderView::showHeader(QStyle *style, bool moveFirstToEnd)
{
    m_model.clear();
    m_model.setHorizontalHeaderLabels(
        { QStringLiteral("Detection Item"), QStringLiteral("Result"), QStringLiteral("Hint") });
    m_window = std::make_unique<QWidget>();
    auto layout = new QVBoxLayout(m_window.get());
    m_before = new QLineEdit(m_window.get());
    auto header = new GarrolanTableHeaderView(Qt::Horizontal, m_window.get());
    m_after = new QLineEdit(m_window.get());
    header->setStyle(style);
    header->setModel(&m_model);
    header->setFixedWidth(HeaderWidth);
    header->resizeSection(0, FirstSectionWidth);
    header->resizeSection(1, SecondSectionWidth);
    if (moveFirstToEnd)
        header->moveSection(0, 2);
    layout->addWidget(m_before);
    layout->addWidget(header);
    layout->addWidget(m_after);
    m_window->show();
    if (!QTest::qWaitForWindowExposed(m_window.get()))
        return nullptr;
    return header;
}

void tst_GarrolanTableHeaderView::panel_data()
{
    QTest::addColumn<int>("radius");
    QTest::addColumn<bool>("moveFirstToEnd");

    QTest::newRow("style radius 6") << 6 << false;
    QTest::newRow("style radius 12") << 12 << false;
    QTest::newRow("style radius 0") << 0 << false;
    QTest::newRow("first column moved to the end") << FrameRadius << true;
}

// Corners, bottom line and separators: everything the header paints around its titles.
void tst_GarrolanTableHeaderView::panel()
{
    QFETCH(int, radius);
    QFETCH(bool, moveFirstToEnd);

    m_style = std::make_unique<MarkingStyle>(radius, ContentsMargin);
    GarrolanTableHeaderView *header = showHeader(m_style.get(), moveFirstToEnd);
    QVERIFY(header);
    QCOMPARE(header->height(), 37);
    QCOMPARE(header->sizeHint(), QSize(HeaderWidth, 37));

    const QImage image = render(header);
    const int w = image.width();
    const int h = image.height();
    const QColor base = baseColour();
    const QColor line = lineColour();
    const QColor clear(0, 0, 0, 0);
    QVERIFY2(!sameColour(line.rgba(), base), "the palette leaves the line invisible");

    // Top corners rounded by the style's radius; bottom corners square down to the line.
    const QColor topCorner = radius > 0 ? clear : base;
    QVERIFY(sameColour(image.pixel(0, 0), topCorner));
    QVERIFY(sameColour(image.pixel(w - 1, 0), topCorner));
    QVERIFY(sameColour(image.pixel(radius + 2, 0), base));
    QVERIFY(sameColour(image.pixel(w - radius - 3, 0), base));
    QVERIFY(sameColour(image.pixel(0, h - 2), base));
    QVERIFY(sameColour(image.pixel(w - 1, h - 2), base));

    // The bottom line runs the full width, over the panel, one pixel thick.
    for (int x = 0; x < w; ++x)
        QVERIFY2(sameColour(image.pixel(x, h - 1), line), qPrintable(QString::number(x)));

    for (int visual = 0; visual < header->count(); ++visual) {
        const int x = header->sectionViewportPosition(header->logicalIndex(visual));
        const QByteArray where = "visual section " + QByteArray::number(visual);
        QVERIFY2(sameColour(image.pixel(x + 2, h - 2), base), where.constData());
        // A separator on all but the leftmost section, kept clear of a 4-pixel inset at the top
        // and bottom. At the left edge the rounded corner reaches below the inset.
        for (int y = 0; y < 4; ++y)
            QVERIFY2(!sameColour(image.pixel(x, y), line), where.constData());
        for (int y = visual > 0 ? 4 : radius; y <= h - 5; ++y) {
            QVERIFY2(sameColour(image.pixel(x, y), visual > 0 ? line : base), where.constData());
            QVERIFY2(sameColour(image.pixel(x + 1, y), base), where.constData());
        }
        for (int y = h - 4; y < h - 1; ++y)
            QVERIFY2(sameColour(image.pixel(x, y), base), where.constData());
    }

    // The result page squeezes it to 36; the hint must not follow.
    header->setFixedHeight(36);
    QCOMPARE(header->sizeHint(), QSize(HeaderWidth, 37));
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

    m_style = std::make_unique<MarkingStyle>(FrameRadius, ContentsMargin);
    GarrolanTableHeaderView *header = showHeader(m_style.get());
    QVERIFY(header);
    header->setSortIndicatorShown(shown);
    header->setSortIndicator(section, order);

    const QImage image = render(header);
    int upCount = 0;
    int downCount = 0;
    const QRect up = boundsOf(image, MarkingStyle::ArrowUpMark, &upCount);
    const QRect down = boundsOf(image, MarkingStyle::ArrowDownMark, &downCount);
    if (!expectArrow) {
        QCOMPARE(upCount + downCount, 0);
        return;
    }

    const int m = ContentsMargin;
    const int sectionRight
        = header->sectionViewportPosition(section) + header->sectionSize(section) - 1;
    const int textRight = sectionRight - 2 * m - 8;
    const QRect expected(textRight + m + 1, (image.height() - 1 - 5) / 2, 8, 5);
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
    QTest::newRow("last column") << false << 2;
    QTest::newRow("first column moved to the end") << true << 0;
    QTest::newRow("second column moved to the front") << true << 1;
}

void tst_GarrolanTableHeaderView::titleIndent()
{
    QFETCH(bool, moveFirstToEnd);
    QFETCH(int, logical);

    m_style = std::make_unique<MarkingStyle>(FrameRadius, ContentsMargin);
    GarrolanTableHeaderView *header = showHeader(m_style.get(), moveFirstToEnd);
    QVERIFY(header);
    header->setSortIndicatorShown(false);

    const QImage image = render(header);
    const int left = header->sectionViewportPosition(logical);
    const int m = ContentsMargin;
    const int expected = left + m + (logical == 0 ? m - 2 : 0);
    // Skip the separator column; glyphs carry a small side bearing of their own.
    const int ink = firstInkColumn(image, left + 1, left + header->sectionSize(logical) - 1);
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

    m_style = std::make_unique<MarkingStyle>(FrameRadius, ContentsMargin);
    GarrolanTableHeaderView *header = showHeader(m_style.get());
    QVERIFY(header);
    QApplication::setActiveWindow(m_window.get());
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    m_before->setFocus(Qt::OtherFocusReason);
    QTRY_VERIFY_WITH_TIMEOUT(m_before->hasFocus(), 5000);
    const QImage unfocused = render(header);

    if (how == QLatin1String("tab") || how == QLatin1String("tab-away")) {
        QTest::keyClick(m_before, Qt::Key_Tab);
    } else if (how == QLatin1String("backtab")) {
        m_after->setFocus(Qt::OtherFocusReason);
        QTRY_VERIFY_WITH_TIMEOUT(m_after->hasFocus(), 5000);
        QTest::keyClick(m_after, Qt::Key_Tab, Qt::ShiftModifier);
    } else if (how == QLatin1String("click")) {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
            QPoint(FirstSectionWidth / 2, header->height() / 2));
    } else {
        header->setFocus(Qt::OtherFocusReason);
    }
    QTRY_VERIFY_WITH_TIMEOUT(header->hasFocus(), 5000);
    if (how == QLatin1String("tab-away")) {
        m_after->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY_WITH_TIMEOUT(m_after->hasFocus(), 5000);
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
            const QByteArray where = QByteArray::number(x) + "," + QByteArray::number(y);
            if (x == 0 || y == 0 || x == w - 1 || y == h - 1)
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
    m_style.reset(QStyleFactory::create(QStringLiteral("velmora")));
    QVERIFY(m_style);
    GarrolanTableHeaderView *header = showHeader(m_style.get());
    QVERIFY(header);
    header->setSortIndicator(1, Qt::DescendingOrder);
    const int m
        = m_style->pixelMetric(static_cast<QStyle::PixelMetric>(Karvo::Style::PM_ContentsMargins));
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
            QVERIFY2(arrow.contains(x, y),
                qPrintable(QStringLiteral("ink at %1,%2 outside the arrow").arg(x).arg(y)));
            ++inkInside;
        }
    }
    QVERIFY(inkInside > 0);
}

QTEST_MAIN(tst_GarrolanTableHeaderView)

#include "tst_garrolantableheaderview.moc"
