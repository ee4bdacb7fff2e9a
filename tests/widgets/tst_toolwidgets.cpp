// The tool's own widgets, on the offscreen platform. Faults caught here:
// - the check table header's focus frame missing after Tab or Backtab, not around all sections,
//   shown after a click, or left behind once the focus has gone;
// - the module list's Up or Down landing on a hidden row, stopping at the first hidden row,
//   walking past the ends, pressing a row or moving when no visible row is found, moving the
//   starting point of the next key onto a hidden row; other keys pressing rows or leaving the
//   view in multi-selection mode.
#include "garrolantableheaderview.h"
#include "markingstyle.h"
#include "multiselectlistview.h"
#include "pixelprobe.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTest>
#include <QVBoxLayout>
#include <memory>

using RowList = QList<int>;

namespace {

// Only what the header paints itself, over a transparent image.
QImage render(GarrolanTableHeaderView *header)
{
    QImage image(header->size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    header->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

} // namespace

class tst_ToolWidgets : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        m_window.reset();
        m_model.clear();
    }

    void focusFrame_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("expectFrame");
        QTest::newRow("tab") << "tab" << true;
        QTest::newRow("backtab") << "backtab" << true;
        QTest::newRow("mouse click") << "click" << false;
        QTest::newRow("tab, then the focus leaves") << "tab-away" << false;
    }
    void focusFrame()
    {
        QFETCH(QString, how);
        QFETCH(bool, expectFrame);
        GarrolanTableHeaderView *header = showHeader();
        QVERIFY(header);
        QApplication::setActiveWindow(m_window.get());
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        QLineEdit *from = how == QLatin1String("backtab") ? m_after : m_before;
        from->setFocus(Qt::OtherFocusReason);
        QTRY_VERIFY(from->hasFocus());

        if (how == QLatin1String("click"))
            QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                QPoint(70, header->height() / 2));
        else
            QTest::keyClick(
                from, Qt::Key_Tab, from == m_after ? Qt::ShiftModifier : Qt::NoModifier);
        QTRY_VERIFY(header->hasFocus());
        if (how == QLatin1String("tab-away")) {
            m_after->setFocus(Qt::TabFocusReason);
            QTRY_VERIFY(m_after->hasFocus());
        }
        // The style fills the frame's rectangle, so a frame around all sections covers them all.
        QRect frame;
        const QImage image = render(header);
        const int marked = PixelProbe::count(
            image, image.rect(),
            [](const QColor &c) { return PixelProbe::near(c, MarkingStyle::FocusMark, 0); },
            &frame);
        QCOMPARE(marked > 0, expectFrame);
        QVERIFY(!expectFrame || frame == image.rect());
    }

    void arrowKeys_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<RowList>("hidden");
        QTest::addColumn<int>("start");
        QTest::addColumn<QString>("keys"); // u: Up, d: Down, e: End
        QTest::addColumn<RowList>("pressedRows");
        QTest::newRow("down twice") << 3 << RowList {} << 0 << "dd" << RowList { 1, 2 };
        QTest::newRow("down over a hidden row") << 3 << RowList { 1 } << 0 << "d" << RowList { 2 };
        QTest::newRow("up over two hidden rows")
            << 4 << RowList { 1, 2 } << 3 << "u" << RowList { 0 };
        QTest::newRow("up from the first row") << 3 << RowList {} << 0 << "u" << RowList {};
        QTest::newRow("down into hidden rows at the end")
            << 4 << RowList { 2, 3 } << 1 << "d" << RowList {};
        QTest::newRow("up into hidden rows at the start")
            << 4 << RowList { 0, 1, 2 } << 3 << "u" << RowList {};
        QTest::newRow("up still reaches the top after a failed down")
            << 4 << RowList { 2, 3 } << 1 << "du" << RowList { 0 };
        // Up starts from the row the owner last reset, not from where End left the cursor.
        QTest::newRow("other keys move without pressing")
            << 4 << RowList {} << 1 << "eu" << RowList { 0 };
    }
    void arrowKeys()
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
            QTest::keyClick(&view,
                key == 'u'       ? Qt::Key_Up
                    : key == 'd' ? Qt::Key_Down
                                 : Qt::Key_End);
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

private:
    // Three sections, between two line edits that focus can come from.
    GarrolanTableHeaderView *showHeader()
    {
        m_model.setHorizontalHeaderLabels(
            { QStringLiteral("Detection Item"), QStringLiteral("Result"), QStringLiteral("Hint") });
        m_window = std::make_unique<QWidget>();
        auto *layout = new QVBoxLayout(m_window.get());
        auto *header = new GarrolanTableHeaderView(Qt::Horizontal);
        m_before = new QLineEdit;
        m_after = new QLineEdit;
        layout->addWidget(m_before);
        layout->addWidget(header);
        layout->addWidget(m_after);
        header->setStyle(&m_style);
        header->setModel(&m_model);
        header->setFixedWidth(420);
        m_window->show();
        return QTest::qWaitForWindowExposed(m_window.get()) ? header : nullptr;
    }

    MarkingStyle m_style;
    std::unique_ptr<QWidget> m_window;
    QStandardItemModel m_model;
    QLineEdit *m_before = nullptr;
    QLineEdit *m_after = nullptr;
};

QTEST_MAIN(tst_ToolWidgets)
#include "tst_toolwidgets.moc"
