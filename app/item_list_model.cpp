#include "app/item_list_model.h"

#include "app/shell_style.h"
#include "app/ui_resources.h"
#include "core/list_composition.h"
#include "crypto/help_class.h"

#include <QDateTime>
#include <QFileIconProvider>
#include <QLocale>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmapCache>
#include <QThread>

namespace tessaro {

void FileCellViewController::setProgress(double p) {
    progress = (p >= 1.0 || p < 0.0) ? 0.0 : p;
    if (owner) {
        owner->scheduleRepaint(row);
    }
}

void FileCellViewController::itemChanged() {
    if (!owner || row >= owner->rowCount()) {
        return;
    }
    // The walk's thread must hop to the GUI thread first: rows and their painting live there.
    Q_ASSERT(QThread::currentThread() == owner->thread());
    const FileModel& model = owner->item(row);
    const qint64 size = model.fileSize.load();
    const qint64 done = model.currentEncryptSize.load();
    descriptionReady = false;
    setProgress(size > 0 && done > 0 ? static_cast<double>(done) / static_cast<double>(size) : 0.0);
}

ItemListModel::ItemListModel(QObject* parent) : QAbstractListModel(parent) {
    repaintTimer_.setSingleShot(true);
    repaintTimer_.setInterval(kRepaintIntervalMs);
    connect(&repaintTimer_, &QTimer::timeout, this, &ItemListModel::flushRepaints);
}

ItemListModel::~ItemListModel() { detachCells(); }

void ItemListModel::detachCells() {
    // Items outlive the list; they must not keep pointing at rows that are gone.
    for (qsizetype i = 0; i < items_.size(); ++i) {
        if (items_[i]->cell == &cells_[static_cast<size_t>(i)]) {
            items_[i]->cell = nullptr;
        }
    }
}

void ItemListModel::setItems(FileModelList items) {
    beginResetModel();
    detachCells();
    dirtyRows_.clear();
    for (auto it = activity_.begin(); it != activity_.end();) {
        it = it.value().item.expired() ? activity_.erase(it) : std::next(it);
    }
    items_ = std::move(items);
    cells_.clear();
    cells_.resize(static_cast<size_t>(items_.size()));
    for (qsizetype i = 0; i < items_.size(); ++i) {
        FileModel& model = *items_[i];
        FileCellViewController& c = cells_[static_cast<size_t>(i)];
        c.owner = this;
        c.row = i;
        c.idx = model.fileIndex;
        c.groupIndex = model.groupIndex;
        c.groupName = model.groupName;
        const qint64 size = model.fileSize.load();
        const qint64 done = model.currentEncryptSize.load();
        c.progress = size > 0 && done > 0 && done < size ? static_cast<double>(done) / static_cast<double>(size) : 0.0;
        if (const RowActivity* activity = activityOf(&model)) {
            c.walkState = activity->walk;
            c.isEditing = activity->editing;
        }
        model.cell = &c;
    }
    selectedRow_ = -1;
    endResetModel();
}

void ItemListModel::setSelectedRow(qsizetype row) {
    const qsizetype old = selectedRow_;
    selectedRow_ = row;
    for (qsizetype i : {old, row}) {
        if (i >= 0 && i < items_.size()) {
            cells_[static_cast<size_t>(i)].selected = i == row;
            rowChanged(i);
        }
    }
}

const QString& ItemListModel::descriptionFor(qsizetype row) const {
    const FileCellViewController& c = cells_[static_cast<size_t>(row)];
    if (!c.descriptionReady) {
        const FileModel& model = *items_[row];
        if (model.groupName == QLatin1String(kNotesListKey)) {
            // Dates in the interface language, not the system's.
            const QLocale locale(LanguageBundle::currentDirectory().startsWith(QLatin1String("zh")) ? QLocale::Chinese
                                                                                                   : QLocale::English);
            c.description = model.addDate > 0
                                ? locale.toString(QDateTime::fromSecsSinceEpoch(model.addDate), QLocale::ShortFormat)
                                : QString();
        } else if (!model.damage.isEmpty()) {
            // Nothing is read from where a damaged record points; the row says what is wrong.
            c.description = model.damage;
        } else {
            // A hidden item shows its size; a shown one where it lies now.
            c.description = model.isEncrtypt ? HelpClass::contentSizeForPath(model) : model.path;
        }
        c.descriptionReady = true;
    }
    return c.description;
}

const QString& ItemListModel::thumbnailFor(qsizetype row) const {
    const FileCellViewController& c = cells_[static_cast<size_t>(row)];
    if (!c.thumbnailChecked) {
        const FileModel& model = *items_[row];
        c.thumbnailChecked = true;
        if (!model.path.isEmpty() && model.groupName != QLatin1String(kNotesListKey)) {
            const QString directory = model.groupName.section(QLatin1Char('/'), -1);
            const QString path = HelpClass::getFileThumbImagePath(model.path, directory);
            if (!path.isEmpty() && QFileInfo(path).isFile()) {
                c.thumbnailPath = path;
            }
        }
    }
    return c.thumbnailPath;
}

void ItemListModel::refreshTexts() {
    for (const FileCellViewController& c : cells_) {
        c.descriptionReady = false;
    }
    if (!items_.isEmpty()) {
        emit dataChanged(index(0), index(static_cast<int>(items_.size()) - 1));
    }
}

ItemListModel::RowActivity* ItemListModel::activityOf(const FileModel* item) {
    auto it = activity_.find(item);
    // A record that is gone may have left its address to a new one.
    if (it == activity_.end() || it.value().item.lock().get() != item) {
        return nullptr;
    }
    return &it.value();
}

const ItemListModel::RowActivity* ItemListModel::activityOf(const FileModel* item) const {
    return const_cast<ItemListModel*>(this)->activityOf(item);
}

void ItemListModel::setRowWalkState(const FileModelPtr& item, WalkState state) {
    if (!item) {
        return;
    }
    if (state == WalkState::None) {
        activity_.remove(item.get());
    } else {
        activity_.insert(item.get(), RowActivity{item, state, true});
    }
    applyActivity(item.get());
}

void ItemListModel::setRowEditing(const FileModelPtr& item, bool editing) {
    if (!item) {
        return;
    }
    RowActivity* activity = activityOf(item.get());
    if (activity) {
        activity->editing = editing;
        if (!editing && activity->walk == WalkState::None) {
            activity_.remove(item.get());
        }
    } else if (editing) {
        activity_.insert(item.get(), RowActivity{item, WalkState::None, true});
    }
    applyActivity(item.get());
}

WalkState ItemListModel::rowWalkState(const FileModel* item) const {
    const RowActivity* activity = activityOf(item);
    return activity ? activity->walk : WalkState::None;
}

bool ItemListModel::rowEditing(const FileModel* item) const {
    const RowActivity* activity = activityOf(item);
    return activity && activity->editing;
}

qsizetype ItemListModel::rowOf(const FileModel* item) const {
    const auto* c = item ? dynamic_cast<const FileCellViewController*>(item->cell) : nullptr;
    if (!c || c->owner != this || c->row < 0 || c->row >= items_.size() || items_[c->row].get() != item) {
        return -1;
    }
    return c->row;
}

void ItemListModel::applyActivity(const FileModel* item) {
    const qsizetype row = rowOf(item);
    if (row < 0) {
        return;
    }
    FileCellViewController& c = cells_[static_cast<size_t>(row)];
    const RowActivity* activity = activityOf(item);
    c.walkState = activity ? activity->walk : WalkState::None;
    c.isEditing = activity && activity->editing;
    c.descriptionReady = false;
    rowChanged(row);
}

void ItemListModel::rowChanged(qint64 row) {
    if (row >= 0 && row < items_.size()) {
        dirtyRows_.remove(row);
        emit dataChanged(index(static_cast<int>(row)), index(static_cast<int>(row)));
    }
}

void ItemListModel::scheduleRepaint(qint64 row) {
    if (row < 0 || row >= items_.size()) {
        return;
    }
    dirtyRows_.insert(row);
    if (!repaintTimer_.isActive()) {
        repaintTimer_.start();
    }
}

void ItemListModel::flushRepaints() {
    const QSet<qint64> rows = std::exchange(dirtyRows_, {});
    for (const qint64 row : rows) {
        rowChanged(row);
    }
}

int ItemListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(items_.size());
}

