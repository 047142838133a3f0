#include "controls/modal_seam.h"

#include "core/localized_text.h"

#include <QAbstractItemView>
#include <QColorDialog>
#include <QFontDialog>
#include <QDialog>
#include <QCompleter>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QQueue>
#include <QTimer>
#include <QVBoxLayout>

namespace tessaro::controls {

namespace {

QQueue<QMessageBox::StandardButton> answers;
QQueue<QStringList> fileNames;
QQueue<QFont> fonts;
QQueue<QColor> colors;
ModalSeam::AlertRequest lastAlertAsked;
ModalSeam::SavePanelRequest lastPanelAsked;
ModalSeam::OpenPanelRequest lastOpenPanelAsked;
ModalSeam::QuestionRequest lastQuestionAsked;
int alertsAsked = 0;

// A file dialog with a line of explanation above it; the platform dialogs have no place
// for one.
class SavePanel : public QDialog {
public:
    SavePanel(QWidget* parent, const ModalSeam::SavePanelRequest& request) : QDialog(parent) {
        setObjectName(QStringLiteral("savePanel"));
        setWindowTitle(request.title);
        auto* layout = new QVBoxLayout(this);
        auto* message = new QLabel(request.message, this);
        message->setObjectName(QStringLiteral("savePanelMessage"));
        message->setWordWrap(true);
        layout->addWidget(message);
        files_ = new QFileDialog(this, request.title, request.directory);
        files_->setWindowFlags(Qt::Widget);
        files_->setOption(QFileDialog::DontUseNativeDialog);
        files_->setAcceptMode(QFileDialog::AcceptSave);
        files_->setFileMode(QFileDialog::AnyFile);
        files_->selectFile(request.suggestedName);
        layout->addWidget(files_);
        connect(files_, &QFileDialog::finished, this, &QDialog::done);
        resize(720, 480);
    }
    QString chosen() const {
        const QStringList files = files_->selectedFiles();
        return files.isEmpty() ? QString() : files.first();
    }

private:
    QFileDialog* files_;
};

// The desktop's own dialogs choose either files or folders, never both at once. This one
// lets its accept button take whatever is selected, a folder included; a double click
// still opens a folder to look inside it.
class OpenPanel : public QFileDialog {
public:
    OpenPanel(QWidget* parent, const ModalSeam::OpenPanelRequest& request)
        : QFileDialog(parent, request.title, request.directory), request_(request) {
        setObjectName(QStringLiteral("openPanel"));
        setOption(QFileDialog::DontUseNativeDialog);
        setAcceptMode(QFileDialog::AcceptOpen);
        if (!request.canChooseFiles) {
            setFileMode(QFileDialog::Directory);
        } else {
            setFileMode(request.allowsMultipleSelection ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
        }
        setOption(QFileDialog::ReadOnly, !request.canCreateDirectories);
        if (!request.acceptLabel.isEmpty()) {
            setLabelText(QFileDialog::Accept, request.acceptLabel);
            keepAcceptLabel();
        }
        for (const char* name : {"fileNameEdit", "listView", "treeView"}) {
            if (QWidget* part = findChild<QWidget*>(QLatin1String(name))) {
                part->installEventFilter(this);
            }
        }
        // While the name completes, its list has the keys: Return reaches the field only
        // through the completer, past the field's filters.
        if (auto* name = findChild<QLineEdit*>(QStringLiteral("fileNameEdit")); name && name->completer()) {
            name->completer()->popup()->installEventFilter(this);
        }
        resize(760, 500);
    }

    // Return on a folder, typed or selected, goes into it, as in every file panel: a folder
    // is added only by the panel's own button, never by a key meant to look inside it.
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                auto* name = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                const bool fromCompletion = name && name->completer() && watched == name->completer()->popup();
                const QString folder = folderForReturn(fromCompletion ? name : watched);
                if (!folder.isEmpty()) {
                    if (fromCompletion) {
                        name->completer()->popup()->hide();
                    }
                    if (name) {
                        name->clear();
                    }
                    setDirectory(folder);
                    return true;
                }
            }
        }
        return QFileDialog::eventFilter(watched, event);
    }

    // What the accept button took, in the order selected.
    QStringList chosen() const { return chosen_.isEmpty() ? selectedFiles() : chosen_; }

