#pragma once

#include "core/file_model.h"

#include <QDialog>
#include <QPixmap>

class QLabel;
class QPushButton;

namespace tessaro {

// The information window of one item: its thumbnail or file-type icon, its name, its size
// text, where it lives and whether it is hidden. Fixed at 484 x 225 and titled
// "Tessaro Preview".
class FileInfoWindowController : public QDialog {
    Q_OBJECT
public:
    static constexpr int kWidth = 484;
    static constexpr int kHeight = 225;

    explicit FileInfoWindowController(QWidget* parent = nullptr);

    // Fills the values from the record: the size text, the thumbnail the vault keeps for
    // it when there is one (else the icon of its type), its path and state.
    void showItem(const FileModel& item, const QString& sizeText);

    QPixmap fileIcon;
    QString fileName;
    QString filesizeValue;
    QString filePath;
    bool isHide = false;

    // Puts the values into the controls, in the interface language.
    void windowDidLoad();

    QLabel* fileIconView() const { return fileIconView_; }
    QLabel* fileNameLabel() const { return fileNameLabel_; }
    QLabel* filesizeLabel() const { return filesizeLabel_; }
    QLabel* filesizeValueLabel() const { return filesizeValueLabel_; }
    QLabel* filePathLabel() const { return filePathLabel_; }
    QLabel* stateLabel() const { return stateLabel_; }
    QPushButton* closeButton() const { return closeButton_; }

private:
    QLabel* fileIconView_ = nullptr;
    QLabel* fileNameLabel_ = nullptr;
    QLabel* filesizeLabel_ = nullptr;
    QLabel* filesizeValueLabel_ = nullptr;
    QLabel* filePathLabel_ = nullptr;
    QLabel* stateLabel_ = nullptr;
    QPushButton* closeButton_ = nullptr;
};

}  // namespace tessaro
