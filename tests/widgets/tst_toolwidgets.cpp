// The tool's own widgets, rendered on the offscreen platform. Faults caught here:
// - the check table's header painted with square top corners, rounded bottom corners, or a
//   radius that does not come from the style's frame-radius metric; its bottom line missing
//   under some section, thicker than one pixel, under the panel instead of over it, or not the
//   frame border laid over the window colour; a separator left of the leftmost section (also
//   after sections were moved), none on the others, or one running into the 4-pixel insets;
// - the sort arrow on the wrong section, in the wrong direction, of the wrong size, away from
//   m + 1 pixels right of the text area, or drawn while hidden or unset; titles not indented
//   by the contents margin m, the first column's not indented further;
// - a header size hint other than 37, or following a squeezed height;
// - a header focus frame after a click or a programmatic focus, none after Tab or Backtab, one
//   not around all sections, or one that stays after the focus has left;
// - the module list's Up or Down landing on a hidden row, stopping at the first hidden row,
//   walking past the ends, pressing a row or moving when no visible row is found, moving the
//   starting point of the next key onto a hidden row, pressing more than once; other keys
//   pressing rows or leaving the view in multi-selection mode;
// - the upgrade layer painting its colour opaque, replacing what lies below instead of tinting
//   it, not reaching its edges or spilling past them, or losing its alpha as a window.
#include "garrolantableheaderview.h"
#include "markingstyle.h"
#include "multiselectlistview.h"
#include "palettehelper.h"
#include "pixelprobe.h"
#include "style.h"
#include "upgradewidget.h"

#include <QLineEdit>
#include <QPainter>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTest>
#include <QVBoxLayout>
#include <QtPlugin>
#include <memory>

Q_IMPORT_PLUGIN(VelmoraStylePlugin)

using PixelProbe::near;
using RowList = QList<int>;

