#pragma once

#include "core/file_model.h"
#include "core/group_model.h"

#include <QAbstractListModel>
#include <QHash>
#include <QSet>
#include <QStyledItemDelegate>
#include <QTimer>

#include <memory>
#include <vector>

namespace tessaro {

class ItemListModel;

// What runs on an item, as its row shows it.
enum class WalkState { None, Hiding, Unhiding };

// Per-row state of the item list, and what an item's `cell` points at while it is shown.
class FileCellViewController final : public ItemCell {
public:
    ItemListModel* owner = nullptr;
    qint64 row = 0;
    qint64 idx = 0;
    qint64 groupIndex = 0;
    QString groupName;
    bool selected = false;
    // An operation on the row is pending or running: its buttons do nothing meanwhile.
    bool isEditing = false;
    WalkState walkState = WalkState::None;
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
    // The walk moved on, or the item changed state: progress from the item's byte counts,
    // and a repaint. GUI thread only; repaints are coalesced, so it may be called for
    // every step of a walk.
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

    // What runs on an item. Kept by record, so it survives rebuilds of the list; a state
    // other than None also marks the row as editing, None clears both.
    void setRowWalkState(const FileModelPtr& item, WalkState state);
    void setRowEditing(const FileModelPtr& item, bool editing);
    WalkState rowWalkState(const FileModel* item) const;
    bool rowEditing(const FileModel* item) const;
    // The item's position in the shown list, or -1.
    qsizetype rowOf(const FileModel* item) const;

    // Repaints the row at once.
    void rowChanged(qint64 row);
    // Repaints the row within kRepaintIntervalMs, together with every other row that
    // changed meanwhile: progress arrives far more often than a screen can show it.
    void scheduleRepaint(qint64 row);
    static constexpr int kRepaintIntervalMs = 33;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    struct RowActivity {
        std::weak_ptr<FileModel> item;
        WalkState walk = WalkState::None;
        bool editing = false;
    };

    void detachCells();
    RowActivity* activityOf(const FileModel* item);
    const RowActivity* activityOf(const FileModel* item) const;
    void applyActivity(const FileModel* item);
    void flushRepaints();

    FileModelList items_;
    std::vector<FileCellViewController> cells_;
    qsizetype selectedRow_ = -1;
    QHash<const FileModel*, RowActivity> activity_;
    QSet<qint64> dirtyRows_;
    QTimer repaintTimer_;
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
        // The hide/unhide button's frame; the eye is drawn at its right end (eye), and the
        // progress bar takes the whole frame.
        QRect visableBtn;
        QRect eye;
        QRect openPathBtn;
        QRect cancelEncryptBtn;
    };
    static RowLayout layoutFor(const QRect& rect);

    // What a row shows, apart from its icon and texts.
    struct RowLook {
        QString stateText;
        QColor stateColour;
        // While 0 < progress < 1: a bar in place of the hide/unhide button, the cancel
        // button in place of the show-in-file-manager button.
        bool showsProgress = false;
        QRect progressBar;
        QString visableImage;
        bool visableBtnSelected = false;
        bool visableBtnEnabled = false;
        bool showsOpenPath = false;
        bool openPathEnabled = false;
        bool showsCancel = false;
    };
    static RowLook lookFor(const ItemListModel& model, qsizetype row, const RowLayout& layout);
    static QColor visibleStateColour() { return QColor(255, 190, 50); }
    static QColor hiddenStateColour() { return QColor(122, 124, 135); }
    static QColor damagedStateColour() { return QColor(214, 64, 52); }

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