QVariant ItemListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= items_.size()) {
        return {};
    }
    const FileModel& model = *items_[index.row()];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole: return model.name;
    case Qt::ToolTipRole: return model.path;
    default: return {};
    }
}

// ---------------------------------------------------------------------------------------

namespace {

constexpr int kButtonSize = 24;

QIcon genericIcon(const FileModel& model) {
    static QHash<QString, QIcon> bySuffix;
    const QString suffix = QFileInfo(model.name).suffix().toLower();
    const QString key = model.groupName == QLatin1String(kNotesListKey) ? QStringLiteral("\x01note") : suffix;
    auto it = bySuffix.constFind(key);
    if (it != bySuffix.constEnd()) {
        return it.value();
    }
    QIcon icon;
    if (key == QLatin1String("\x01note")) {
        icon = ui::picture(QStringLiteral("About/GenericFile.png"));
    } else if (!suffix.isEmpty()) {
        // The desktop's icon for the type when its theme has one; our own otherwise.
        static const QMimeDatabase mimes;
        const QMimeType type = mimes.mimeTypeForFile(model.name, QMimeDatabase::MatchExtension);
        if (QIcon::hasThemeIcon(type.iconName())) {
            icon = QIcon::fromTheme(type.iconName());
        } else if (QIcon::hasThemeIcon(type.genericIconName())) {
            icon = QIcon::fromTheme(type.genericIconName());
        }
    }
    if (icon.isNull()) {
        icon = ui::picture(suffix.isEmpty() ? QStringLiteral("About/GenericFolder.png") : QStringLiteral("About/GenericFile.png"));
    }
    if (icon.isNull()) {
        static QFileIconProvider provider;
        icon = provider.icon(suffix.isEmpty() ? QFileIconProvider::Folder : QFileIconProvider::File);
    }
    bySuffix.insert(key, icon);
    return icon;
}

const ItemListModel* itemModel(const QModelIndex& index) { return qobject_cast<const ItemListModel*>(index.model()); }

}  // namespace

