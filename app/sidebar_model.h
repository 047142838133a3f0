#pragma once

#include "core/list_composition.h"

#include <QAbstractListModel>
#include <QStyledItemDelegate>

#include <vector>

namespace tessaro {

// Per-row state of the sidebar (one per row, rebuilt with the list).
struct GroupCellViewController {
    qint64 row = 0;
    qint64 groupRow = 0;
    QString groupName;
    bool isGroupDir = false;
    bool isGroupNote = false;
    bool isHeader = false;
    bool isAddItem = false;
    bool canSelected = false;
    bool selected = false;
    bool isEditingName = false;
};

// The sidebar rows: headers, groups and add rows of every section.
class SidebarModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role { EntryRole = Qt::UserRole + 1 };

    using QAbstractListModel::QAbstractListModel;

    // Replaces every row; `selectedRow` (-1 for none) is drawn selected.
    void setEntries(QList<SidebarEntry> entries, qsizetype selectedRow);
    void setSelectedRow(qsizetype row);

    const SidebarEntry& entry(qsizetype row) const { return entries_[row]; }
    const GroupCellViewController& cell(qsizetype row) const { return cells_[static_cast<size_t>(row)]; }
    qsizetype selectedRow() const { return selectedRow_; }
    qsizetype count() const { return entries_.size(); }

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

signals:
    // The name editor of a group closed with this text (endEditNameBlock).
    void groupNameEdited(qsizetype row, const QString& name);

private:
    QList<SidebarEntry> entries_;
    std::vector<GroupCellViewController> cells_;
    qsizetype selectedRow_ = -1;
};

// Draws the sidebar rows and opens the name editor of a group.
class SidebarDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    static constexpr int kHeaderHeight = 34;
    static constexpr int kRowHeight = 28;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

}  // namespace tessaro
