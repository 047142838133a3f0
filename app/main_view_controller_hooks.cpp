// Where the window hands its item operations to the vault library: each command forwards to
// the vault controller, which runs the walks on its worker; its reports come back here and
// become the progress panel, the rows' states and the alerts.
#include "app/main_view_controller.h"

#include "app/item_list_model.h"
#include "app/item_list_view.h"
#include "app/progress_panel.h"
#include "app/ui_resources.h"
#include "controls/modal_seam.h"
#include "core/log.h"
#include "core/settings_store.h"
#include "core/volumes.h"
#include "vault/vault_controller.h"

#include <QFileInfo>
#include <QMimeDatabase>

#include <utility>

namespace tessaro {

namespace {

QString localKey() { return QString::fromLatin1(kLocalListKey); }

// The desktop theme's icon of a file, by its name only: nothing of the file is read. A
// folder has no type to go by, and a type the theme has no icon for gets our own generic
// picture, the one the rows draw for items without a thumbnail.
QImage iconOf(const QString& path) {
    const QSize size(128, 128);
    const QFileInfo info(path);
    if (info.isDir() && !info.isSymLink()) {
        return ui::picturePixmap(QStringLiteral("About/GenericFolder.png"), size, 1.0).toImage();
    }
    static const QMimeDatabase mimes;
    const QMimeType type = mimes.mimeTypeForFile(path, QMimeDatabase::MatchExtension);
    const QIcon icon = QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName()));
    if (icon.isNull()) {
        return ui::picturePixmap(QStringLiteral("About/GenericFile.png"), size, 1.0).toImage();
    }
    return icon.pixmap(size).toImage();
}

// The record of the local vault or of an open drive vault whose item lives at `path`.
FileModelPtr recordAt(const Catalogue& catalogue, const QString& path) {
    QList<const RowList*> lists{&catalogue.groupDirList};
    for (const RowList& rows : catalogue.UPLibrary) {
        lists.append(&rows);
    }
    for (const RowList* rows : std::as_const(lists)) {
        for (const GroupModelPtr& row : *rows) {
            if (!row->fileModels) {
                continue;
            }
            for (const FileModelPtr& item : std::as_const(*row->fileModels)) {
                if (item->path == path) {
                    return item;
                }
            }
        }
    }
    return nullptr;
}

}  // namespace

void MainViewController::connectVault() {
    vault::VaultController::Hooks hooks;
    hooks.icons = iconOf;
    vault_ = std::make_unique<vault::VaultController>(catalogue, std::move(hooks));
    using VC = vault::VaultController;

    connect(vault_.get(), &VC::preparing, this, [this](int) {
        progressView_->addAnimation();
        progressView_->showPreparing();
        updateItemControls();
    });
    connect(vault_.get(), &VC::added, this, [this](const FileModelList& records, qint64 groupIndex) {
        // The new items show where they went, as hiding, until their turn comes.
        catalogue.selectGroupName = records.isEmpty() ? localKey() : records.last()->groupName;
        selectGroupIndex = groupIndex;
        for (const FileModelPtr& r : records) {
            itemModel_->setRowWalkState(r, WalkState::Hiding);
        }
        setLeftScrollView();
        if (!records.isEmpty()) {
            scrollToItem(records.last());
        }
        emit userActionPerformed();
    });
    connect(vault_.get(), &VC::walkStarted, this, [this](const FileModelPtr& item, VC::Kind kind, bool showsPanel) {
        if (showsPanel && !progressView_->isProgressShown()) {
            progressView_->addAnimation();
        }
        if (showsPanel) {
            progressView_->showPreparing();
        }
        setRowWalkState(item, kind == VC::Kind::Hide ? WalkState::Hiding : WalkState::Unhiding);
        scrollToItem(item);
    });
    connect(vault_.get(), &VC::walkProgress, this, [this](const FileModelPtr& item, VC::Kind, bool showsPanel) {
        // A stopped walk takes back what it counted: its steps would only wind the bar down.
        if (showsPanel && !item->isCancel) {
            progressView_->showProgressOf(*item);
        }
        if (item->cell) {
            item->cell->itemChanged();
        }
    });
    connect(vault_.get(), &VC::walkFinished, this, [this](const FileModelPtr& item, VC::Kind, const ItemResult& result, bool) {
        walkCancelled_ = walkCancelled_ || result.cancelled;
        setRowWalkState(item, WalkState::None);
        if (item == selectedItem()) {
            setDoFileTypeForSelectedItem();
        }
        if (auto done = toggleCompletions_.take(item.get())) {
            done();
        }
        updateItemControls();
    });
    connect(vault_.get(), &VC::allFinished, this, [this](bool showedPanel) {
        // A stopped walk is not reported as done.
        const bool cancelled = std::exchange(walkCancelled_, false);
        if (showedPanel || progressView_->isProgressShown()) {
            if (cancelled) {
                progressView_->showCancelled();
            } else {
                progressView_->showCompleted();
            }
            progressView_->removeAnimation();
        }
        setRightScrollView();
        // A hide all that left nothing to hide turns the menu's first entry into "unhide
        // all" (and the other way round), so that the way back is there at once.
        if (const std::optional<bool> hid = std::exchange(everyItemBatchHides_, std::nullopt)) {
            if (*hid && !shownVaultHas(false)) {
                setDoFileType(3);
            } else if (!*hid && !shownVaultHas(true)) {
                setDoFileType(2);
            }
        }
        updateItemControls();
    });
    connect(vault_.get(), &VC::problems, this, [this](const QString& titleKey, const QStringList& lines) {
        if (titleKey == QLatin1String("fileRemovedMessage")) {
            // The vault may still hold the copy that unhiding all kept: the item has then
            // gone back to that copy and is listed as hidden, and the message says so.
            for (const QString& path : lines) {
                const FileModelPtr record = recordAt(catalogue, path);
                const char* message = record && record->isEncrtypt ? "fileRemovedKeptCopyMessage" : "fileRemovedMessage";
                showAlert(ui::text("wenxintishi"), ui::text(message) + QStringLiteral("\n\n") + path);
            }
        } else {
            showAlert(ui::text(titleKey.toUtf8().constData()), lines.join(QLatin1Char('\n')));
        }
    });
    connect(vault_.get(), &VC::repaired, this, [this](const QStringList& lines) {
        showAlert(ui::text("vaultRepaired.notice"), lines.join(QLatin1Char('\n')));
        setLeftScrollView();
    });
    connect(vault_.get(), &VC::repairFailed, this, [this](const QStringList& lines) {
        showAlert(ui::text("vaultRepairFailed.title"), lines.join(QLatin1Char('\n')));
    });
    connect(progressView_, &ProgressPanel::shownChanged, this, [this] { updateItemControls(); });
    // What a crash or power cut left half-done is set right before anything else runs.
    vault_->recoverAtStart();
}