namespace {

const int Margin = 7;
const int HeaderWidth = 420;

QColor paletteColour(QPalette::ColorRole role)
{
    return Karvo::PaletteHelper::instance()->applicationPalette().color(QPalette::Active, role);
}

// Only what the header paints itself, over a transparent image.
QImage render(GarrolanTableHeaderView *header)
{
    QImage image(header->size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    header->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

// The arrow's place when the header has contents margin |m|: right of the text area.
QRect arrowRect(GarrolanTableHeaderView *header, int section, int m)
{
    const int textRight
        = header->sectionViewportPosition(section) + header->sectionSize(section) - 1 - 2 * m - 8;
    return QRect(textRight + m + 1, (header->height() - 1 - 5) / 2, 8, 5);
}

// Anything but the panel: a title, an arrow.
bool isInk(const QColor &colour)
{
    return !near(colour, paletteColour(QPalette::Base), 8);
}

} // namespace

class tst_ToolWidgets : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void headerPanel_data();
    void headerPanel();
    void sectionContents_data();
    void sectionContents();
    void focusFrame_data();
    void focusFrame();
    void arrowKeys_data();
    void arrowKeys();
    void upgradeLayerTints_data();
    void upgradeLayerTints();

private:
    // Sections of 140, 110 and the rest, between two line edits that focus can come from.
    GarrolanTableHeaderView *showHeader(QStyle *style, bool moveFirstToEnd = false);

    std::unique_ptr<QStyle> m_style;
    std::unique_ptr<QWidget> m_window;
    QStandardItemModel m_model;
    QLineEdit *m_before = nullptr;
    QLineEdit *m_after = nullptr;
};

void tst_ToolWidgets::cleanup()
{
    m_window.reset();
    m_style.reset();
    m_model.clear();
}

GarrolanTableHeaderView *tst_ToolWidgets::showHeader(QStyle *style, bool moveFirstToEnd)
{
    m_model.setHorizontalHeaderLabels(
        { QStringLiteral("Detection Item"), QStringLiteral("Result"), QStringLiteral("Hint") });
    m_window = std::make_unique<QWidget>();
    auto layout = new QVBoxLayout(m_window.get());
    m_before = new QLineEdit;
    auto header = new GarrolanTableHeaderView(Qt::Horizontal);
    m_after = new QLineEdit;
    for (QWidget *widget : { static_cast<QWidget *>(m_before), static_cast<QWidget *>(header),
             static_cast<QWidget *>(m_after) })
        layout->addWidget(widget);
    header->setStyle(style);
    header->setModel(&m_model);
    header->setFixedWidth(HeaderWidth);
    header->resizeSection(0, 140);
    header->resizeSection(1, 110);
    if (moveFirstToEnd)
        header->moveSection(0, 2);
    m_window->show();
    return QTest::qWaitForWindowExposed(m_window.get()) ? header : nullptr;
}

void tst_ToolWidgets::headerPanel_data()
{
    QTest::addColumn<int>("radius");
    QTest::addColumn<bool>("moveFirstToEnd");

    QTest::newRow("style radius 6") << 6 << false;
    QTest::newRow("style radius 12") << 12 << false;
    QTest::newRow("style radius 0") << 0 << false;
    QTest::newRow("first column moved to the end") << 6 << true;
}

void tst_ToolWidgets::headerPanel()
{
    QFETCH(int, radius);
    QFETCH(bool, moveFirstToEnd);
    m_style = std::make_unique<MarkingStyle>(radius, Margin);
    GarrolanTableHeaderView *header = showHeader(m_style.get(), moveFirstToEnd);
    QVERIFY(header);
    QCOMPARE(header->sizeHint(), QSize(HeaderWidth, 37));

    const QImage image = render(header);
    const int w = image.width();
    const int h = image.height();
    const QColor base = paletteColour(QPalette::Base);
    // The frame border over the window colour, worked out on a pixel of its own.
    QImage pixel(1, 1, QImage::Format_ARGB32_Premultiplied);
    pixel.fill(paletteColour(QPalette::Window));
    QPainter(&pixel).fillRect(
        pixel.rect(), Karvo::PaletteHelper::instance()->brush(Karvo::PaletteHelper::FrameBorder));
    const QColor line = pixel.pixelColor(0, 0);
    QVERIFY2(!near(line, base), "the palette leaves the line invisible");
    const auto at = [&image](int x, int y) { return image.pixelColor(x, y); };

    // Top corners rounded by the style's radius; bottom corners square down to the line.
    const QColor topCorner = radius > 0 ? QColor(Qt::transparent) : base;
    QVERIFY(near(at(0, 0), topCorner) && near(at(w - 1, 0), topCorner));
    QVERIFY(near(at(radius + 2, 0), base) && near(at(w - radius - 3, 0), base));
    QVERIFY(near(at(0, h - 2), base) && near(at(w - 1, h - 2), base));
    // The bottom line runs the full width, over the panel, one pixel thick.
    for (int x = 0; x < w; ++x)
        QVERIFY2(near(at(x, h - 1), line), qPrintable(QString::number(x)));
    for (int visual = 0; visual < header->count(); ++visual) {
        const int x = header->sectionViewportPosition(header->logicalIndex(visual));
        const QByteArray where = "visual section " + QByteArray::number(visual);
        // A separator on all but the leftmost section, clear of a 4-pixel inset at the top and
        // bottom. At the left edge the rounded corner reaches below the inset.
        for (int y = 0; y < h - 1; ++y) {
            const bool separator = visual > 0 && y >= 4 && y <= h - 5;
            QVERIFY2(separator ? near(at(x, y), line) : !near(at(x, y), line), where.constData());
            if (y >= qMax(radius, 4) && y <= h - 5)
                QVERIFY2(near(at(x + 1, y), base) && (separator || near(at(x, y), base)),
                    where.constData());
        }
    }
    // The result page squeezes it to 36; the hint must not follow.
    header->setFixedHeight(36);
    QCOMPARE(header->sizeHint(), QSize(HeaderWidth, 37));
}

void tst_ToolWidgets::sectionContents_data()
{
    QTest::addColumn<bool>("moveFirstToEnd");
    QTest::addColumn<int>("section"); // the sorted one, -1 for none; its title is measured
    QTest::addColumn<Qt::SortOrder>("order");
    QTest::addColumn<bool>("shown");

    QTest::newRow("first column, descending") << false << 0 << Qt::DescendingOrder << true;
    QTest::newRow("middle column, ascending") << false << 1 << Qt::AscendingOrder << true;
    QTest::newRow("stretched last column, descending") << false << 2 << Qt::DescendingOrder << true;
    QTest::newRow("first column moved to the end, indicator hidden")
        << true << 0 << Qt::AscendingOrder << false;
    QTest::newRow("second column moved to the front, no sort section")
        << true << -1 << Qt::AscendingOrder << true;
}

void tst_ToolWidgets::sectionContents()
{
    QFETCH(bool, moveFirstToEnd);
    QFETCH(int, section);
    QFETCH(Qt::SortOrder, order);
    QFETCH(bool, shown);
    m_style = std::make_unique<MarkingStyle>(6, Margin);
    GarrolanTableHeaderView *header = showHeader(m_style.get(), moveFirstToEnd);
    QVERIFY(header);
    header->setSortIndicatorShown(shown);
    header->setSortIndicator(section, order);
    const QImage image = render(header);

    QRect up, down;
    const int ups = PixelProbe::count(
        image, image.rect(), [](const QColor &c) { return near(c, MarkingStyle::ArrowUpMark, 0); },
        &up);
    const int downs = PixelProbe::count(
        image, image.rect(),
        [](const QColor &c) { return near(c, MarkingStyle::ArrowDownMark, 0); }, &down);
    if (shown && section >= 0) {
        const bool descending = order == Qt::DescendingOrder;
        QCOMPARE(descending ? down : up, arrowRect(header, section, Margin));
        QCOMPARE(descending ? downs : ups, 8 * 5);
        QCOMPARE(descending ? ups : downs, 0);
    } else {
        QCOMPARE(ups + downs, 0);
    }

    // Titles are indented by the margin, the first column's further. Below the corners, above
    // the bottom line and right of the separator only the title differs from the panel; glyphs
    // carry a small side bearing of their own.
    const int logical = section >= 0 ? section : 1;
    const int left = header->sectionViewportPosition(logical);
    const int expected = left + Margin + (logical == 0 ? Margin - 2 : 0);
    QRect ink;
    PixelProbe::count(image,
        QRect(left + 1, 6, header->sectionSize(logical) - 2, image.height() - 7), isInk, &ink);
    QVERIFY2(ink.left() >= expected && ink.left() <= expected + 3,
        qPrintable(
            QStringLiteral("title starts at %1, expected %2").arg(ink.left()).arg(expected)));
}

void tst_ToolWidgets::focusFrame_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("expectFrame");

