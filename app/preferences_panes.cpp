#include "app/preferences_panes.h"

#include "app/app_delegate.h"
#include "app/change_password_window.h"
#include "app/guide_view_controller.h"
#include "app/main_view_controller.h"
#include "app/ui_resources.h"
#include "controls/modal_seam.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/vault_paths.h"
#include "vault/serial_worker.h"
#include "vault/vault_controller.h"
#include "vault/vault_move.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace tessaro {

namespace {

constexpr int kMargin = 14;
constexpr int kSmallPixels = 11;
// The panel of the guide: the same title, name and folder.
constexpr char kPanelTitle[] = "My Vault";

void tell(QWidget* parent, const char* titleKey, const QString& message) {
    controls::ModalSeam::alert(parent, {ui::text(titleKey), message, QString()});
}

// The message of a move that did not happen, from the problem's key.
QString moveProblemText(const vault::MoveResult& result) {
    const char* key = "vaultMove.failed";
    switch (result.problem) {
    case vault::MoveProblem::NoVault: key = "vaultMove.noVault"; break;
    case vault::MoveProblem::NotAbsolute: key = "vaultMove.notAbsolute"; break;
    case vault::MoveProblem::InsideVault: key = "vaultMove.insideVault"; break;
    case vault::MoveProblem::NotEmpty: key = "vaultMove.notEmpty"; break;
    case vault::MoveProblem::NotWritable: key = "vaultMove.notWritable"; break;
    case vault::MoveProblem::VaultInUse: key = "vaultMove.inUse"; break;
    case vault::MoveProblem::UnfinishedWork: key = "vaultMove.unfinished"; break;
    case vault::MoveProblem::Cancelled: key = "vaultMove.cancelled"; break;
    case vault::MoveProblem::SettingsNotWritten: key = "vaultMove.settingsNotWritten"; break;
    case vault::MoveProblem::CopyFailed:
    case vault::MoveProblem::None: break;
    }
    return ui::text(key).arg(result.detail);
}

// Work of the open vault that a move must not overlap: a walk, or catalogue writes on
// their way to the old place.
bool vaultIsBusy() {
    AppDelegate* delegate = AppDelegate::sharedAppDelegate();
    MainViewController* main = delegate ? delegate->mainView() : nullptr;
    vault::VaultController* vault = main ? main->vaultController() : nullptr;
    return vault && (vault->busy() || vault->savesPending());
}

}  // namespace

// --- the shared pieces -------------------------------------------------------------------

PreferencePane::PreferencePane(QWidget* parent) : QWidget(parent) {}

// Settings that no part of this version acts on stay visible with their stored value but
// cannot be changed: a box such as "erase securely" must never look as if it were done.
void markForLaterVersion(QWidget* control, const char* settingKey) {
    const settings::KeyEntry* entry = SettingsStore::entryFor(QString::fromLatin1(settingKey));
    if (entry && entry->storedOnly) {
        control->setEnabled(false);
        control->setToolTip(ui::text("prefs.laterVersion"));
        control->setAccessibleDescription(control->toolTip());
    }
}

QCheckBox* PreferencePane::checkBox(const char* textKey, const char* settingKey) {
    auto* box = new QCheckBox(ui::text(textKey), this);
    box->setAccessibleName(box->text());
    box->setChecked(SettingsStore::flag(settingKey));
    markForLaterVersion(box, settingKey);
    connect(box, &QCheckBox::clicked, this, [this, box, settingKey](bool on) {
        if (!SettingsStore::setFlag(settingKey, on)) {
            box->setChecked(SettingsStore::flag(settingKey));
            notWritten();
        }
    });
    return box;
}

