#include "checktableview.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QHash>
#include <QHeaderView>
#include <QPainter>
#include <QStyleOptionFocusRect>

namespace {

// One cell, or with |row| -1 a column's header. Child number of the table:
// (row + 1) * columns + column, the numbering QTableView uses in its focus events when only
// the horizontal header is shown.
class AccessibleCell : public QAccessibleInterface, public QAccessibleTableCellInterface
{
public:
    AccessibleCell(QTableView *view, int row, int column)
        : m_view(view)
        , m_row(row)
        , m_column(column)
    { }

    bool isValid() const override
    {
        return m_view && m_view->model() && m_row < m_view->model()->rowCount()
            && m_column < m_view->model()->columnCount();
    }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override { return m_view->window()->windowHandle(); }
    QAccessibleInterface *parent() const override
    {
        return QAccessible::queryAccessibleInterface(m_view);
    }
    QAccessibleInterface *child(int) const override { return nullptr; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QString text(QAccessible::Text t) const override
    {
        if (t != QAccessible::Name || !isValid())
            return QString();
        if (m_row < 0)
            return m_view->model()->headerData(m_column, Qt::Horizontal).toString();
        return m_view->model()->index(m_row, m_column).data().toString();
    }
    void setText(QAccessible::Text, const QString &) override { }
    QRect rect() const override
    {
        if (!isValid())
            return QRect();
        if (m_row < 0) {
            const QHeaderView *header = m_view->horizontalHeader();
            const QRect section(header->sectionViewportPosition(m_column), 0,
                header->sectionSize(m_column), header->height());
            return QRect(header->viewport()->mapToGlobal(section.topLeft()), section.size());
        }
        const QRect cell = m_view->visualRect(m_view->model()->index(m_row, m_column));
        return QRect(m_view->viewport()->mapToGlobal(cell.topLeft()), cell.size());
    }
    QAccessible::Role role() const override
    {
        return m_row < 0 ? QAccessible::ColumnHeader : QAccessible::Cell;
    }
    QAccessible::State state() const override
    {
        QAccessible::State state;
        state.readOnly = true;
        if (m_row < 0 || !isValid())
            return state;
        state.focusable = true;
        const QModelIndex current = m_view->currentIndex();
        state.focused = m_view->hasFocus() && current.row() == m_row
            && current.column() == m_column;
        return state;
    }
    void *interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::TableCellInterface
            ? static_cast<QAccessibleTableCellInterface *>(this)
            : nullptr;
    }

    bool isSelected() const override { return false; }
    QList<QAccessibleInterface *> columnHeaderCells() const override;
    QList<QAccessibleInterface *> rowHeaderCells() const override { return {}; }
    int columnIndex() const override { return m_column; }
    int rowIndex() const override { return m_row; }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface *table() const override { return parent(); }

private:
    QTableView *m_view;
    int m_row;
    int m_column;
};

class AccessibleCheckTable : public QAccessibleWidget, public QAccessibleTableInterface
{
public:
    explicit AccessibleCheckTable(QTableView *view)
        : QAccessibleWidget(view, QAccessible::Table)
    { }
    ~AccessibleCheckTable() override { forgetCells(); }

    QTableView *view() const { return static_cast<QTableView *>(widget()); }
    int columns() const { return view()->model() ? view()->model()->columnCount() : 0; }
    int rows() const { return view()->model() ? view()->model()->rowCount() : 0; }

    // |row| -1 is the header row.
    QAccessibleInterface *cell(int row, int column) const
    {
        if (column < 0 || column >= columns() || row < -1 || row >= rows())
            return nullptr;
        const int index = (row + 1) * columns() + column;
        auto it = m_cells.constFind(index);
        if (it != m_cells.constEnd())
            return QAccessible::accessibleInterface(*it);
        auto *made = new AccessibleCell(view(), row, column);
        m_cells.insert(index, QAccessible::registerAccessibleInterface(made));
        return made;
    }

    void forgetCells()
    {
        for (const QAccessible::Id id : qAsConst(m_cells))
            QAccessible::deleteAccessibleInterface(id);
        m_cells.clear();
    }