void MainViewController::scrollToItem(const FileModelPtr& item) {
    const qsizetype row = itemModel_->rowOf(item.get());
    if (row >= 0) {
        // A list rebuilt a moment ago is laid out only later; scrolling needs its rows now.
        itemView_->doItemsLayout();
        itemView_->scrollTo(itemModel_->index(static_cast<int>(row)), QAbstractItemView::EnsureVisible);
    }
}

bool MainViewController::walkRunning() const { return vault_ && vault_->busy(); }

void MainViewController::AddFileActionForPaths(const QStringList& paths, std::function<void(bool failed)> completion) {
    if (paths.isEmpty()) {
        return;
    }
    if (QFileInfo(paths.first()).suffix().compare(QLatin1String("flp"), Qt::CaseInsensitive) == 0 &&
        QFileInfo(paths.first()).isDir()) {
        // A vault folder is opened, never added as an item.
        openDriveVaultAt(paths.first(), std::move(completion));
        return;
    }
    // What the vault holds already is left out without a word; an add of nothing says nothing.
    const QSet<QString> recorded = vault::recordedPaths(catalogue);
    QStringList kept;
    for (const QString& path : paths) {
        if (!recorded.contains(path)) {
            kept.append(path);
        }
    }
    if (kept.isEmpty()) {
        return;
    }
    if (Volumes::isOnVolume(kept.first())) {
        addToDrive(kept);
        return;
    }
    vault_->addPaths(kept, catalogue.selectGroupName, selectGroupIndex);
    emit userActionPerformed();
}

void MainViewController::visableChange(qsizetype shownRow, std::function<void()> completion) {
    const FileModelPtr item = shownRow >= 0 && shownRow < selected_ItemList.size() ? selected_ItemList[shownRow] : nullptr;
    if (!item || walkRunning()) {
        if (item) {
            setRowWalkState(item, WalkState::None);
        }
        if (completion) {
            completion();
        }
        return;
    }
    if (completion) {
        toggleCompletions_.insert(item.get(), std::move(completion));
    }
    vault_->toggle(item);
    emit userActionPerformed();
}

void MainViewController::hideAllShown() { everyShownItem(true); }

void MainViewController::unhideAllShown() { everyShownItem(false); }

void MainViewController::everyShownItem(bool hide) {
    const RowList* rows = selectedRows();
    if (rows && !walkRunning()) {
        const int which = selectionIsRemovable() ? 1 : 0;
        hide ? vault_->hideAll(*rows, which) : vault_->unhideAll(*rows, which);
    }
    // Nothing to do (or refused): the panel the menu showed goes again.
    if (!walkRunning()) {
        progressView_->removeAnimation();
    }
}

void MainViewController::hiddenAllItemFileModel(qint64 groupIndex, qint64 itemIndex) {
    if (!walkRunning()) {
        vault_->hideGroup(catalogue.groupDirList, groupIndex, itemIndex, 0);
    }
}

void MainViewController::hiddenUPAllItemFileModel(qint64 groupIndex, qint64 itemIndex) {
    RowList* rows = selectedRows();
    if (rows && selectionIsRemovable() && !walkRunning()) {
        vault_->hideGroup(*rows, groupIndex, itemIndex, 1);
    }
}

void MainViewController::encryptCancelBtnAction() {
    if (walkRunning() && progressView_->isProgressShown()) {
        // The walk stops at its next chunk and then removes what it wrote, which for a
        // large item takes a moment: the panel says at once that the click was heard.
        progressView_->showStopping();
    }
    vault_->cancelCurrent();
    QTimer::singleShot(500, this, &MainViewController::setRightScrollView);
}

}  // namespace tessaro