ItemDelegate::RowLayout ItemDelegate::layoutFor(const QRect& rect) {
    RowLayout l;
    const int cy = rect.center().y();
    l.icon = QRect(rect.left() + 16, cy - 16, 32, 32);
    l.openPathBtn = QRect(rect.right() - 16 - kButtonSize, cy - kButtonSize / 2, kButtonSize, kButtonSize);
    l.cancelEncryptBtn = l.openPathBtn;
    l.visableBtn = QRect(l.openPathBtn.left() - 10 - kButtonSize * 3, cy - kButtonSize / 2, kButtonSize * 3, kButtonSize);
    l.eye = QRect(l.visableBtn.right() - kButtonSize + 1, l.visableBtn.top(), kButtonSize, kButtonSize);
    l.state = QRect(l.visableBtn.left() - 12 - 84, cy - 10, 84, 20);
    const int textLeft = l.icon.right() + 12;
    const int textRight = l.state.left() - 12;
    l.name = QRect(textLeft, rect.top() + 9, std::max(0, textRight - textLeft), 20);
    l.description = QRect(textLeft, rect.top() + 29, std::max(0, textRight - textLeft), 18);
    return l;
}

ItemDelegate::RowLook ItemDelegate::lookFor(const ItemListModel& model, qsizetype row, const RowLayout& layout) {
    const FileModel& item = model.item(row);
    const FileCellViewController& cell = model.cell(row);
    const bool visible = !item.isEncrtypt;
    RowLook look;
    switch (cell.walkState) {
    case WalkState::Hiding: look.stateText = ui::text("hideState"); break;
    case WalkState::Unhiding: look.stateText = ui::text("showState"); break;
    case WalkState::None:
        look.stateText = visible ? ui::text("visableLabel.stringValue") : ui::text("hiddenLabel.stringValue");
        break;
    }
    // A running walk shows the colour of the state it leads to, whether or not the record
    // already says so (an added item is recorded hidden from the start, a toggled one only
    // once its walk has ended).
    const bool showsVisible = cell.walkState == WalkState::None ? visible : cell.walkState == WalkState::Unhiding;
    look.stateColour = showsVisible ? visibleStateColour() : hiddenStateColour();
    if (!item.damage.isEmpty()) {
        // Its button stays live so that a click can say why nothing happens.
        look.stateText = ui::text("damagedLabel.stringValue");
        look.stateColour = damagedStateColour();
    }
    look.showsProgress = cell.progress > 0.0 && cell.progress < 1.0;
    if (look.showsProgress) {
        look.progressBar = layout.visableBtn;
        look.progressBar.setWidth(static_cast<int>(layout.visableBtn.width() * cell.progress));
        look.showsCancel = true;
    } else {
        // The button is selected exactly when the item is visible.
        look.visableBtnSelected = visible;
        look.visableImage = visible ? QStringLiteral("About/visableon.png") : QStringLiteral("About/visableoff.png");
        look.visableBtnEnabled = !cell.isEditing;
        look.showsOpenPath = true;
        look.openPathEnabled = visible && !cell.isEditing && item.damage.isEmpty();
    }
    return look;
}

