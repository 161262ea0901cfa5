#include "grid/folder_grid_accessible.h"

#include "grid/folder_grid_controller.h"
#include "grid/folder_grid_view.h"
#include "grid/folder_item_model.h"

#include <QPointer>

#include <algorithm>

namespace {

/// One folder in the grid, or one cell of its row in the list.
class FolderCellAccessible final : public QAccessibleInterface,
                                   public QAccessibleTableCellInterface,
                                   public QAccessibleActionInterface
{
public:
    FolderCellAccessible(FolderGridView *view, const QUuid &id, int column)
        : m_view(view), m_id(id), m_column(column)
    {
    }

    bool isValid() const override { return m_view && row() >= 0 && m_column < grid()->columnCount(); }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override { return m_view ? m_view->window()->windowHandle() : nullptr; }
    QAccessibleInterface *parent() const override { return QAccessible::queryAccessibleInterface(m_view); }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }

    QAccessible::Role role() const override
    {
        return grid()->columnCount() == 1 ? QAccessible::ListItem : QAccessible::Cell;
    }

    QString text(QAccessible::Text type) const override
    {
        const int index = row();
        if (index < 0)
            return {};
        const FolderItemModel &model = m_view->model();
        switch (type) {
        case QAccessible::Name:
            return model.text(index, FolderItemModel::Column(m_column));
        case QAccessible::Description:
            return m_column == FolderItemModel::nameColumn ? model.description(index) : QString();
        default:
            return {};
        }
    }
    void setText(QAccessible::Text, const QString &) override {}

    QRect rect() const override
    {
        const int index = row();
        if (index < 0)
            return {};
        const QRect local = m_view->itemRectInViewport(index).toAlignedRect();
        return QRect(m_view->viewport()->mapToGlobal(local.topLeft()), local.size());
    }

    QAccessible::State state() const override
    {
        QAccessible::State state;
        const int index = row();
        if (index < 0) {
            state.invalid = true;
            return state;
        }
        state.selectable = true;
        state.focusable = true;
        state.multiSelectable = true;
        state.selected = isSelected();
        state.focused = m_view->hasFocus() && m_view->currentIndex() == index;
        const QRect local = m_view->itemRectInViewport(index).toAlignedRect();
        if (!m_view->isVisible() || !m_view->viewport()->rect().intersects(local)) {
            state.invisible = !m_view->isVisible();
            state.offscreen = true;
        }
        return state;
    }

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TableCellInterface)
            return static_cast<QAccessibleTableCellInterface *>(this);
        if (type == QAccessible::ActionInterface)
            return static_cast<QAccessibleActionInterface *>(this);
        return nullptr;
    }

    // QAccessibleTableCellInterface
    bool isSelected() const override { return m_view && m_view->model().isSelected(m_id); }
    QList<QAccessibleInterface *> columnHeaderCells() const override { return {}; }
    QList<QAccessibleInterface *> rowHeaderCells() const override { return {}; }
    int columnIndex() const override { return m_column; }
    int rowIndex() const override { return row(); }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface *table() const override { return parent(); }

    // QAccessibleActionInterface: Toggle picks the folder in or out of the selection; SetFocus
    // makes it the keyboard's current folder.
    QStringList actionNames() const override { return {toggleAction(), setFocusAction()}; }
    void doAction(const QString &name) override
    {
        const int index = row();
        if (index < 0)
            return;
        if (name == toggleAction()) {
            m_view->model().setSelected(index, !isSelected());
        } else if (name == setFocusAction()) {
            m_view->activateWindow();
            m_view->setFocus(Qt::OtherFocusReason);
            m_view->controller().setCurrentIndex(index);
        }
    }
    QStringList keyBindingsForAction(const QString &) const override { return {}; }

private:
    int row() const { return m_view ? m_view->model().indexOf(m_id) : -1; }
    FolderGridAccessible *grid() const
    {
        return static_cast<FolderGridAccessible *>(QAccessible::queryAccessibleInterface(m_view));
    }

    QPointer<FolderGridView> m_view;
    QUuid m_id;
    int m_column;
};

QAccessibleInterface *gridFactory(const QString &className, QObject *object)
{
    if (className == QLatin1String("FolderGridView") && object && object->isWidgetType())
        return new FolderGridAccessible(static_cast<FolderGridView *>(object));
    return nullptr;
}

/// The grid's interface if one has been made: events are only worth sending to a listener.
FolderGridAccessible *gridInterface(FolderGridView *view)
{
    if (!QAccessible::isActive())
        return nullptr;
    return static_cast<FolderGridAccessible *>(QAccessible::queryAccessibleInterface(view));
}