QComboBox* PreferencePane::popUp(const char* itemKeyPrefix, int items, const char* settingKey, const char* nameKey) {
    auto* menu = new QComboBox(this);
    for (int i = 0; i < items; ++i) {
        menu->addItem(ui::text((QByteArray(itemKeyPrefix) + QByteArray::number(i)).constData()));
    }
    menu->setAccessibleName(ui::text(nameKey).remove(QLatin1Char(':')).remove(QChar(0xFF1A)).trimmed());
    menu->setCurrentIndex(SettingsStore::choice(settingKey));
    markForLaterVersion(menu, settingKey);
    // `activated` only: a change made by the program (above) is no choice of the user's.
    connect(menu, &QComboBox::activated, this, [this, menu, settingKey](int index) {
        if (!SettingsStore::setChoice(settingKey, index)) {
            menu->setCurrentIndex(SettingsStore::choice(settingKey));
            notWritten();
        }
    });
    return menu;
}

QLabel* PreferencePane::label(const char* textKey, bool small) {
    auto* text = new QLabel(ui::text(textKey), this);
    text->setWordWrap(small);
    if (small) {
        QFont font = text->font();
        font.setPixelSize(kSmallPixels);
        text->setFont(font);
        text->setForegroundRole(QPalette::PlaceholderText);
    }
    return text;
}

void PreferencePane::notWritten() { tell(this, "prefs.notWritten.title", ui::text("prefs.notWritten.message").arg(SettingsStore::filePath())); }

// --- General -----------------------------------------------------------------------------

GeneralViewController::GeneralViewController(QWidget* parent) : PreferencePane(parent) {
    setObjectName(QStringLiteral("GeneralViewController"));
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(kMargin, 10, kMargin, 8);
    grid->setVerticalSpacing(3);
    grid->setColumnStretch(1, 1);
    idle_ = popUp("general_p1_item", 5, keys::kTESSAROWHENIDLE, "general_descTitleLabel1");
    quit_ = popUp("general_p2_item", 3, keys::kWhenquittingTessaro, "general_descTitleLabel2");
    idle_->setAccessibleDescription(ui::text("general_descLabel1"));
    quit_->setAccessibleDescription(ui::text("general_descLabel2"));
    grid->addWidget(label("general_descTitleLabel1"), 0, 0, Qt::AlignRight);
    grid->addWidget(idle_, 0, 1, Qt::AlignLeft);
    grid->addWidget(label("general_descLabel1", true), 1, 1);
    grid->addWidget(label("general_descTitleLabel2"), 2, 0, Qt::AlignRight);
    grid->addWidget(quit_, 2, 1, Qt::AlignLeft);
    grid->addWidget(label("general_descLabel2", true), 3, 1);
    boxes_[0] = checkBox("general_checkBox1", keys::USEMENUBARASSISTANT);
    boxes_[1] = checkBox("general_checkBox2", keys::kLAUNCHASSISTANTONLOGIN);
    boxes_[2] = checkBox("general_checkBox3", keys::kSENDANONYMOUSUSAGEDATATOKALDERA);
    boxes_[3] = checkBox("prefs.lockWithSession", keys::kLOCKWITHSESSION);
    boxes_[3]->setAccessibleDescription(ui::text("prefs.lockWithSession.description"));
    for (int i = 0; i < 4; ++i) {
        grid->addWidget(boxes_[i], 4 + i, 1);
    }
    grid->setRowStretch(8, 1);
    setTabOrder(idle_, quit_);
    setTabOrder(quit_, boxes_[0]);
    for (int i = 0; i < 3; ++i) {
        setTabOrder(boxes_[i], boxes_[i + 1]);
    }
}

// --- Password ----------------------------------------------------------------------------

