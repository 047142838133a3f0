#include "controls/modal_seam.h"

#include "core/localized_text.h"

#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QQueue>
#include <QTimer>
#include <QVBoxLayout>

namespace tessaro::controls {

namespace {

QQueue<QMessageBox::StandardButton> answers;
QQueue<QStringList> fileNames;
ModalSeam::AlertRequest lastAlertAsked;
ModalSeam::SavePanelRequest lastPanelAsked;
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

}  // namespace

void ModalSeam::nextAnswer(QMessageBox::StandardButton button) { answers.enqueue(button); }
void ModalSeam::nextFileNames(const QStringList& paths) { fileNames.enqueue(paths); }

void ModalSeam::reset() {
    answers.clear();
    fileNames.clear();
    lastAlertAsked = {};
    lastPanelAsked = {};
    alertsAsked = 0;
}

const ModalSeam::AlertRequest& ModalSeam::lastAlert() { return lastAlertAsked; }
const ModalSeam::SavePanelRequest& ModalSeam::lastSavePanel() { return lastPanelAsked; }
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
    box->button(QMessageBox::Ok)->setText(LanguageBundle::localizedStringForKey(QStringLiteral("alert.ok")));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    QObject::connect(box, &QMessageBox::finished, box, [done = std::move(done)](int) {
        if (done) {
            done(QMessageBox::Ok);
        }
    });
    box->open();
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

}  // namespace tessaro::controls
