// Vaults on removable drives, as the window offers them: the Drive Vault button, opening a
// vault (with the password prompt when the vault is not this machine's), adding items that
// lie on a drive, and what a mount or an unmount changes in the sidebar. The library
// (vault/drive_vaults) decides; this file asks the user and shows the outcome.
#include "app/main_view_controller.h"

#include "app/ui_resources.h"
#include "controls/modal_seam.h"
#include "controls/text_prompt.h"
#include "core/log.h"
#include "core/log_lines.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/volume_monitor.h"
#include "core/volumes.h"
#include "vault/drive_vaults.h"
#include "vault/vault_controller.h"

#include <QApplication>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>

namespace tessaro {

namespace {

QString localKey() { return QString::fromLatin1(kLocalListKey); }
QString notesKey() { return QString::fromLatin1(kNotesListKey); }

QString currentPassword() { return SettingsStore::stringValue(QString::fromLatin1(keys::kSOUREPASSWORD)); }

constexpr int kAddAfterPanelMs = 500;
constexpr char kOtherButtonClicked[] = "otherButton clicked!";
constexpr char kAddFlpToApp[] = "add flp to app";

QPointer<VolumeMonitor> givenMonitor;

}  // namespace

void MainViewController::setVolumeMonitor(VolumeMonitor* monitor) { givenMonitor = monitor; }

VolumeMonitor* MainViewController::volumeMonitor() {
    if (!givenMonitor) {
        // One for the whole run: the drive table outlives every lock, and so do its events.
        givenMonitor = new LinuxVolumeMonitor(qApp);
    }
    return givenMonitor;
}

void MainViewController::addUSBNotification() {
    VolumeMonitor* monitor = volumeMonitor();
    connect(monitor, &VolumeMonitor::volumeMounted, this,
            [this](const MountedVolume& volume) { deviceMounted(volume, true); });
    connect(monitor, &VolumeMonitor::volumeUnmounted, this,
            [this](const MountedVolume& volume) { deviceMounted(volume, false); });
}

void MainViewController::closeForeignDriveVaults(const QStringList& trusted) {
    // "KUPNAMES" only names vaults: a drive of the same name from someone else would open
    // without its password. What was not made here under this password waits for the
    // Drive Vault button or the next mount, which ask.
    bool closed = false;
    const QString password = currentPassword();
    for (auto it = catalogue.UPLibrary.begin(); it != catalogue.UPLibrary.end();) {
        if (trusted.contains(it.key()) || vault::driveVaultIsOurs(it.value(), password)) {
            ++it;
        } else {
            logLine(QStringLiteral("drive vault %1 waits for its password").arg(it.key()));
            it = catalogue.UPLibrary.erase(it);
            closed = true;
        }
    }
    if (closed) {
        setLeftScrollView();
    }
}

void MainViewController::deviceMounted(const MountedVolume& volume, bool mounted) {
    if (!mounted) {
        logLine(QString::fromUtf8(loglines::kVolumeUnmounted).arg(volume.mountPoint));
        // Closing touches nothing on the drive; its rows simply leave the window.
        vault::closeUnmountedVaults(catalogue, vault::driveVaultMounted);
        selectGroupIndex = 1;
        catalogue.selectGroupName = localKey();
        QTimer::singleShot(0, this, &MainViewController::setLeftScrollView);
        return;
    }
    logLine(QString::fromUtf8(loglines::kVolumeMounted).arg(volume.mountPoint));
    Volumes::makeTopDirectoryExecutable(volume.mountPoint);
    logLine(QString::fromUtf8(loglines::kVolumePath).arg(volume.mountPoint));
    const QStringList offered = vault::vaultsToOffer(volume.mountPoint, volume.name, catalogue.UPLibrary.keys());
    if (!offered.isEmpty()) {
        // The first one opens; a second vault on the drive is opened with the Drive Vault button.
        openDriveVaultAt(offered.first(), {});
    }
}

void MainViewController::addGroupBtnAction() {
    logLine(QString::fromLatin1(kAddFlpToApp));
    addGroupDebounce_.start();
}

void MainViewController::addGroupAction() {
    controls::ModalSeam::OpenPanelRequest request;
    request.title = ui::text("openVaultPanel.title");
    request.directory = Volumes::root();
    request.acceptLabel = ui::text("openVaultPanel.choose");
    QPointer<MainViewController> self(this);
    controls::ModalSeam::openPanel(this, request, [self](const QStringList& paths) {
        if (!self || paths.isEmpty()) {
            return;
        }
        QTimer::singleShot(kAddAfterPanelMs, self, [self, paths] { self->AddFileActionForPaths(paths); });
        emit self->userActionPerformed();
    });
}

void MainViewController::openDriveVaultAt(const QString& path, std::function<void(bool failed)> completion) {
    auto finish = [completion](bool failed) {
        if (completion) {
            completion(failed);
        }
    };
    const vault::DriveOpening opening = vault::openDriveVault(path, currentPassword());
    switch (opening.status) {
    case vault::DriveOpening::Status::Opened:
        vault::enterDriveVault(catalogue, opening);
        setLeftScrollView();
        finish(false);
        return;
    case vault::DriveOpening::Status::NotMounted:
        // Nothing was opened: whoever waits for the vault must not go on as if it were.
        setLeftScrollView();
        finish(true);
        return;
    case vault::DriveOpening::Status::Refused:
    case vault::DriveOpening::Status::WrongPassword:
        showAlert(ui::text("driveVault.refused.title"), opening.reason);
        finish(true);
        return;
    case vault::DriveOpening::Status::NeedsPassword: break;
    }
    controls::TextPrompt::Request request;
    request.message = ui::text("passordMessage");
    request.informativeText = opening.vault.key();
    request.defaultTitle = ui::text("addFristBtn.string");
    request.alternateTitle = ui::text("addSecondBtn.string");
    request.placeholder = ui::text("clickPassword");
    request.secret = true;
    QPointer<MainViewController> self(this);
    controls::TextPrompt::ask(this, request, [self, path, finish](std::optional<QString> typed) {
        if (!self || !typed) {
            finish(true);
            return;
        }
        const vault::DriveOpening second = vault::openDriveVault(path, currentPassword(), *typed);
        if (second.status == vault::DriveOpening::Status::Opened) {
            vault::enterDriveVault(self->catalogue, second);
            self->setLeftScrollView();
            finish(false);
            return;
        }
        if (second.status == vault::DriveOpening::Status::WrongPassword) {
            controls::ModalSeam::AlertRequest alert;
            alert.message = ui::text("passworderror");
            alert.buttonTitle = ui::text("addFristBtn.string");
            controls::ModalSeam::alert(self, alert);
        } else if (second.status == vault::DriveOpening::Status::Refused) {
            self->showAlert(ui::text("driveVault.refused.title"), second.reason);
        }
        finish(true);
    });
}

void MainViewController::addToDrive(const QStringList& paths) {
    const QString volume = Volumes::volumeNameOf(paths.first());
    const QString selected = catalogue.selectGroupName;
    const bool driveSelected = selected != localKey() && selected != notesKey() && catalogue.UPLibrary.contains(selected);
    if (driveSelected && selected.section(QLatin1Char('/'), 0, 0) != volume) {
        // Records here, containers there: one pulled drive would strand the other half.
        showAlert(ui::text("driveVault.otherVolume.title"),
                  ui::text("driveVault.otherVolume.message").arg(selected.section(QLatin1Char('/'), 0, 0), volume));
        return;
    }
    if (driveSelected) {
        vault_->addPaths(paths, selected, selectGroupIndex);
        emit userActionPerformed();
        return;
    }
    // The vault of that drive that is open already, if any, or the name the prompt proposes.
    QString directory = QStringLiteral("Vault.flp");
    for (const QString& key : catalogue.UPLibrary.keys()) {
        if (key.section(QLatin1Char('/'), 0, 0) == volume && vault::driveVaultMounted(key)) {
            catalogue.selectGroupName = key;
            selectGroupIndex = 1;
            vault_->addPaths(paths, key, 1);
            setLeftScrollView();
            emit userActionPerformed();
            return;
        }
    }
    const std::optional<vault::DriveVault> proposed = vault::driveVaultAt(volume + QLatin1Char('/') + directory);
    const bool existing = proposed && QFileInfo::exists(proposed->path());
    controls::ModalSeam::QuestionRequest question;
    question.message = ui::text(existing ? "addMessage1.string" : "addMessage.string").arg(volume);
    question.informativeText = ui::text("addInfomation.string");
    question.riskyTitle = ui::text(existing ? "Newlybuild.string" : "addFristBtn.string");
    question.safeTitle = ui::text(existing ? "Selectexisting.string" : "addSecondBtn.string");
    QPointer<MainViewController> self(this);
    controls::ModalSeam::question(this, question, [self, paths, volume, existing](QMessageBox::StandardButton answer) {
        if (!self) {
            return;
        }
        if (answer == QMessageBox::Yes) {
            self->askDriveVaultName(volume, paths);
            return;
        }
        if (existing) {
            self->chooseExistingDriveVault(volume, paths);
        }
        logLine(QString::fromLatin1(kOtherButtonClicked));
    });
}

void MainViewController::chooseExistingDriveVault(const QString& volume, const QStringList& paths) {
    controls::ModalSeam::OpenPanelRequest request;
    request.title = ui::text("selectsecurityMessage");
    request.directory = Volumes::pathFor(volume);
    request.acceptLabel = ui::text("openVaultPanel.choose");
    request.allowsMultipleSelection = false;
    QPointer<MainViewController> self(this);
    controls::ModalSeam::openPanel(this, request, [self, paths](const QStringList& picked) {
        if (!self || picked.isEmpty()) {
            return;
        }
        const std::optional<vault::DriveVault> vault = vault::driveVaultAt(picked.last());
        self->openDriveVaultAt(picked.first(), [self, paths, vault](bool failed) {
            if (!self || failed || !vault) {
                return;
            }
            self->catalogue.selectGroupName = vault->key();
            self->selectGroupIndex = 1;
            self->AddFileActionForPaths(paths);
        });
    });
}

void MainViewController::askDriveVaultName(const QString& volume, const QStringList& paths) {
    controls::TextPrompt::Request request;
    request.message = ui::text("createFolderMessage");
    request.defaultTitle = ui::text("addFristBtn.string");
    request.alternateTitle = ui::text("addSecondBtn.string");
    request.placeholder = ui::text("clickvaultName");
    QPointer<MainViewController> self(this);
    controls::TextPrompt::ask(this, request, [self, volume, paths](std::optional<QString> typed) {
        if (!self || !typed) {
            return;
        }
        const QString name = vault::driveVaultName(*typed);
        const QString key = volume + QLatin1Char('/') + name;
        auto addInto = [self, paths, key] {
            self->catalogue.selectGroupName = key;
            self->selectGroupIndex = 1;
            self->vault_->addPaths(paths, key, 1);
            self->setLeftScrollView();
            emit self->userActionPerformed();
        };
        if (self->catalogue.UPLibrary.contains(key)) {
            addInto();
            return;
        }
        const std::optional<vault::DriveVault> vault = vault::driveVaultAt(key);
        if (vault && QFileInfo::exists(vault->path())) {
            // A folder of that name is there already: it is opened as it is, with its own
            // password check, never overwritten by a new catalogue.
            self->openDriveVaultAt(vault->path(), [self, addInto](bool failed) {
                if (self && !failed) {
                    addInto();
                }
            });
            return;
        }
        // The selection names the new vault while its catalogue is first written.
        const QString before = self->catalogue.selectGroupName;
        self->catalogue.selectGroupName = key;
        const vault::DriveCreation made = vault::createDriveVault(self->catalogue, volume, name);
        if (!made.created) {
            self->catalogue.selectGroupName = before;
            self->showAlert(ui::text("driveVault.createFailed.title"), made.reason);
            return;
        }
        addInto();
    });
}

}  // namespace tessaro