    QTest::newRow("tab") << "tab" << true;
    QTest::newRow("backtab") << "backtab" << true;
    QTest::newRow("mouse click") << "click" << false;
    QTest::newRow("programmatic focus") << "other" << false;
    QTest::newRow("tab, then the focus leaves") << "tab-away" << false;
}

void tst_ToolWidgets::focusFrame()
{
    QFETCH(QString, how);
    QFETCH(bool, expectFrame);
    m_style = std::make_unique<MarkingStyle>(6, Margin);
    GarrolanTableHeaderView *header = showHeader(m_style.get());
    QVERIFY(header);
    QApplication::setActiveWindow(m_window.get());
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QLineEdit *from = how == QLatin1String("backtab") ? m_after : m_before;
    from->setFocus(Qt::OtherFocusReason);
    QTRY_VERIFY(from->hasFocus());
    const QImage unfocused = render(header);

    if (how.startsWith(QLatin1String("tab")) || how == QLatin1String("backtab"))
        QTest::keyClick(from, Qt::Key_Tab, from == m_after ? Qt::ShiftModifier : Qt::NoModifier);
    else if (how == QLatin1String("click"))
        QTest::mouseClick(
            header->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(70, header->height() / 2));
    else
        header->setFocus(Qt::OtherFocusReason);
    QTRY_VERIFY(header->hasFocus());
    if (how == QLatin1String("tab-away")) {
        m_after->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(m_after->hasFocus());
    }

    const QImage focused = render(header);
    if (!expectFrame) {
        QCOMPARE(focused, unfocused);
        return;
    }
    // The frame runs around all sections; inside it nothing changes.
    const QRect inside = focused.rect().adjusted(1, 1, -1, -1);
    QCOMPARE(PixelProbe::count(focused, focused.rect(),
                 [](const QColor &c) { return near(c, MarkingStyle::FocusMark, 0); }),
        focused.width() * focused.height() - inside.width() * inside.height());
    QCOMPARE(focused.copy(inside), unfocused.copy(inside));
}

void tst_ToolWidgets::arrowKeys_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<RowList>("hidden");
    QTest::addColumn<int>("start");
    QTest::addColumn<QString>("keys"); // u: Up, d: Down
    QTest::addColumn<RowList>("pressedRows");

    QTest::newRow("down twice") << 3 << RowList {} << 0 << "dd" << RowList { 1, 2 };
    QTest::newRow("up to the previous row") << 3 << RowList {} << 2 << "u" << RowList { 1 };
    QTest::newRow("down over a hidden row") << 3 << RowList { 1 } << 0 << "d" << RowList { 2 };
    QTest::newRow("up over two hidden rows") << 4 << RowList { 1, 2 } << 3 << "u" << RowList { 0 };
    QTest::newRow("up from the first row") << 3 << RowList {} << 0 << "u" << RowList {};
    QTest::newRow("down from the last row") << 3 << RowList {} << 2 << "d" << RowList {};
    QTest::newRow("down into hidden rows at the end")
        << 4 << RowList { 2, 3 } << 1 << "d" << RowList {};
    QTest::newRow("up into a hidden first row") << 3 << RowList { 0 } << 1 << "u" << RowList {};
    QTest::newRow("up into hidden rows at the start")
        << 4 << RowList { 0, 1, 2 } << 3 << "u" << RowList {};
    QTest::newRow("up still reaches the top after a failed down")
        << 4 << RowList { 2, 3 } << 1 << "du" << RowList { 0 };
    QTest::newRow("down still reaches the end after a failed up")
        << 3 << RowList { 0 } << 1 << "ud" << RowList { 2 };
    // Up starts from the row the owner last reset, not from where End left the cursor.
    QTest::newRow("other keys move without pressing")
        << 4 << RowList {} << 1 << "eu" << RowList { 0 };
}