QSize ItemDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    return QSize(option.rect.width(), kRowHeight);
}

void ItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const ItemListModel* model = itemModel(index);
    if (!model) {
        return;
    }
    const qsizetype row = index.row();
    const FileModel& item = model->item(row);
    const FileCellViewController& cell = model->cell(row);
    const RowLayout l = layoutFor(option.rect);
    const qreal dpr = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    const bool isNote = item.groupName == QLatin1String(kNotesListKey);

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    if (cell.selected) {
        painter->fillRect(option.rect, style::rowSelected());
    } else if (option.state & QStyle::State_MouseOver) {
        painter->fillRect(option.rect, QColor(0, 0, 0, 8));
    }
    painter->setPen(style::separator());
    painter->drawLine(QPoint(l.name.left(), option.rect.bottom()), QPoint(option.rect.right(), option.rect.bottom()));

    // Icon: the item's thumbnail when one was written, else the icon of its file type.
    const QString& thumb = model->thumbnailFor(row);
    QPixmap pixmap;
    if (!thumb.isEmpty()) {
        const QString key = QStringLiteral("thumb:") + thumb;
        if (!QPixmapCache::find(key, &pixmap)) {
            pixmap.load(thumb);
            if (!pixmap.isNull()) {
                pixmap = pixmap.scaled(l.icon.size() * dpr, Qt::KeepAspectRatio, Qt::SmoothTransformation);
                pixmap.setDevicePixelRatio(dpr);
                QPixmapCache::insert(key, pixmap);
            }
        }
    }
    if (!pixmap.isNull()) {
        const QSize s = pixmap.deviceIndependentSize().toSize();
        painter->drawPixmap(QRect(QPoint(l.icon.center().x() - s.width() / 2, l.icon.center().y() - s.height() / 2), s), pixmap);
    } else {
        genericIcon(item).paint(painter, l.icon);
    }

    QFont nameFont = option.font;
    nameFont.setWeight(QFont::DemiBold);
    painter->setFont(nameFont);
    painter->setPen(style::primaryText());
    painter->drawText(l.name, Qt::AlignLeft | Qt::AlignVCenter,
                      QFontMetrics(nameFont).elidedText(item.name, Qt::ElideMiddle, l.name.width()));
    QFont smallFont = option.font;
    smallFont.setPointSizeF(option.font.pointSizeF() * 0.88);
    painter->setFont(smallFont);
    painter->setPen(style::secondaryText());
    painter->drawText(l.description, Qt::AlignLeft | Qt::AlignVCenter,
                      QFontMetrics(smallFont).elidedText(model->descriptionFor(row), Qt::ElideMiddle, l.description.width()));

    if (isNote) {
        painter->restore();
        return;
    }

    const RowLook look = lookFor(*model, row, l);

    // State label: a badge in the state's colour.
    QFont stateFont = smallFont;
    stateFont.setWeight(QFont::DemiBold);
    const QFontMetrics sfm(stateFont);
    const int stateWidth = std::min(l.state.width(), sfm.horizontalAdvance(look.stateText) + 18);
    const QRect stateRect(l.state.right() - stateWidth + 1, l.state.top(), stateWidth, l.state.height());
    QPainterPath statePath;
    statePath.addRoundedRect(stateRect, 10, 10);
    painter->fillPath(statePath, look.stateColour);
    // Dark ink on the light amber, white on the grey: both stay readable.
    painter->setFont(stateFont);
    painter->setPen(look.stateColour.lightness() > 140 ? QColor(44, 44, 47) : QColor(Qt::white));
    painter->drawText(stateRect, Qt::AlignCenter, sfm.elidedText(look.stateText, Qt::ElideRight, stateRect.width() - 8));

    if (look.showsProgress) {
        // The hide/unhide button gives its place to a bar as wide as the fraction done.
        const QRect track = l.visableBtn.adjusted(0, 9, 0, -9);
        QPainterPath trackPath;
        trackPath.addRoundedRect(track, 3, 3);
        painter->fillPath(trackPath, style::progressTrack());
        const QRect bar(track.left(), track.top(), look.progressBar.width(), track.height());
        QPainterPath barPath;
        barPath.addRoundedRect(bar, 3, 3);
        painter->fillPath(barPath, style::accent());
    } else {
        painter->setOpacity(look.visableBtnEnabled ? 1.0 : 0.35);
        ui::picture(look.visableImage).paint(painter, l.eye.adjusted(2, 2, -2, -2));
    }
    if (look.showsCancel) {
        painter->setOpacity(1.0);
        ui::picture(QStringLiteral("About/ActivityCancel.png")).paint(painter, l.cancelEncryptBtn.adjusted(2, 2, -2, -2));
    }
    if (look.showsOpenPath) {
        painter->setOpacity(look.openPathEnabled ? 1.0 : 0.3);
        ui::picture(QStringLiteral("About/openPath.png")).paint(painter, l.openPathBtn.adjusted(2, 2, -2, -2));
    }
    painter->restore();
}

