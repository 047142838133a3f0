#include "app/file_info_window.h"

#include "app/modal_window.h"
#include "app/ui_resources.h"
#include "crypto/help_class.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QImageReader>
#include <QLabel>
#include <QMimeDatabase>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace tessaro {

namespace {

constexpr int kIconSide = 96;

// The thumbnail file lies in the vault, which is untrusted input like everything read from
// it: only a regular file is read, and the reader decodes it straight to icon size, so a
// crafted picture of huge dimensions cannot claim the memory of its full size.
QPixmap thumbnailOf(const FileModel& item) {
    if (item.path.isEmpty()) {
        return {};
    }
    const QString directory = item.groupName.section(QLatin1Char('/'), -1);
    const QString path = HelpClass::getFileThumbImagePath(item.path, directory);
    const QFileInfo info(path);
    if (path.isEmpty() || !info.isFile() || info.isSymLink()) {
        return {};
    }
    QImageReader reader(path);
    const QSize size = reader.size();
    if (size.isValid() && (size.width() > kIconSide || size.height() > kIconSide)) {
        reader.setScaledSize(size.scaled(kIconSide * 2, kIconSide * 2, Qt::KeepAspectRatio));
    }
    const QImage image = reader.read();
    return image.isNull() ? QPixmap() : QPixmap::fromImage(image);
}

// The desktop's icon of the item's type, judged by its name alone: the path may no longer
// exist (a hidden item) or may be something that must not be opened to look at it.
QPixmap typeIconOf(const FileModel& item) {
    const QString suffix = QFileInfo(item.name).suffix();
    QIcon icon;
    if (!suffix.isEmpty()) {
        static const QMimeDatabase mimes;
        const QMimeType type = mimes.mimeTypeForFile(item.name, QMimeDatabase::MatchExtension);
        icon = QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName()));
    }
    if (icon.isNull()) {
        icon = ui::picture(suffix.isEmpty() ? QStringLiteral("About/GenericFolder.png")
                                            : QStringLiteral("About/GenericFile.png"));
    }
    return icon.pixmap(kIconSide, kIconSide);
}

QLabel* makeLabel(QWidget* parent, const char* objectName) {
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(objectName));
    return label;
}

}  // namespace

FileInfoWindowController::FileInfoWindowController(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FileInfoWindowController"));
    setWindowTitle(QStringLiteral("Tessaro Preview"));
    setFixedSize(kWidth, kHeight);
    setWindowOpacity(1.0);
    setStyleSheet(QStringLiteral(
        "QDialog#FileInfoWindowController { background: #ffffff; }"
        "QLabel#fileNameLabel { font-weight: 600; color: #2c2c2f; }"
        "QLabel#filesizeLabel, QLabel#filePathCaption { color: #787a82; }"
        "QLabel#filePathLabel { color: #2c2c2f; }"
        "QLabel#stateLabel { border-radius: 8px; padding: 2px 10px; }"
        "QLabel#stateLabel[hidden=\"true\"] { background: #E3F4F1; color: #0E7C74; }"
        "QLabel#stateLabel[hidden=\"false\"] { background: #f1f3f7; color: #55575e; }"));

    fileIconView_ = makeLabel(this, "fileIconView");
    fileIconView_->setFixedSize(kIconSide, kIconSide);
    fileIconView_->setAlignment(Qt::AlignCenter);
    fileNameLabel_ = makeLabel(this, "fileNameLabel");
    QFont nameFont = fileNameLabel_->font();
    nameFont.setPointSizeF(nameFont.pointSizeF() * 1.25);
    fileNameLabel_->setFont(nameFont);
    filesizeLabel_ = makeLabel(this, "filesizeLabel");
    filesizeValueLabel_ = makeLabel(this, "filesizeValueLabel");
    filePathLabel_ = makeLabel(this, "filePathLabel");
    filePathLabel_->setWordWrap(true);
    // A path is often wanted elsewhere: it can be selected and copied.
    filePathLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    stateLabel_ = makeLabel(this, "stateLabel");
    closeButton_ = new QPushButton(this);
    closeButton_->setObjectName(QStringLiteral("fileInfoCloseButton"));
    closeButton_->setDefault(true);
    connect(closeButton_, &QPushButton::clicked, this, &QDialog::accept);

    auto* sizeRow = new QHBoxLayout;
    sizeRow->setSpacing(6);
    sizeRow->addWidget(filesizeLabel_);
    sizeRow->addWidget(filesizeValueLabel_, 1);
    auto* stateRow = new QHBoxLayout;
    stateRow->addWidget(stateLabel_);
    stateRow->addStretch(1);
    stateRow->addWidget(closeButton_);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(6);
    texts->addWidget(fileNameLabel_);
    texts->addLayout(sizeRow);
    texts->addWidget(filePathLabel_, 1, Qt::AlignTop);
    texts->addLayout(stateRow);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 16);
    layout->setSpacing(18);
    layout->addWidget(fileIconView_, 0, Qt::AlignTop);
    layout->addLayout(texts, 1);
    setTabOrder(filePathLabel_, closeButton_);
    relabelOnLanguageChange(this, [this] { windowDidLoad(); });
}

void FileInfoWindowController::showItem(const FileModel& item, const QString& sizeText) {
    filesizeValue = sizeText;
    fileName = item.name;
    isHide = item.isEncrtypt;
    fileIcon = thumbnailOf(item);
    if (fileIcon.isNull()) {
        fileIcon = typeIconOf(item);
    }
    filePath = item.path;
    windowDidLoad();
}

void FileInfoWindowController::windowDidLoad() {
    fileIconView_->setPixmap(fileIcon.scaled(kIconSide, kIconSide, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    // Names and paths are the user's own text: shown as they are, never as markup.
    for (QLabel* label : {fileNameLabel_, filesizeValueLabel_, filePathLabel_}) {
        label->setTextFormat(Qt::PlainText);
    }
    fileNameLabel_->setText(fileNameLabel_->fontMetrics().elidedText(fileName, Qt::ElideMiddle, kWidth - kIconSide - 90));
    fileNameLabel_->setToolTip(fileName);
    filesizeLabel_->setText(ui::text("fileInfo.size"));
    filesizeValueLabel_->setText(filesizeValue);
    filePathLabel_->setText(filePath);
    stateLabel_->setText(ui::text(isHide ? "hideState.text" : "unhideState.text"));
    stateLabel_->setProperty("hidden", isHide);
    stateLabel_->style()->unpolish(stateLabel_);
    stateLabel_->style()->polish(stateLabel_);
    closeButton_->setText(ui::text("fileInfo.close"));

    fileIconView_->setAccessibleName(ui::text("fileInfo.icon.accessibleName"));
    fileNameLabel_->setAccessibleName(fileName);
    filesizeValueLabel_->setAccessibleName(filesizeLabel_->text() + QLatin1Char(' ') + filesizeValue);
    filePathLabel_->setAccessibleName(ui::text("fileInfo.path.accessibleName"));
    filePathLabel_->setAccessibleDescription(filePath);
    stateLabel_->setAccessibleName(stateLabel_->text());
    closeButton_->setAccessibleName(closeButton_->text());
}

}  // namespace tessaro
