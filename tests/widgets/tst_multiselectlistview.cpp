// Faults this test is there to catch:
// - Up or Down landing on a hidden row, stopping at the first hidden row instead of walking over
//   it, or walking past the ends of the list;
// - a key move that finds no visible row still pressing a row or moving the current index;
// - a failed walk over hidden rows moving the starting point of the next key move onto a hidden
//   row, so that the rows beyond can no longer be reached;
// - an arrow key move that does not emit pressed for the new row, emits it more than once, or
//   does not make it the current index;
// - other keys pressing rows, or leaving the view in multi-selection mode after they moved the
//   current index.

#include "multiselectlistview.h"

#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTest>
#include <memory>

using KeyList = QList<int>;
using RowList = QList<int>;

class tst_MultiSelectListView : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void arrowKeys_data();
    void arrowKeys();
    void otherKeysMoveWithoutPressing();

private:
    void fill(int rows, const RowList &hidden);

    std::unique_ptr<MultiSelectListView> m_view;
    QStandardItemModel *m_model = nullptr;
};

void tst_MultiSelectListView::init()
{
    m_view = std::make_unique<MultiSelectListView>();
    m_model = new QStandardItemModel(m_view.get());
    m_view->setModel(m_model);
    // The main window answers every press by activating the module and resetting the list.
    connect(
        m_view.get(), &QAbstractItemView::pressed, m_view.get(), &MultiSelectListView::resetStatus);
}

void tst_MultiSelectListView::cleanup()
{
    m_view.reset();
}

void tst_MultiSelectListView::fill(int rows, const RowList &hidden)
{
    for (int row = 0; row < rows; ++row)
        m_model->appendRow(new QStandardItem(QStringLiteral("module %1").arg(row)));
    for (int row : hidden)
        m_view->setRowHidden(row, true);
}

void tst_MultiSelectListView::arrowKeys_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<RowList>("hidden");
    QTest::addColumn<int>("start");
    QTest::addColumn<KeyList>("keys");
    QTest::addColumn<RowList>("pressedRows");

    const int up = Qt::Key_Up;
    const int down = Qt::Key_Down;

    QTest::newRow("down to the next row")
        << 3 << RowList {} << 0 << KeyList { down } << RowList { 1 };
    QTest::newRow("up to the previous row")
        << 3 << RowList {} << 2 << KeyList { up } << RowList { 1 };
    QTest::newRow("down twice") << 3 << RowList {} << 0 << KeyList { down, down }
                                << RowList { 1, 2 };
    QTest::newRow("up over a hidden row")
        << 3 << RowList { 1 } << 2 << KeyList { up } << RowList { 0 };
    QTest::newRow("down over a hidden row")
        << 3 << RowList { 1 } << 0 << KeyList { down } << RowList { 2 };
    QTest::newRow("up over two hidden rows")
        << 4 << RowList { 1, 2 } << 3 << KeyList { up } << RowList { 0 };
    QTest::newRow("up from the first row") << 3 << RowList {} << 0 << KeyList { up } << RowList {};
    QTest::newRow("down from the last row")
        << 3 << RowList {} << 2 << KeyList { down } << RowList {};
    QTest::newRow("down into hidden rows at the end")
        << 4 << RowList { 2, 3 } << 1 << KeyList { down } << RowList {};
    QTest::newRow("up into a hidden first row")
        << 3 << RowList { 0 } << 1 << KeyList { up } << RowList {};
    QTest::newRow("up into hidden rows at the start")
        << 4 << RowList { 0, 1, 2 } << 3 << KeyList { up } << RowList {};
    QTest::newRow("up still reaches the top after a failed down")
        << 4 << RowList { 2, 3 } << 1 << KeyList { down, up } << RowList { 0 };
    QTest::newRow("down still reaches the end after a failed up")
        << 3 << RowList { 0 } << 1 << KeyList { up, down } << RowList { 2 };
}

void tst_MultiSelectListView::arrowKeys()
{
    QFETCH(int, rows);
    QFETCH(RowList, hidden);
    QFETCH(int, start);
    QFETCH(KeyList, keys);
    QFETCH(RowList, pressedRows);

    fill(rows, hidden);
    m_view->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    m_view->resetStatus(m_model->index(start, 0));

    QSignalSpy pressed(m_view.get(), &QAbstractItemView::pressed);
    for (int key : keys)
        QTest::keyClick(m_view.get(), static_cast<Qt::Key>(key));

    RowList actual;
    for (const QList<QVariant> &arguments : qAsConst(pressed))
        actual << arguments.at(0).toModelIndex().row();
    QCOMPARE(actual, pressedRows);

    const int expectedRow = pressedRows.isEmpty() ? start : pressedRows.last();
    QCOMPARE(m_view->currentIndex().row(), expectedRow);
    const QModelIndexList selected = m_view->selectionModel()->selectedIndexes();
    QCOMPARE(selected.size(), 1);
    QCOMPARE(selected.first().row(), expectedRow);
}

void tst_MultiSelectListView::otherKeysMoveWithoutPressing()
{
    fill(4, {});
    m_view->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    m_view->resetStatus(m_model->index(1, 0));

    QSignalSpy pressed(m_view.get(), &QAbstractItemView::pressed);
    QTest::keyClick(m_view.get(), Qt::Key_End);

    QCOMPARE(pressed.count(), 0);
    QCOMPARE(m_view->currentIndex().row(), 3);
    QCOMPARE(m_view->selectionMode(), QAbstractItemView::SingleSelection);

    // Up starts from the row the owner last reset, not from where End left the cursor.
    QTest::keyClick(m_view.get(), Qt::Key_Up);
    QCOMPARE(pressed.count(), 1);
    QCOMPARE(pressed.first().at(0).toModelIndex().row(), 0);
}

QTEST_MAIN(tst_MultiSelectListView)

#include "tst_multiselectlistview.moc"