/// Splits ascending rows into runs of consecutive ones.
QList<QPair<int, int>> runs(const QList<int> &rows)
{
    QList<QPair<int, int>> result;
    for (int row : rows) {
        if (!result.isEmpty() && result.last().second + 1 == row)
            result.last().second = row;
        else
            result.append({row, row});
    }
    return result;
}

} // namespace

FolderGridAccessible::FolderGridAccessible(FolderGridView *view) : QAccessibleWidget(view, QAccessible::List) {}

FolderGridAccessible::~FolderGridAccessible()
{
    for (QAccessible::Id id : std::as_const(m_cells))
        QAccessible::deleteAccessibleInterface(id);
}

void FolderGridAccessible::installFactory()
{
    static const bool installed = [] {
        QAccessible::installFactory(gridFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

FolderGridView *FolderGridAccessible::view() const { return static_cast<FolderGridView *>(widget()); }

FolderItemModel &FolderGridAccessible::model() const { return view()->model(); }

void *FolderGridAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TableInterface)
        return static_cast<QAccessibleTableInterface *>(this);
    return QAccessibleWidget::interface_cast(type);
}

QAccessible::Role FolderGridAccessible::role() const
{
    return view()->folderLayout().mode() == FolderLayout::Mode::list ? QAccessible::Table : QAccessible::List;
}

int FolderGridAccessible::columnCount() const
{
    return view()->folderLayout().mode() == FolderLayout::Mode::list ? int(FolderItemModel::columnCount) : 1;
}

int FolderGridAccessible::rowCount() const { return model().count(); }

int FolderGridAccessible::childCount() const { return rowCount() * columnCount(); }

QAccessibleInterface *FolderGridAccessible::cellFor(const QUuid &id, int column) const
{
    const QPair<QUuid, int> key(id, column);
    if (const auto it = m_cells.constFind(key); it != m_cells.constEnd())
        return QAccessible::accessibleInterface(*it);
    auto *cell = new FolderCellAccessible(view(), id, column);
    m_cells.insert(key, QAccessible::registerAccessibleInterface(cell));
    return cell;
}

QAccessibleInterface *FolderGridAccessible::cellAt(int row, int column) const
{
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount())
        return nullptr;
    return cellFor(model().idAt(row), column);
}

QAccessibleInterface *FolderGridAccessible::child(int index) const
{
    const int columns = columnCount();
    return index < 0 ? nullptr : cellAt(index / columns, index % columns);
}

int FolderGridAccessible::indexOfChild(const QAccessibleInterface *child) const
{
    const QAccessibleTableCellInterface *cell =
        child ? const_cast<QAccessibleInterface *>(child)->tableCellInterface() : nullptr;
    if (!cell || child->parent() != this || cell->rowIndex() < 0)
        return -1;
    return cell->rowIndex() * columnCount() + cell->columnIndex();
}

QAccessibleInterface *FolderGridAccessible::childAt(int x, int y) const
{
    const QPoint local = view()->viewport()->mapFromGlobal(QPoint(x, y));
    if (!view()->viewport()->rect().contains(local))
        return nullptr;
    const int index = view()->indexAtViewport(local);
    return index < 0 ? nullptr : cellAt(index, 0);
}

QAccessibleInterface *FolderGridAccessible::focusChild() const
{
    const int index = view()->currentIndex();
    return view()->hasFocus() && index >= 0 ? cellAt(index, 0) : nullptr;
}

int FolderGridAccessible::selectedCellCount() const { return selectedRowCount() * columnCount(); }

QList<QAccessibleInterface *> FolderGridAccessible::selectedCells() const
{
    QList<QAccessibleInterface *> cells;
    for (int row : selectedRows()) {
        for (int column = 0; column < columnCount(); ++column)
            cells.append(cellAt(row, column));
    }
    return cells;
}

QString FolderGridAccessible::columnDescription(int column) const
{
    return column >= 0 && column < columnCount() ? FolderItemModel::columnTitle(FolderItemModel::Column(column))
                                                  : QString();
}

QString FolderGridAccessible::rowDescription(int row) const
{
    return row >= 0 && row < rowCount() ? model().description(row) : QString();
}

int FolderGridAccessible::selectedRowCount() const { return int(selectedRows().size()); }