void tst_ToolWidgets::arrowKeys()
{
    QFETCH(int, rows);
    QFETCH(RowList, hidden);
    QFETCH(int, start);
    QFETCH(QString, keys);
    QFETCH(RowList, pressedRows);

    MultiSelectListView view;
    QStandardItemModel model;
    for (int row = 0; row < rows; ++row)
        model.appendRow(new QStandardItem(QString::number(row)));
    view.setModel(&model);
    for (int row : hidden)
        view.setRowHidden(row, true);
    // The main window answers every press by activating the module and resetting the list.
    connect(&view, &QAbstractItemView::pressed, &view, &MultiSelectListView::resetStatus);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.resetStatus(model.index(start, 0));

    QSignalSpy pressed(&view, &QAbstractItemView::pressed);
    for (const QChar key : keys) {
        QTest::keyClick(&view, key == 'u' ? Qt::Key_Up : key == 'd' ? Qt::Key_Down : Qt::Key_End);
        if (key == 'e') {
            QCOMPARE(pressed.count(), 0);
            QCOMPARE(view.currentIndex().row(), rows - 1);
            QCOMPARE(view.selectionMode(), QAbstractItemView::SingleSelection);
        }
    }
    RowList actual;
    for (const QList<QVariant> &arguments : qAsConst(pressed))
        actual << arguments.at(0).toModelIndex().row();
    QCOMPARE(actual, pressedRows);
    const int expectedRow = pressedRows.isEmpty() ? start : pressedRows.last();
    QCOMPARE(view.currentIndex().row(), expectedRow);
    QCOMPARE(
        view.selectionModel()->selectedRows(), QModelIndexList { model.index(expectedRow, 0) });
}

void tst_ToolWidgets::upgradeLayerTints_data()
{
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<QColor>("background"); // invalid: the layer is a window of its own
    QTest::addColumn<QColor>("expected");

    // Worked out by hand: colour * a + background * (1 - a), a = 178 / 255.
    const QColor blue(0, 15, 39, 178);
    QTest::newRow("dark blue over white") << blue << QColor(Qt::white) << QColor(77, 87, 104);
    QTest::newRow("dark blue over grey") << blue << QColor(120, 160, 200) << QColor(36, 59, 88);
    QTest::newRow("opaque colour") << QColor(10, 20, 30) << QColor(Qt::white) << QColor(10, 20, 30);
    QTest::newRow("fully transparent colour")
        << QColor(255, 0, 0, 0) << QColor(40, 80, 120) << QColor(40, 80, 120);
    QTest::newRow("dark blue window keeps its alpha") << blue << QColor() << blue;
    QTest::newRow("faint white window keeps its alpha")
        << QColor(255, 255, 255, 40) << QColor() << QColor(255, 255, 255, 40);
}

void tst_ToolWidgets::upgradeLayerTints()
{
    QFETCH(QColor, colour);
    QFETCH(QColor, background);
    QFETCH(QColor, expected);

    QWidget below;
    below.resize(100, 80);
    QPalette palette = below.palette();
    palette.setColor(QPalette::Window, background);
    below.setPalette(palette);
    below.setAutoFillBackground(true);
    UpgradeWidget layer(colour, background.isValid() ? &below : nullptr);
    layer.setGeometry(20, 10, 50, 40);
    QWidget *shown = background.isValid() ? &below : &layer;
    shown->show();
    QVERIFY(QTest::qWaitForWindowExposed(shown));

    const QImage image = PixelProbe::grab(shown);
    const QRect inside = layer.rect().translated(layer.mapTo(shown, QPoint()));
    // Stored premultiplied, a window's channels may come back a little off.
    for (const QPoint &point : { inside.topLeft(), inside.bottomRight(), inside.center() })
        QVERIFY2(near(image.pixelColor(point), expected, background.isValid() ? 1 : 3),
            PixelProbe::describe(image.pixelColor(point)).constData());
    if (!background.isValid())
        return;
    for (const QPoint &point : { inside.topLeft() - QPoint(1, 0), inside.topLeft() - QPoint(0, 1),
             inside.bottomRight() + QPoint(1, 0), inside.bottomRight() + QPoint(0, 1) })
        QVERIFY2(near(image.pixelColor(point), background, 0),
            PixelProbe::describe(image.pixelColor(point)).constData());
}

QTEST_MAIN(tst_ToolWidgets)
#include "tst_toolwidgets.moc"
