#pragma once

#include <QAccessibleWidget>
#include <QHash>
#include <QPair>
#include <QUuid>

class FolderGridView;
class FolderItemModel;

/// @brief The grid as screen readers see it: a list of folders, or in list mode a table with
/// the columns Name, Category and Status.
///
/// One child per folder (per cell in the table), described from the item model. Selecting rows
/// through the table interface selects the folders in the window. Child interfaces are kept per
/// folder and column, so a folder keeps its identity while others come and go.
class FolderGridAccessible final : public QAccessibleWidget, public QAccessibleTableInterface
{
public:
    explicit FolderGridAccessible(FolderGridView *view);
    ~FolderGridAccessible() override;

    /// Makes the grid's interfaces the ones Qt hands out for FolderGridView (once per process).
    static void installFactory();

    // Tell screen readers what changed in the grid; they do nothing while none listens.
    static void notifyFoldersChanged(FolderGridView *view, const QList<int> &removed, const QList<int> &inserted);
    static void notifySelectionChanged(FolderGridView *view, const QSet<QUuid> &before);
    static void notifyCurrentChanged(FolderGridView *view, int index);
    static void notifyItemChanged(FolderGridView *view, const QUuid &id);
    static void notifyLayoutChanged(FolderGridView *view);

    // QAccessibleInterface
    void *interface_cast(QAccessible::InterfaceType type) override;
    QAccessible::Role role() const override;
    int childCount() const override;
    QAccessibleInterface *child(int index) const override;
    int indexOfChild(const QAccessibleInterface *child) const override;
    QAccessibleInterface *childAt(int x, int y) const override;
    QAccessibleInterface *focusChild() const override;

    // QAccessibleTableInterface
    QAccessibleInterface *caption() const override { return nullptr; }
    QAccessibleInterface *summary() const override { return nullptr; }
    QAccessibleInterface *cellAt(int row, int column) const override;
    int selectedCellCount() const override;
    QList<QAccessibleInterface *> selectedCells() const override;
    QString columnDescription(int column) const override;
    QString rowDescription(int row) const override;
    int selectedColumnCount() const override { return 0; }
    int selectedRowCount() const override;
    int columnCount() const override;
    int rowCount() const override;
    QList<int> selectedColumns() const override { return {}; }
    QList<int> selectedRows() const override;
    bool isColumnSelected(int) const override { return false; }
    bool isRowSelected(int row) const override;
    bool selectRow(int row) override;
    bool selectColumn(int) override { return false; }
    bool unselectRow(int row) override;
    bool unselectColumn(int) override { return false; }
    void modelChange(QAccessibleTableModelChangeEvent *event) override;

    FolderGridView *view() const;
    FolderItemModel &model() const;

private:
    /// The interface of the folder's cell, made on first use.
    QAccessibleInterface *cellFor(const QUuid &id, int column) const;
    /// Forgets the cells of folders no longer listed, and of columns no longer shown.
    void dropStaleCells();

    mutable QHash<QPair<QUuid, int>, QAccessible::Id> m_cells;
};
