#include "app/ts_text_view.h"

#include "controls/modal_seam.h"

#include <QMimeData>
#include <QPointer>
#include <QTextBlock>
#include <QTextCursor>

namespace tessaro {

namespace {

constexpr qreal kSmallestPointSize = 6;
constexpr qreal kDefaultPointSize = 13;

// Pictures arrive as image data or as HTML that refers to them; either would be lost on
// the next save, since a note keeps text only.
bool holdsPictures(const QMimeData* source) {
    if (source->hasImage()) {
        return true;
    }
    return source->hasHtml() && source->html().contains(QLatin1String("<img"), Qt::CaseInsensitive);
}

}  // namespace

TSTextView::TSTextView(QWidget* parent) : QTextEdit(parent) {
    setObjectName(QStringLiteral("noteFileContentTextView"));
    setAcceptRichText(true);
    QFont base = font();
    base.setPointSizeF(kDefaultPointSize);
    document()->setDefaultFont(base);
}

void TSTextView::alignAll(Qt::Alignment alignment) {
    QTextCursor cursor(document());
    cursor.select(QTextCursor::Document);
    QTextBlockFormat format;
    format.setAlignment(alignment);
    cursor.mergeBlockFormat(format);
}

void TSTextView::contentAlignLeft() { alignAll(Qt::AlignLeft); }
void TSTextView::contentAlignCenter() { alignAll(Qt::AlignHCenter); }
void TSTextView::contentAlignRight() { alignAll(Qt::AlignRight); }

void TSTextView::mergeFormat(const QTextCharFormat& format) {
    QTextCursor cursor = textCursor();
    if (cursor.hasSelection()) {
        cursor.mergeCharFormat(format);
    }
    mergeCurrentCharFormat(format);
}

bool TSTextView::selectionHas(const std::function<bool(const QTextCharFormat&)>& test) const {
    const QTextCursor cursor = textCursor();
    if (!cursor.hasSelection()) {
        return test(currentCharFormat());
    }
    // Every character of the selection, one at a time: a cursor's format only tells the
    // character before its position.
    QTextCursor probe(document());
    for (int at = cursor.selectionStart() + 1; at <= cursor.selectionEnd(); ++at) {
        probe.setPosition(at);
        if (!test(probe.charFormat())) {
            return false;
        }
    }
    return true;
}

void TSTextView::BlodFontAction() {
    QTextCharFormat format;
    const bool all = selectionHas([](const QTextCharFormat& f) { return f.fontWeight() >= QFont::Bold; });
    format.setFontWeight(all ? QFont::Normal : QFont::Bold);
    mergeFormat(format);
}

void TSTextView::ItalicFontAction() {
    QTextCharFormat format;
    format.setFontItalic(!selectionHas([](const QTextCharFormat& f) { return f.fontItalic(); }));
    mergeFormat(format);
}

void TSTextView::UnderLineAction() {
    QTextCharFormat format;
    format.setFontUnderline(!selectionHas([](const QTextCharFormat& f) { return f.fontUnderline(); }));
    mergeFormat(format);
}

void TSTextView::resizeBy(qreal points) {
    auto sizeOf = [this](const QTextCharFormat& f) {
        const qreal size = f.fontPointSize();
        return size > 0 ? size : document()->defaultFont().pointSizeF();
    };
    QTextCursor cursor = textCursor();
    if (!cursor.hasSelection()) {
        QTextCharFormat format;
        format.setFontPointSize(std::max(kSmallestPointSize, sizeOf(currentCharFormat()) + points));
        mergeCurrentCharFormat(format);
        return;
    }
    // Run by run, so that a heading stays larger than the text around it.
    const int start = cursor.selectionStart();
    const int end = cursor.selectionEnd();
    cursor.beginEditBlock();
    QTextCursor run(document());
    for (int at = start; at < end; ++at) {
        run.setPosition(at + 1);
        const qreal size = sizeOf(run.charFormat());
        run.setPosition(at);
        run.setPosition(at + 1, QTextCursor::KeepAnchor);
        QTextCharFormat format;
        format.setFontPointSize(std::max(kSmallestPointSize, size + points));
        run.mergeCharFormat(format);
    }
    cursor.endEditBlock();
}

void TSTextView::BiggerAction() { resizeBy(1); }
void TSTextView::SmallerAction() { resizeBy(-1); }

void TSTextView::changeFont(const QFont& font) {
    QTextCharFormat format;
    format.setFont(font, QTextCharFormat::FontPropertiesSpecifiedOnly);
    mergeFormat(format);
    if (changeFontBlock) {
        changeFontBlock();
    }
}

void TSTextView::changeColor(const QColor& color) {
    QTextCharFormat format;
    format.setForeground(color);
    mergeFormat(format);
    if (changeColorBlock) {
        changeColorBlock();
    }
}

void TSTextView::orderFrontFontPanel() {
    controls::ModalSeam::fontPanel(this, currentFont(), [view = QPointer<TSTextView>(this)](const QFont& font) {
        if (view) {
            view->changeFont(font);
        }
    });
}

void TSTextView::orderFrontColorPanel() {
    controls::ModalSeam::colorPanel(this, textColor(), [view = QPointer<TSTextView>(this)](const QColor& color) {
        if (view) {
            view->changeColor(color);
        }
    });
}

bool TSTextView::canInsertFromMimeData(const QMimeData* source) const {
    // Accepted here so that insertFromMimeData can refuse it aloud rather than the paste
    // doing nothing without a word.
    return holdsPictures(source) || QTextEdit::canInsertFromMimeData(source);
}

void TSTextView::insertFromMimeData(const QMimeData* source) {
    if (holdsPictures(source)) {
        emit picturesRefused();
        return;
    }
    QTextEdit::insertFromMimeData(source);
}

}  // namespace tessaro