PasswordViewController::PasswordViewController(QWidget* parent) : PreferencePane(parent) {
    setObjectName(QStringLiteral("PasswordViewController"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(kMargin + 40, 18, kMargin + 40, 10);
    backUp_ = checkBox("password_checkBox1", keys::kBackUptessaro);
    column->addWidget(backUp_);
    column->addWidget(label("password_descLabel", true));
    column->addSpacing(10);
    change_ = new QPushButton(ui::text("password_ChangeBtn.stringvalue"), this);
    change_->setAccessibleName(change_->text().remove(QChar(0x2026)).trimmed());
    connect(change_, &QPushButton::clicked, this, [this] { showChangePassword(window(), std::nullopt); });
    column->addWidget(change_, 0, Qt::AlignLeft);
    column->addStretch(1);
    setTabOrder(backUp_, change_);
}

// --- Shortcuts ---------------------------------------------------------------------------

ShortcutsViewController::ShortcutsViewController(QWidget* parent) : PreferencePane(parent) {
    setObjectName(QStringLiteral("ShortcutsViewController"));
    auto* column = new QVBoxLayout(this);
    QLabel* note = label("prefs.shortcuts.note", true);
    note->setAlignment(Qt::AlignCenter);
    column->addWidget(note);
}

// --- Advanced ----------------------------------------------------------------------------

AdvancedViewController::AdvancedViewController(QWidget* parent) : PreferencePane(parent) {
    setObjectName(QStringLiteral("AdvancedViewController"));
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(kMargin, 10, kMargin, 8);
    grid->setVerticalSpacing(3);
    grid->setColumnStretch(1, 1);
    boxes_[0] = checkBox("advanced_CheckBox1", keys::kEraseremainingfiledatasecurelyafterhiding);
    erase_ = popUp("advanced_Item", 3, keys::Secureerasemethod, "advanced_descTitleLabel2");
    boxes_[1] = checkBox("advanced_CheckBox2", keys::Whenunhidingviamenubarassistant);
    boxes_[2] = checkBox("advanced_CheckBox3", keys::WhenunhidingfromTessaroMainWindow);
    grid->addWidget(label("advanced_descTitleLabel1"), 0, 0, Qt::AlignRight);
    grid->addWidget(boxes_[0], 0, 1);
    grid->addWidget(label("advanced_descTitleLabel2"), 1, 0, Qt::AlignRight);
    grid->addWidget(erase_, 1, 1, Qt::AlignLeft);
    grid->addWidget(label("advanced_descTitleLabel3"), 2, 0, Qt::AlignRight);
    grid->addWidget(boxes_[1], 2, 1);
    grid->addWidget(boxes_[2], 3, 1);

    grid->addWidget(label("advanced_descLabel"), 4, 0, Qt::AlignRight | Qt::AlignTop);
    path_ = new QLabel(vaultpaths::AppRootDirKey(), this);
    path_->setWordWrap(true);
    path_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    path_->setAccessibleName(ui::text("advanced_descLabel").remove(QLatin1Char(':')).remove(QChar(0xFF1A)).trimmed());
    QFont small = path_->font();
    small.setPixelSize(kSmallPixels);
    path_->setFont(small);
    grid->addWidget(path_, 4, 1);

    auto* row = new QHBoxLayout;
    changePath_ = new QPushButton(ui::text("changePathBtn.stringValue"), this);
    changePath_->setAccessibleName(changePath_->text().remove(QChar(0x2026)).trimmed());
    changePath_->setAccessibleDescription(ui::text("prefs.changePath.description"));
    progress_ = new QProgressBar(this);
    progress_->setRange(0, 1000);
    progress_->setTextVisible(false);
    progress_->setAccessibleName(ui::text("prefs.moveProgress"));
    cancelMove_ = new QPushButton(ui::text("alert.cancel"), this);
    cancelMove_->setAccessibleName(ui::text("prefs.cancelMove"));
    row->addWidget(changePath_);
    row->addWidget(progress_, 1);
    row->addWidget(cancelMove_);
    row->addStretch(0);
    grid->addLayout(row, 5, 1);
    grid->setRowStretch(6, 1);
    showMoving(false);

    connect(changePath_, &QPushButton::clicked, this, &AdvancedViewController::changeVaultPathAction);
    connect(cancelMove_, &QPushButton::clicked, this, [this] { cancelMove({}); });
    setTabOrder(boxes_[0], erase_);
    setTabOrder(erase_, boxes_[1]);
    setTabOrder(boxes_[1], boxes_[2]);
    setTabOrder(boxes_[2], changePath_);
    setTabOrder(changePath_, cancelMove_);
}

AdvancedViewController::~AdvancedViewController() {
    if (cancel_) {
        *cancel_ = true;
    }
    worker_.reset();  // waits for the move to wind down: its copy is removed, nothing is half done
}

void AdvancedViewController::showMoving(bool moving) {
    changePath_->setVisible(!moving);
    progress_->setVisible(moving);
    cancelMove_->setVisible(moving);
}

void AdvancedViewController::changeVaultPathAction() {
    if (isMoving()) {
        return;
    }
    controls::ModalSeam::savePanel(this,
                                   {QString::fromLatin1(kPanelTitle), ui::text("prefs.moveVault.panelMessage"),
                                    GuideViewController::videosFolder(), QString::fromLatin1(kPanelTitle)},
                                   [guard = QPointer<AdvancedViewController>(this)](std::optional<QString> chosen) {
                                       if (guard && chosen) {
                                           guard->moveVaultTo(*chosen);
                                       }
                                   });
}

void AdvancedViewController::moveVaultTo(const QString& destination) {
    if (isMoving()) {
        return;
    }
    if (vaultIsBusy()) {
        tell(this, "vaultMove.title", ui::text("vaultMove.busy"));
        return;
    }
    // The quick refusals at once, before anything is shown moving.
    const vault::MoveResult check = vault::checkMoveDestination(vaultpaths::AppRootDirKey(), destination);
    if (check.problem != vault::MoveProblem::None) {
        tell(this, "vaultMove.title", moveProblemText(check));
        return;
    }
    cancel_ = std::make_shared<std::atomic<bool>>(false);
    worker_ = std::make_unique<vault::SerialWorker>();
    progress_->setValue(0);
    showMoving(true);
    cancelMove_->setFocus();
    emit movingChanged(true);
    QPointer<AdvancedViewController> self(this);
    worker_->submit([self, destination, cancel = cancel_] {
        vault::MoveOptions options;
        options.cancel = cancel.get();
        options.progress = [self](qint64 done, qint64 total) {
            const int permille = total > 0 ? static_cast<int>(done * 1000 / total) : 0;
            vault::SerialWorker::post(self, [self, permille] { self->progress_->setValue(permille); });
        };
        const vault::MoveResult result = vault::moveVault(destination, options);
        vault::SerialWorker::post(self, [self, result] { self->moveEnded(result); });
    });
}

void AdvancedViewController::cancelMove(std::function<void()> done) {
    if (!isMoving()) {
        if (done) {
            done();
        }
        return;
    }
    *cancel_ = true;
    cancelMove_->setEnabled(false);
    afterMove_ = std::move(done);
}

void AdvancedViewController::moveEnded(const vault::MoveResult& result) {
    // The job has posted its last step; the worker's thread ends here.
    worker_.reset();
    cancel_.reset();
    showMoving(false);
    cancelMove_->setEnabled(true);
    path_->setText(vaultpaths::AppRootDirKey());
    emit movingChanged(false);
    if (auto after = std::exchange(afterMove_, {})) {
        after();
        return;
    }
    if (result.moved) {
        const QString message = result.leftBehind.isEmpty()
                                    ? ui::text("vaultMove.done").arg(result.newRoot)
                                    : ui::text("vaultMove.doneLeftBehind").arg(result.newRoot, result.leftBehind);
        const QString root = result.newRoot;
        controls::ModalSeam::alert(this, {ui::text("vaultMove.doneTitle"), message, QString()},
                                   [self = QPointer<AdvancedViewController>(this), root](QMessageBox::StandardButton) {
                                       if (self) {
                                           emit self->vaultMoved(root);
                                       }
                                   });
        return;
    }
    if (result.problem != vault::MoveProblem::Cancelled) {
        tell(this, "vaultMove.title", moveProblemText(result));
    }
}

}  // namespace tessaro
