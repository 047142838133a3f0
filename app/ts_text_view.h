#pragma once

#include <QTextEdit>

#include <functional>

namespace tessaro {

// The notes editor: rich text with the Format menu's commands. Each command acts on the
// selection, or on what is typed next when nothing is selected.
class TSTextView : public QTextEdit {
    Q_OBJECT
public:
    explicit TSTextView(QWidget* parent = nullptr);

    // Run after a change made through the font (colour) panel has reached the text.
    std::function<void()> changeFontBlock;
    std::function<void()> changeColorBlock;

    // The whole text's alignment.
    void contentAlignLeft();
    void contentAlignCenter();
    void contentAlignRight();
    // Flip the attribute over the selection: set when any of it lacks it, else cleared.
    void BlodFontAction();
    void ItalicFontAction();
    void UnderLineAction();
    // One point larger (smaller), each run keeping its own size; never below 6 points.
    void BiggerAction();
    void SmallerAction();
    // The font and colour panels, through the modal seam.
    void orderFrontFontPanel();
    void orderFrontColorPanel();

    void changeFont(const QFont& font);
    void changeColor(const QColor& color);

signals:
    // A paste or drop held pictures, which a note cannot keep: nothing was inserted.
    void picturesRefused();

protected:
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    void alignAll(Qt::Alignment alignment);
    void mergeFormat(const QTextCharFormat& format);
    void resizeBy(qreal points);
    bool selectionHas(const std::function<bool(const QTextCharFormat&)>& test) const;
};

}  // namespace tessaro
