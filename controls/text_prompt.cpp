#include "controls/text_prompt.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>
#include <QPushButton>
#include <QQueue>
#include <QTimer>

namespace tessaro::controls {

namespace {

QQueue<std::optional<QString>> answers;
TextPrompt::Request lastAsked;
int asked = 0;

}  // namespace

void TextPrompt::nextAnswer(std::optional<QString> text) { answers.enqueue(std::move(text)); }

void TextPrompt::reset() {
    answers.clear();
    lastAsked = {};
    asked = 0;
}

const TextPrompt::Request& TextPrompt::lastRequest() { return lastAsked; }

int TextPrompt::promptCount() { return asked; }

void TextPrompt::ask(QWidget* parent, const Request& request, std::function<void(std::optional<QString>)> done) {
    lastAsked = request;
    ++asked;
    if (!answers.isEmpty()) {
        std::optional<QString> answer = answers.dequeue();
        QTimer::singleShot(0, [done = std::move(done), answer] { done(answer); });
        return;
    }
    auto* box = new QDialog(parent);
    box->setObjectName(QStringLiteral("textPrompt"));
    // Without a title of its own the title bar names the application: the message is in the
    // dialog already, and repeated up there it was cut off in the middle.
    box->setWindowTitle(request.title);
    box->setMinimumWidth(380);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(20, 18, 20, 14);
    layout->setSpacing(10);
    auto* message = new QLabel(request.message, box);
    message->setWordWrap(true);
    QFont bold = message->font();
    bold.setBold(true);
    message->setFont(bold);
    layout->addWidget(message);
    if (!request.informativeText.isEmpty()) {
        auto* info = new QLabel(request.informativeText, box);
        info->setWordWrap(true);
        layout->addWidget(info);
    }
    auto* field = new QLineEdit(request.text, box);
    field->setObjectName(QStringLiteral("textPromptField"));
    // The field the alert has always had: 200 x 24 points.
    field->setFixedSize(200, 24);
    field->setPlaceholderText(request.placeholder);
    field->setAccessibleName(request.placeholder.isEmpty() ? request.message : request.placeholder);
    if (request.secret) {
        field->setEchoMode(QLineEdit::Password);
    }
    layout->addWidget(field);
    auto* buttons = new QDialogButtonBox(box);
    QPushButton* accept = buttons->addButton(request.defaultTitle, QDialogButtonBox::AcceptRole);
    QPushButton* decline = buttons->addButton(request.alternateTitle, QDialogButtonBox::RejectRole);
    accept->setAccessibleName(request.defaultTitle);
    decline->setAccessibleName(request.alternateTitle);
    accept->setDefault(true);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, box, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, box, &QDialog::reject);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    QObject::connect(box, &QDialog::finished, box, [field, done = std::move(done)](int result) {
        done(result == QDialog::Accepted ? std::optional<QString>(field->text()) : std::nullopt);
    });
    box->open();
    field->setFocus();
}

}  // namespace tessaro::controls
