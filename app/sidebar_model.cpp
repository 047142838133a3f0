#include "app/sidebar_model.h"

#include "app/shell_style.h"
#include "app/ui_resources.h"

#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>

namespace tessaro {

void SidebarModel::setEntries(QList<SidebarEntry> entries, qsizetype selectedRow) {
    beginResetModel();
    entries_ = std::move(entries);
    cells_.assign(static_cast<size_t>(entries_.size()), GroupCellViewController{});
    for (qsizetype i = 0; i < entries_.size(); ++i) {
        const SidebarEntry& e = entries_[i];
        GroupCellViewController& c = cells_[static_cast<size_t>(i)];
        c.row = i;
        c.groupRow = e.groupRow;
        c.groupName = e.groupName;
        c.isGroupDir = e.isGroupDir;
        c.isGroupNote = e.isGroupNote;
        c.isHeader = e.isHeader;
        c.isAddItem = e.isAddItem;
        c.canSelected = e.canSelected;
        c.isEditingName = e.group && e.group->isEditing;
        c.selected = i == selectedRow;
    }
    selectedRow_ = selectedRow;
    endResetModel();
}

void SidebarModel::setSelectedRow(qsizetype row) {
    const qsizetype old = selectedRow_;
    selectedRow_ = row;
    for (qsizetype i : {old, row}) {
        if (i >= 0 && i < entries_.size()) {
            cells_[static_cast<size_t>(i)].selected = i == row;
            emit dataChanged(index(static_cast<int>(i)), index(static_cast<int>(i)));
        }
    }
}

int SidebarModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(entries_.size());
}

QVariant SidebarModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= entries_.size()) {
        return {};
    }
    const SidebarEntry& e = entries_[index.row()];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole: return e.title;
    case Qt::AccessibleTextRole: return e.countText.isEmpty() ? e.title : e.title + QLatin1Char(' ') + e.countText;
    default: return {};
    }
}

Qt::ItemFlags SidebarModel::flags(const QModelIndex& index) const {
    if (!index.isValid() || index.row() >= entries_.size()) {
        return Qt::NoItemFlags;
    }
    const SidebarEntry& e = entries_[index.row()];
    Qt::ItemFlags f = Qt::ItemIsEnabled;
    // Only user groups are renamed here: row 1 of each list is the system's all-items group.
    if (!e.isHeader && !e.isAddItem && e.groupRow > 1) {
        f |= Qt::ItemIsEditable;
    }
    return f;
}

bool SidebarModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !index.isValid() || index.row() >= entries_.size()) {
        return false;
    }
    emit groupNameEdited(index.row(), value.toString());
    return true;
}

namespace {

const SidebarModel* sidebarModel(const QModelIndex& index) { return qobject_cast<const SidebarModel*>(index.model()); }

}  // namespace

QSize SidebarDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const SidebarModel* model = sidebarModel(index);
    const bool header = model && model->entry(index.row()).isHeader;
    const int base = header ? kHeaderHeight : kRowHeight;
    return QSize(option.rect.width(), std::max(base, option.fontMetrics.height() + (header ? 14 : 10)));
}

void SidebarDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const SidebarModel* model = sidebarModel(index);
    if (!model) {
        return;
    }
    const SidebarEntry& e = model->entry(index.row());
    const GroupCellViewController& cell = model->cell(index.row());
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const QRect r = option.rect;
    QFont font = option.font;

    if (e.isHeader) {
        const int iconSize = 18;
        const QRect iconRect(r.left() + 12, r.center().y() - iconSize / 2 + 3, iconSize, iconSize);
        const QString iconName = e.icon == SidebarEntry::Icon::SecureNotes ? QStringLiteral("About/SecureNotesIcon@2x.png")
                                                                         : QStringLiteral("About/LocalVaultIcon@2x.png");
        const QIcon icon = ui::picture(iconName);
        if (!icon.isNull()) {
            icon.paint(painter, iconRect);
        }
        font.setBold(true);
        font.setPointSizeF(font.pointSizeF() * 0.85);
        font.setCapitalization(QFont::AllUppercase);
        font.setLetterSpacing(QFont::PercentageSpacing, 104);
        painter->setFont(font);
        painter->setPen(style::sidebarHeaderText());
        const QRect textRect(iconRect.right() + 8, r.top() + 6, r.width() - iconRect.width() - 30, r.height() - 6);
        painter->drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft,
                          QFontMetrics(font).elidedText(e.title, Qt::ElideRight, textRect.width()));
        painter->restore();
        return;
    }

    const QRect pill = r.adjusted(8, 1, -8, -1);
    if (cell.selected) {
        QPainterPath path;
        path.addRoundedRect(pill, 6, 6);
        painter->fillPath(path, style::accent());
    } else if (option.state & QStyle::State_MouseOver) {
        QPainterPath path;
        path.addRoundedRect(pill, 6, 6);
        painter->fillPath(path, style::sidebarHover());
    }

    const int indent = 38;
    QRect textRect = pill.adjusted(indent - 8, 0, -10, 0);
    if (e.isAddItem) {
        painter->setPen(style::sidebarMutedText());
        QFont plusFont = font;
        plusFont.setBold(true);
        painter->setFont(plusFont);
        painter->drawText(QRect(pill.left() + 12, pill.top(), 18, pill.height()), Qt::AlignCenter, QStringLiteral("+"));
        painter->setFont(font);
        painter->drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft,
                          option.fontMetrics.elidedText(e.title, Qt::ElideRight, textRect.width()));
        painter->restore();
        return;
    }

    if (!e.countText.isEmpty()) {
        QFont countFont = font;
        countFont.setPointSizeF(font.pointSizeF() * 0.85);
        const QFontMetrics cfm(countFont);
        const int w = std::max(22, cfm.horizontalAdvance(e.countText) + 12);
        const QRect badge(pill.right() - 8 - w, pill.center().y() - 9, w, 18);
        QPainterPath badgePath;
        badgePath.addRoundedRect(badge, 9, 9);
        painter->fillPath(badgePath, cell.selected ? QColor(255, 255, 255, 60) : style::countBadge());
        painter->setFont(countFont);
        painter->setPen(cell.selected ? QColor(Qt::white) : style::sidebarMutedText());
        painter->drawText(badge, Qt::AlignCenter, e.countText);
        textRect.setRight(badge.left() - 6);
    }
    painter->setFont(font);
    painter->setPen(cell.selected ? QColor(Qt::white) : style::sidebarText());
    painter->drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft,
                      option.fontMetrics.elidedText(e.title, Qt::ElideRight, textRect.width()));
    painter->restore();
}

QWidget* SidebarDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex&) const {
    auto* editor = new QLineEdit(parent);
    editor->setFrame(false);
    editor->setObjectName(QStringLiteral("groupNameEditor"));
    return editor;
}

void SidebarDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    auto* line = qobject_cast<QLineEdit*>(editor);
    if (line) {
        line->setText(index.data(Qt::EditRole).toString());
        line->selectAll();
    }
}

void SidebarDelegate::setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const {
    auto* line = qobject_cast<QLineEdit*>(editor);
    if (line) {
        model->setData(index, line->text().trimmed(), Qt::EditRole);
    }
}

void SidebarDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option, const QModelIndex&) const {
    editor->setGeometry(option.rect.adjusted(36, 3, -12, -3));
}

}  // namespace tessaro