    void accept() override {
        // What is selected in the folder on show is taken as it is, folders included. A
        // path typed to somewhere else is a place to go, not a choice: hiding a whole folder
        // because its path was typed to look inside it would be a nasty surprise.
        const QStringList files = selectedFiles();
        const QString here = QDir::cleanPath(directory().absolutePath());
        bool takeAsTheyAre = !files.isEmpty() && request_.canChooseDirectories && request_.canChooseFiles;
        for (const QString& file : files) {
            const QFileInfo info(file);
            takeAsTheyAre = takeAsTheyAre && info.exists() && QDir::cleanPath(info.absolutePath()) == here;
        }
        if (!takeAsTheyAre) {
            // The dialog's own handling: open a typed folder, refuse a name that is not there.
            QFileDialog::accept();
            return;
        }
        chosen_ = files;
        QDialog::accept();
    }

private:
    // The one folder a Return in `part` means, or an empty text.
    QString folderForReturn(QObject* part) const {
        QString typed;
        if (const auto* name = qobject_cast<const QLineEdit*>(part)) {
            typed = name->text().trimmed();
        } else if (const auto* view = qobject_cast<const QAbstractItemView*>(part); view && view->currentIndex().isValid()) {
            typed = view->currentIndex().siblingAtColumn(0).data().toString();
        }
        // Several quoted names are a choice of items, not a place to go.
        if (typed.isEmpty() || typed.startsWith(QLatin1Char('"'))) {
            return QString();
        }
        if (typed.startsWith(QLatin1String("~/")) || typed == QLatin1String("~")) {
            typed = QDir::homePath() + typed.mid(1);
        }
        const QFileInfo info(QDir(directory()).absoluteFilePath(typed));
        return info.isDir() ? QDir::cleanPath(info.absoluteFilePath()) : QString();
    }

    // With a folder selected the dialog relabels its button "Open", as if a click would
    // look inside; here it adds the folder, so the button keeps saying so.
    void keepAcceptLabel() {
        auto relabel = [this] {
            QTimer::singleShot(0, this, [this] {
                const auto* buttons = findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
                if (QPushButton* accept = buttons ? buttons->button(QDialogButtonBox::Open) : nullptr) {
                    accept->setText(request_.acceptLabel);
                }
            });
        };
        if (const auto* list = findChild<QAbstractItemView*>(QStringLiteral("listView")); list && list->selectionModel()) {
            connect(list->selectionModel(), &QItemSelectionModel::selectionChanged, this, relabel);
        }
        if (const auto* name = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
            connect(name, &QLineEdit::textChanged, this, relabel);
        }
        connect(this, &QFileDialog::directoryEntered, this, relabel);
    }

    ModalSeam::OpenPanelRequest request_;
    QStringList chosen_;
};

}  // namespace

void ModalSeam::nextAnswer(QMessageBox::StandardButton button) { answers.enqueue(button); }
void ModalSeam::nextFileNames(const QStringList& paths) { fileNames.enqueue(paths); }

void ModalSeam::nextFont(const QFont& font) { fonts.enqueue(font); }
void ModalSeam::nextColor(const QColor& color) { colors.enqueue(color); }

void ModalSeam::reset() {
    answers.clear();
    fonts.clear();
    colors.clear();
    fileNames.clear();
    lastAlertAsked = {};
    lastPanelAsked = {};
    lastOpenPanelAsked = {};
    lastQuestionAsked = {};
    alertsAsked = 0;
}

const ModalSeam::AlertRequest& ModalSeam::lastAlert() { return lastAlertAsked; }
const ModalSeam::SavePanelRequest& ModalSeam::lastSavePanel() { return lastPanelAsked; }
const ModalSeam::OpenPanelRequest& ModalSeam::lastOpenPanel() { return lastOpenPanelAsked; }
const ModalSeam::QuestionRequest& ModalSeam::lastQuestion() { return lastQuestionAsked; }
int ModalSeam::alertCount() { return alertsAsked; }

void ModalSeam::alert(QWidget* parent, const AlertRequest& request, std::function<void(QMessageBox::StandardButton)> done) {
    lastAlertAsked = request;
    ++alertsAsked;
    if (!answers.isEmpty()) {
        const QMessageBox::StandardButton answer = answers.dequeue();
        QTimer::singleShot(0, [done = std::move(done), answer] {
            if (done) {
                done(answer);
            }
        });
        return;
    }
    auto* box = new QMessageBox(QMessageBox::Warning, request.title, request.message, QMessageBox::Ok, parent);
    box->setObjectName(QStringLiteral("alert"));
    box->setInformativeText(request.informativeText);
    box->button(QMessageBox::Ok)->setText(request.buttonTitle.isEmpty()
                                              ? LanguageBundle::localizedStringForKey(QStringLiteral("alert.ok"))
                                              : request.buttonTitle);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    QObject::connect(box, &QMessageBox::finished, box, [done = std::move(done)](int) {
        if (done) {
            done(QMessageBox::Ok);
        }
    });
    box->open();
}