QList<int> FolderGridAccessible::selectedRows() const
{
    QList<int> rows;
    for (const QUuid &id : model().selection()) {
        if (const int row = model().indexOf(id); row >= 0)
            rows.append(row);
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

bool FolderGridAccessible::isRowSelected(int row) const
{
    return row >= 0 && row < rowCount() && model().isSelected(model().idAt(row));
}

bool FolderGridAccessible::selectRow(int row)
{
    if (row < 0 || row >= rowCount())
        return false;
    model().setSelected(row, true);
    return true;
}

bool FolderGridAccessible::unselectRow(int row)
{
    if (row < 0 || row >= rowCount())
        return false;
    model().setSelected(row, false);
    return true;
}

void FolderGridAccessible::modelChange(QAccessibleTableModelChangeEvent *) { dropStaleCells(); }

void FolderGridAccessible::dropStaleCells()
{
    const int columns = columnCount();
    for (auto it = m_cells.begin(); it != m_cells.end();) {
        if (model().indexOf(it.key().first) >= 0 && it.key().second < columns) {
            ++it;
            continue;
        }
        QAccessible::deleteAccessibleInterface(it.value());
        it = m_cells.erase(it);
    }
}

// ---- Events -----------------------------------------------------------------------------------

void FolderGridAccessible::notifyFoldersChanged(FolderGridView *view, const QList<int> &removed,
                                                const QList<int> &inserted)
{
    FolderGridAccessible *grid = gridInterface(view);
    if (!grid)
        return;
    // Removed runs go last to first, so each run's rows are still where the event says.
    const QList<QPair<int, int>> gone = runs(removed);
    for (auto it = gone.crbegin(); it != gone.crend(); ++it) {
        QAccessibleTableModelChangeEvent event(view, QAccessibleTableModelChangeEvent::RowsRemoved);
        event.setFirstRow(it->first);
        event.setLastRow(it->second);
        QAccessible::updateAccessibility(&event);
    }
    for (const QPair<int, int> &run : runs(inserted)) {
        QAccessibleTableModelChangeEvent event(view, QAccessibleTableModelChangeEvent::RowsInserted);
        event.setFirstRow(run.first);
        event.setLastRow(run.second);
        QAccessible::updateAccessibility(&event);
    }
    grid->dropStaleCells();
}

void FolderGridAccessible::notifySelectionChanged(FolderGridView *view, const QSet<QUuid> &before)
{
    FolderGridAccessible *grid = gridInterface(view);
    if (!grid)
        return;
    const QSet<QUuid> &after = grid->model().selection();
    auto tell = [&](const QUuid &id, bool selected) {
        const int row = grid->model().indexOf(id);
        if (row < 0)
            return;
        for (int column = 0; column < grid->columnCount(); ++column) {
            QAccessibleInterface *cell = grid->cellAt(row, column);
            QAccessible::State changed;
            changed.selected = true;
            QAccessibleStateChangeEvent state(cell, changed);
            QAccessible::updateAccessibility(&state);
            QAccessibleEvent event(cell, selected ? QAccessible::SelectionAdd : QAccessible::SelectionRemove);
            QAccessible::updateAccessibility(&event);
        }
    };
    for (const QUuid &id : before) {
        if (!after.contains(id))
            tell(id, false);
    }
    for (const QUuid &id : after) {
        if (!before.contains(id))
            tell(id, true);
    }
    QAccessibleEvent selection(view, QAccessible::Selection);
    QAccessible::updateAccessibility(&selection);
}

void FolderGridAccessible::notifyCurrentChanged(FolderGridView *view, int index)
{
    FolderGridAccessible *grid = gridInterface(view);
    if (!grid || index < 0 || !view->hasFocus())
        return;
    QAccessibleEvent event(grid->cellAt(index, 0), QAccessible::Focus);
    QAccessible::updateAccessibility(&event);
}

void FolderGridAccessible::notifyItemChanged(FolderGridView *view, const QUuid &id)
{
    FolderGridAccessible *grid = gridInterface(view);
    if (!grid)
        return;
    const int row = grid->model().indexOf(id);
    if (row < 0)
        return;
    for (int column = 0; column < grid->columnCount(); ++column) {
        QAccessibleEvent event(grid->cellAt(row, column), column == 0 ? QAccessible::DescriptionChanged
                                                                      : QAccessible::NameChanged);
        QAccessible::updateAccessibility(&event);
    }
}

void FolderGridAccessible::notifyLayoutChanged(FolderGridView *view)
{
    if (!gridInterface(view))
        return;
    QAccessibleTableModelChangeEvent event(view, QAccessibleTableModelChangeEvent::ModelReset);
    QAccessible::updateAccessibility(&event);
}
