// The tool's module list, on the offscreen platform. Faults caught here:
// - the module list's Up or Down landing on a hidden row, stopping at the first hidden row,
//   walking past the ends, pressing a row or moving when no visible row is found, moving the
//   starting point of the next key onto a hidden row; other keys pressing rows or leaving the
//   view in multi-selection mode.
#include "multiselectlistview.h"

#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTest>

using RowList = QList<int>;

class tst_ToolWidgets : public QObject
{
    Q_OBJECT

private slots:
    void arrowKeys_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<RowList>("hidden");
        QTest::addColumn<int>("start");
        QTest::addColumn<QString>("keys"); // u: Up, d: Down, e: End
        QTest::addColumn<RowList>("pressedRows");
        QTest::newRow("up over two hidden rows")
            << 4 << RowList { 1, 2 } << 3 << "u" << RowList { 0 };
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
};

QTEST_MAIN(tst_ToolWidgets)
#include "tst_toolwidgets.moc"
