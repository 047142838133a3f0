#pragma once

#include "core/file_model.h"
#include "core/group_model.h"

#include <QAbstractListModel>
#include <QStyledItemDelegate>

#include <memory>
#include <vector>

namespace tessaro {

class ItemListModel;

// Per-row state of the item list, and what an item's `cell` points at while it is shown.
class FileCellViewController final : public ItemCell {
public:
    ItemListModel* owner = nullptr;
    qint64 row = 0;
    qint64 idx = 0;
    qint64 groupIndex = 0;
    QString groupName;
    bool selected = false;
    bool isEditing = false;
    // Fraction of the running hide or unhide; 0 when none runs.
    double progress = 0;
    // Computed when the row is first drawn, so that building the list stays linear and
    // cheap however long it is.
    mutable QString description;
    mutable bool descriptionReady = false;
    mutable QString thumbnailPath;
    mutable bool thumbnailChecked = false;

    // Keeps p, or 0 once the operation is complete (p at or above 1), and repaints.
    void setProgress(double p);
    // The walk moved on: progress from the item's byte counts, and a repaint.
    void itemChanged() override;
};

// The items of the shown list, in shown order. Built once per rebuild: a row costs one
// small state object, so long lists build in linear time.
class ItemListModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role { ItemRole = Qt::UserRole + 1 };

    explicit ItemListModel(QObject* parent = nullptr);
    ~ItemListModel() override;

    void setItems(FileModelList items);
    const FileModelList& items() const { return items_; }
    FileModel& item(qsizetype row) const { return *items_[row]; }
    FileCellViewController& cell(qsizetype row) { return cells_[static_cast<size_t>(row)]; }
    const FileCellViewController& cell(qsizetype row) const { return cells_[static_cast<size_t>(row)]; }
    void setSelectedRow(qsizetype row);
    qsizetype selectedRow() const { return selectedRow_; }
    // The description label: the size text of a hidden item, the location of a shown one.
    const QString& descriptionFor(qsizetype row) const;
    // The item's thumbnail file when one was written, else an empty text.
    const QString& thumbnailFor(qsizetype row) const;
    // Recomputes the texts (after a language switch).
    void refreshTexts();

    void rowChanged(qint64 row);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    void detachCells();

    FileModelList items_;
    std::vector<FileCellViewController> cells_;
    qsizetype selectedRow_ = -1;
};

// Draws an item row (icon, name, size or location, state, buttons, progress) and turns
// clicks on its buttons into signals.
class ItemDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    static constexpr int kRowHeight = 56;

    struct RowLayout {
        QRect icon;
        QRect name;
        QRect description;
        QRect state;
        QRect visableBtn;
        QRect openPathBtn;
        QRect cancelEncryptBtn;
    };
    static RowLayout layoutFor(const QRect& rect);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;

signals:
    void visableChangeBlock(qsizetype row);
    void openfileofpathBlock(qsizetype row);
    void cancelEnBlock(qsizetype row);
};

}  // namespace tessaro