    int childCount() const override { return (rows() + 1) * columns(); }
    QAccessibleInterface *child(int index) const override
    {
        const int width = columns();
        return width > 0 ? cell(index / width - 1, index % width) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        for (auto it = m_cells.constBegin(); it != m_cells.constEnd(); ++it)
            if (QAccessible::accessibleInterface(it.value()) == child)
                return it.key();
        return -1;
    }
    QAccessibleInterface *focusChild() const override
    {
        const QModelIndex current = view()->currentIndex();
        return view()->hasFocus() && current.isValid() ? cell(current.row(), current.column())
                                                       : nullptr;
    }
    QAccessibleInterface *childAt(int x, int y) const override
    {
        const QModelIndex index = view()->indexAt(view()->viewport()->mapFromGlobal(QPoint(x, y)));
        return index.isValid() ? cell(index.row(), index.column()) : nullptr;
    }
    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TableInterface)
            return static_cast<QAccessibleTableInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    // No action: the rows can be read, not chosen.
    QStringList actionNames() const override { return {}; }

    QAccessibleInterface *caption() const override { return nullptr; }
    QAccessibleInterface *summary() const override { return nullptr; }
    QAccessibleInterface *cellAt(int row, int column) const override { return cell(row, column); }
    int columnCount() const override { return columns(); }
    int rowCount() const override { return rows(); }
    QString columnDescription(int column) const override
    {
        return view()->model()->headerData(column, Qt::Horizontal).toString();
    }
    QString rowDescription(int) const override { return QString(); }
    int selectedCellCount() const override { return 0; }
    int selectedColumnCount() const override { return 0; }
    int selectedRowCount() const override { return 0; }
    QList<QAccessibleInterface *> selectedCells() const override { return {}; }
    QList<int> selectedColumns() const override { return {}; }
    QList<int> selectedRows() const override { return {}; }
    bool isColumnSelected(int) const override { return false; }
    bool isRowSelected(int) const override { return false; }
    bool selectRow(int) override { return false; }
    bool selectColumn(int) override { return false; }
    bool unselectRow(int) override { return false; }
    bool unselectColumn(int) override { return false; }
    void modelChange(QAccessibleTableModelChangeEvent *) override { forgetCells(); }

private:
    mutable QHash<int, QAccessible::Id> m_cells;
};

QList<QAccessibleInterface *> AccessibleCell::columnHeaderCells() const
{
    auto *table = static_cast<AccessibleCheckTable *>(
        QAccessible::queryAccessibleInterface(m_view)->tableInterface());
    if (m_row < 0 || !table)
        return {};
    return { table->cell(-1, m_column) };
}

QAccessibleInterface *accessibleCheckTable(const QString &className, QObject *object)
{
    if (className == QLatin1String("CheckTableView") && object && object->isWidgetType())
        return new AccessibleCheckTable(static_cast<QTableView *>(object));
    return nullptr;
}

} // namespace

CheckTableView::CheckTableView(QWidget *parent)
    : QTableView(parent)
{
    static const bool accessible = (QAccessible::installFactory(accessibleCheckTable), true);
    Q_UNUSED(accessible)
    // Tab leaves the table: walking its cells is what the arrow keys are for.
    setTabKeyNavigation(false);
    setFocusPolicy(Qt::StrongFocus);
}

void CheckTableView::paintEvent(QPaintEvent *event)
{
    QTableView::paintEvent(event);
    const QModelIndex current = currentIndex();
    if (!hasFocus() || !current.isValid())
        return;
    QRect row;
    for (int column = 0; column < model()->columnCount(); ++column)
        if (!isColumnHidden(column))
            row = row.united(visualRect(current.sibling(current.row(), column)));
    QStyleOptionFocusRect ring;
    ring.initFrom(this);
    ring.rect = row.intersected(viewport()->rect());
    QPainter painter(viewport());
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &ring, &painter, this);
}

void CheckTableView::focusInEvent(QFocusEvent *event)
{
    QTableView::focusInEvent(event);
    viewport()->update();
}

void CheckTableView::focusOutEvent(QFocusEvent *event)
{
    QTableView::focusOutEvent(event);
    viewport()->update();
}

void CheckTableView::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QTableView::currentChanged(current, previous);
    viewport()->update();
}