bool ItemDelegate::editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                               const QModelIndex& index) {
    if (event->type() != QEvent::MouseButtonRelease) {
        return QStyledItemDelegate::editorEvent(event, model, option, index);
    }
    const auto* items = qobject_cast<const ItemListModel*>(model);
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (!items || mouse->button() != Qt::LeftButton || index.row() >= items->rowCount()) {
        return false;
    }
    const qsizetype row = index.row();
    if (items->item(row).groupName == QLatin1String(kNotesListKey)) {
        return false;
    }
    const RowLayout l = layoutFor(option.rect);
    const RowLook look = lookFor(*items, row, l);
    const QPoint p = mouse->position().toPoint();
    // A click on a button that is hidden or disabled is swallowed rather than taken as a
    // click on the row: the user aimed at the button.
    if (l.cancelEncryptBtn.contains(p)) {
        if (look.showsCancel) {
            emit cancelEnBlock(row);
        } else if (look.openPathEnabled) {
            emit openfileofpathBlock(row);
        }
        return true;
    }
    if (look.showsProgress ? l.visableBtn.contains(p) : l.eye.contains(p)) {
        if (look.visableBtnEnabled) {
            emit visableChangeBlock(row);
        }
        return true;
    }
    return false;
}

}  // namespace tessaro