void ModalSeam::question(QWidget* parent, const QuestionRequest& request,
                         std::function<void(QMessageBox::StandardButton)> done) {
    lastQuestionAsked = request;
    ++alertsAsked;
    if (!answers.isEmpty()) {
        const QMessageBox::StandardButton answer = answers.dequeue();
        QTimer::singleShot(0, [done = std::move(done), answer] { done(answer); });
        return;
    }
    auto* box = new QMessageBox(QMessageBox::Question, request.title, request.message, QMessageBox::NoButton, parent);
    box->setObjectName(QStringLiteral("question"));
    box->setInformativeText(request.informativeText);
    QPushButton* risky = box->addButton(request.riskyTitle, QMessageBox::DestructiveRole);
    QPushButton* safe = box->addButton(request.safeTitle, QMessageBox::RejectRole);
    box->setDefaultButton(safe);
    box->setEscapeButton(safe);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    QObject::connect(box, &QMessageBox::finished, box, [box, risky, done = std::move(done)](int) {
        done(box->clickedButton() == risky ? QMessageBox::Yes : QMessageBox::No);
    });
    box->open();
}

void ModalSeam::fontPanel(QWidget* parent, const QFont& current, std::function<void(const QFont&)> done) {
    if (!fonts.isEmpty()) {
        const QFont answer = fonts.dequeue();
        QTimer::singleShot(0, [done = std::move(done), answer] { done(answer); });
        return;
    }
    auto* panel = new QFontDialog(current, parent);
    panel->setObjectName(QStringLiteral("fontPanel"));
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setWindowModality(Qt::WindowModal);
    QObject::connect(panel, &QFontDialog::fontSelected, panel, [done = std::move(done)](const QFont& font) { done(font); });
    panel->open();
}

void ModalSeam::colorPanel(QWidget* parent, const QColor& current, std::function<void(const QColor&)> done) {
    if (!colors.isEmpty()) {
        const QColor answer = colors.dequeue();
        QTimer::singleShot(0, [done = std::move(done), answer] {
            if (answer.isValid()) {
                done(answer);
            }
        });
        return;
    }
    auto* panel = new QColorDialog(current, parent);
    panel->setObjectName(QStringLiteral("colorPanel"));
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setWindowModality(Qt::WindowModal);
    QObject::connect(panel, &QColorDialog::colorSelected, panel, [done = std::move(done)](const QColor& color) { done(color); });
    panel->open();
}

void ModalSeam::savePanel(QWidget* parent, const SavePanelRequest& request,
                          std::function<void(std::optional<QString>)> done) {
    lastPanelAsked = request;
    if (!fileNames.isEmpty()) {
        const QStringList answer = fileNames.dequeue();
        QTimer::singleShot(0, [done = std::move(done), answer] {
            done(answer.isEmpty() ? std::nullopt : std::optional<QString>(answer.first()));
        });
        return;
    }
    auto* panel = new SavePanel(parent, request);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setWindowModality(Qt::WindowModal);
    QObject::connect(panel, &QDialog::finished, panel, [panel, done = std::move(done)](int result) {
        const QString chosen = result == QDialog::Accepted ? panel->chosen() : QString();
        done(chosen.isEmpty() ? std::nullopt : std::optional<QString>(chosen));
    });
    panel->open();
}

void ModalSeam::openPanel(QWidget* parent, const OpenPanelRequest& request,
                          std::function<void(const QStringList&)> done) {
    lastOpenPanelAsked = request;
    if (!fileNames.isEmpty()) {
        const QStringList answer = fileNames.dequeue();
        QTimer::singleShot(0, [done = std::move(done), answer] { done(answer); });
        return;
    }
    auto* panel = new OpenPanel(parent, request);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setWindowModality(Qt::WindowModal);
    QObject::connect(panel, &QDialog::finished, panel, [panel, done = std::move(done)](int result) {
        done(result == QDialog::Accepted ? panel->chosen() : QStringList());
    });
    panel->open();
}

}  // namespace tessaro::controls
