#include "notes/rtf_reader.h"

#include "notes/rtf_code_pages.h"

#include <QColor>
#include <QHash>
#include <QList>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <cctype>
#include <vector>

namespace tessaro::notes {

namespace {

// Word processors nest a dozen groups at most; a file nesting deeper is damaged or hostile,
// and its deeper groups are skipped rather than followed.
constexpr int kMaxGroupDepth = 256;
// RTF 1.x allows 32 letters per control word and 10 digits per parameter;
// longer ones are read to their end and then treated as unknown, or clamped.
constexpr int kMaxWordLength = 32;
constexpr int kMaxParameterDigits = 10;

enum class Destination { Text, Skip, FontTable, ColourTable };

// What a group carries: RTF keeps character and paragraph properties per group, and a
// closing brace brings back the properties of the enclosing one.
struct GroupState {
    Destination destination = Destination::Text;
    int font = -1;
    int halfPoints = 0;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    int colour = 0;
    int fallbackCount = 1;  // \ucN
    Qt::Alignment alignment = {};
    bool hasAlignment = false;
};

struct FontEntry {
    QString family;
    int codePage = 0;
    QByteArray pendingName;
};

// Destinations whose text is not part of the document. The first two are content a note
// cannot hold, and are reported as left out.
const QHash<QByteArray, const char*>& skippedDestinations() {
    static const QHash<QByteArray, const char*> table = [] {
        QHash<QByteArray, const char*> t;
        t.insert("pict", "pictures");
        t.insert("shppict", "pictures");
        t.insert("objdata", "embedded objects");
        for (const char* word :
             {"stylesheet", "info", "header", "headerl", "headerr", "headerf", "footer", "footerl", "footerr",
              "footerf", "footnote", "fldinst", "listtable", "listoverridetable", "revtbl", "rsidtbl", "generator",
              "themedata", "colorschememapping", "latentstyles", "datastore", "xmlnstbl", "filetbl", "pgdsctbl",
              "nonshppict", "template", "annotation", "atnid", "atnauthor", "bkmkstart", "bkmkend", "xe", "tc",
              "txe", "rxe", "objclass", "objname", "shpinst", "listtext", "pntext", "pntxta", "pntxtb",
              "docvar", "userprops", "mmathPr", "wgrffmtfilter", "ftnsep", "ftnsepc", "aftnsep", "aftnsepc"}) {
            t.insert(word, nullptr);
        }
        return t;
    }();
    return table;
}

// Control words that stand for one character.
const QHash<QByteArray, char16_t>& specialCharacters() {
    static const QHash<QByteArray, char16_t> table{
        {"emdash", 0x2014}, {"endash", 0x2013},  {"bullet", 0x2022},    {"lquote", 0x2018},  {"rquote", 0x2019},
        {"ldblquote", 0x201C}, {"rdblquote", 0x201D}, {"emspace", u' '}, {"enspace", u' '}, {"qmspace", u' '}};
    return table;
}

class Reader {
public:
    Reader(const QByteArray& rtf, QTextDocument& document) : in_(rtf), cursor_(&document) {}

    RtfRead run();

private:
    const QByteArray& in_;
    qsizetype at_ = 0;
    QTextCursor cursor_;
    RtfRead result_;

    std::vector<GroupState> groups_;
    // Groups beyond kMaxGroupDepth, counted so that their braces still balance.
    int skippedDepth_ = 0;
    bool groupJustOpened_ = false;
    bool ignorableDestination_ = false;
    bool ended_ = false;

    int documentCodePage_ = 1252;
    int defaultFont_ = -1;
    QHash<int, FontEntry> fonts_;
    int currentFontEntry_ = -1;
    QList<QColor> colours_;
    int red_ = -1, green_ = -1, blue_ = -1;

    // Fallback characters still to skip after a \uN.
    int fallbackToSkip_ = 0;
    // 8-bit text and \'hh bytes not decoded yet, in pendingCodePage_.
    QByteArray pendingBytes_;
    int pendingCodePage_ = 0;
    CodePageDecoder decoder_;
    // Text of the current run, in the properties of `runState_`.
    QString run_;
    GroupState runState_;
    // The paragraph before the cursor has been ended; the next text starts a new one.
    bool paragraphEnded_ = false;
    bool paragraphHasText_ = false;
    QTextBlockFormat lastBlockFormat_;

    GroupState& state() { return groups_.back(); }
    void problem(const QString& what);
    void dropped(const char* what);

    void openGroup();
    void closeGroup();
    void controlWord();
    void controlSymbol(char symbol);
    void applyWord(const QByteArray& word, bool hasParameter, int parameter);
    void text(char byte);
    void hexByte(unsigned char byte);
    void unicode(int value);
    void character(QChar c);

    int codePageNow() const;
    void decodePending();
    void flushRun();
    void insertRun();
    void endParagraph();
    void startTextIfNeeded();
    QTextCharFormat charFormat(const GroupState& s) const;
    static QTextBlockFormat blockFormat(const GroupState& s);
    void finishFontName(FontEntry& font);
};

void Reader::problem(const QString& what) {
    if (!result_.problems.contains(what)) {
        result_.problems.append(what);
    }
}

void Reader::dropped(const char* what) {
    const QString text = QString::fromLatin1(what);
    if (!result_.dropped.contains(text)) {
        result_.dropped.append(text);
    }
}

int Reader::codePageNow() const {
    const GroupState& s = groups_.back();
    const auto font = fonts_.constFind(s.font);
    if (font != fonts_.cend() && font->codePage > 0) {
        return font->codePage;
    }
    return documentCodePage_;
}

void Reader::decodePending() {
    if (!pendingBytes_.isEmpty()) {
        const QString decoded = decoder_.decode(pendingCodePage_, pendingBytes_);
        pendingBytes_.clear();
        for (const QChar c : decoded) {
            character(c);
        }
    }
}

QTextCharFormat Reader::charFormat(const GroupState& s) const {
    QTextCharFormat format;
    const auto font = fonts_.constFind(s.font);
    if (font != fonts_.cend() && !font->family.isEmpty()) {
        format.setFontFamilies(QStringList{font->family});
    }
    if (s.halfPoints > 0) {
        format.setFontPointSize(s.halfPoints / 2.0);
    }
    if (s.bold) {
        format.setFontWeight(QFont::Bold);
    }
    if (s.italic) {
        format.setFontItalic(true);
    }
    if (s.underline) {
        format.setFontUnderline(true);
    }
    if (s.colour > 0 && s.colour < colours_.size() && colours_.at(s.colour).isValid()) {
        format.setForeground(colours_.at(s.colour));
    }
    return format;
}

QTextBlockFormat Reader::blockFormat(const GroupState& s) {
    QTextBlockFormat format;
    if (s.hasAlignment) {
        format.setAlignment(s.alignment);
    }
    return format;
}

void Reader::startTextIfNeeded() {
    if (paragraphEnded_) {
        cursor_.insertBlock(QTextBlockFormat(), QTextCharFormat());
        paragraphEnded_ = false;
    }
    paragraphHasText_ = true;
}

// Text reaches the document one run at a time: every change of properties ends a run.
void Reader::insertRun() {
    if (run_.isEmpty()) {
        return;
    }
    startTextIfNeeded();
    cursor_.insertText(run_, charFormat(runState_));
    lastBlockFormat_ = blockFormat(runState_);
    run_.clear();
}

void Reader::flushRun() {
    decodePending();
    insertRun();
}

void Reader::character(QChar c) {
    if (groups_.empty() || state().destination != Destination::Text) {
        return;
    }
    const GroupState& s = state();
    if (!run_.isEmpty()) {
        const bool same = s.font == runState_.font && s.halfPoints == runState_.halfPoints &&
                          s.bold == runState_.bold && s.italic == runState_.italic &&
                          s.underline == runState_.underline && s.colour == runState_.colour;
        if (!same) {
            insertRun();
        }
    }
    if (run_.isEmpty()) {
        runState_ = s;
    }
    run_.append(c);
}

// The paragraph takes the alignment in force where it ends, as word processors read it.
void Reader::endParagraph() {
    flushRun();
    startTextIfNeeded();
    cursor_.setBlockFormat(blockFormat(state()));
    paragraphEnded_ = true;
    paragraphHasText_ = false;
}

void Reader::finishFontName(FontEntry& font) {
    if (font.pendingName.isEmpty()) {
        return;
    }
    font.family += decoder_.decode(font.codePage > 0 ? font.codePage : documentCodePage_, font.pendingName).trimmed();
    font.pendingName.clear();
}

void Reader::openGroup() {
    flushRun();
    fallbackToSkip_ = 0;
    if (skippedDepth_ > 0 || static_cast<int>(groups_.size()) >= kMaxGroupDepth) {
        if (skippedDepth_ == 0) {
            problem(QStringLiteral("groups are nested deeper than %1 levels; the deeper ones were skipped")
                        .arg(kMaxGroupDepth));
        }
        ++skippedDepth_;
        return;
    }
    if (groups_.empty()) {
        groups_.push_back(GroupState{});
    } else {
        groups_.push_back(groups_.back());
    }
    groupJustOpened_ = true;
    ignorableDestination_ = false;
}

void Reader::closeGroup() {
    fallbackToSkip_ = 0;
    if (skippedDepth_ > 0) {
        --skippedDepth_;
        return;
    }
    if (groups_.empty()) {
        problem(QStringLiteral("a \"}\" at byte %1 closes no group").arg(at_));
        return;
    }
    flushRun();
    if (state().destination == Destination::FontTable && currentFontEntry_ >= 0) {
        finishFontName(fonts_[currentFontEntry_]);
    }
    groups_.pop_back();
    if (groups_.empty()) {
        ended_ = true;
    }
}

void Reader::text(char byte) {
    if (groups_.empty() || byte == '\r' || byte == '\n' || byte == '\0') {
        return;
    }
    if (fallbackToSkip_ > 0) {
        --fallbackToSkip_;
        return;
    }
    GroupState& s = state();
    if (s.destination == Destination::FontTable) {
        if (currentFontEntry_ >= 0) {
            FontEntry& font = fonts_[currentFontEntry_];
            if (byte == ';') {
                finishFontName(font);
            } else {
                font.pendingName.append(byte);
            }
        }
        return;
    }
    if (s.destination == Destination::ColourTable) {
        if (byte == ';') {
            const bool automatic = red_ < 0 && green_ < 0 && blue_ < 0;
            colours_.append(automatic ? QColor() : QColor(std::clamp(red_, 0, 255), std::clamp(green_, 0, 255),
                                                          std::clamp(blue_, 0, 255)));
            red_ = green_ = blue_ = -1;
        }
        return;
    }
    if (s.destination != Destination::Text) {
        return;
    }
    const unsigned char u = static_cast<unsigned char>(byte);
    if (u < 0x80 && pendingBytes_.isEmpty()) {
        character(QChar::fromLatin1(byte));
        return;
    }
    hexByte(u);
}

void Reader::hexByte(unsigned char byte) {
    if (groups_.empty()) {
        return;
    }
    GroupState& s = state();
    if (s.destination == Destination::FontTable && currentFontEntry_ >= 0) {
        fonts_[currentFontEntry_].pendingName.append(static_cast<char>(byte));
        return;
    }
    if (s.destination != Destination::Text) {
        return;
    }
    const int codePage = codePageNow();
    if (!pendingBytes_.isEmpty() && codePage != pendingCodePage_) {
        decodePending();
    }
    pendingCodePage_ = codePage;
    pendingBytes_.append(static_cast<char>(byte));
}

void Reader::unicode(int value) {
    decodePending();
    const char16_t unit = static_cast<char16_t>(value & 0xFFFF);
    if (groups_.empty()) {
        return;
    }
    GroupState& s = state();
    if (s.destination == Destination::FontTable && currentFontEntry_ >= 0) {
        FontEntry& font = fonts_[currentFontEntry_];
        finishFontName(font);
        font.family.append(QChar(unit));
    } else {
        character(QChar(unit));
    }
    fallbackToSkip_ = s.fallbackCount;
}

void Reader::controlSymbol(char symbol) {
    if (symbol == '*') {
        if (groupJustOpened_) {
            ignorableDestination_ = true;
        }
        return;
    }
    if (fallbackToSkip_ > 0 && symbol != '\'') {
        --fallbackToSkip_;
        return;
    }
    switch (symbol) {
    case '\\':
    case '{':
    case '}': text(symbol); break;
    case '~': decodePending(); character(QChar(0x00A0)); break;
    case '_': decodePending(); character(QChar(0x2011)); break;
    case '\r':
    case '\n': endParagraph(); break;
    case '\'': {
        const bool valid = at_ + 1 < in_.size() && std::isxdigit(static_cast<unsigned char>(in_.at(at_))) &&
                           std::isxdigit(static_cast<unsigned char>(in_.at(at_ + 1)));
        if (!valid) {
            problem(QStringLiteral("a \\' at byte %1 is not followed by two hexadecimal digits").arg(at_));
            return;
        }
        const unsigned char byte = static_cast<unsigned char>(QByteArray::fromHex(in_.mid(at_, 2)).at(0));
        at_ += 2;
        if (fallbackToSkip_ > 0) {
            --fallbackToSkip_;
            return;
        }
        hexByte(byte);
        break;
    }
    default: break;  // \- \: \| and symbols nobody defined
    }
}

void Reader::controlWord() {
    const qsizetype start = at_;
    while (at_ < in_.size() && std::isalpha(static_cast<unsigned char>(in_.at(at_)))) {
        ++at_;
    }
    QByteArray word = in_.mid(start, std::min<qsizetype>(at_ - start, kMaxWordLength + 1));
    bool negative = false;
    if (at_ < in_.size() && in_.at(at_) == '-' && at_ + 1 < in_.size() &&
        std::isdigit(static_cast<unsigned char>(in_.at(at_ + 1)))) {
        negative = true;
        ++at_;
    }
    bool hasParameter = false;
    long long value = 0;
    int digits = 0;
    while (at_ < in_.size() && std::isdigit(static_cast<unsigned char>(in_.at(at_)))) {
        hasParameter = true;
        if (digits++ < kMaxParameterDigits) {
            value = value * 10 + (in_.at(at_) - '0');
        }
        ++at_;
    }
    if (at_ < in_.size() && in_.at(at_) == ' ') {
        ++at_;  // the delimiter belongs to the word
    }
    value = std::clamp(negative ? -value : value, -2147483647LL, 2147483647LL);
    if (word.size() > kMaxWordLength) {
        word = "?";
    }
    applyWord(word, hasParameter, static_cast<int>(value));
}

void Reader::applyWord(const QByteArray& word, bool hasParameter, int parameter) {
    const bool firstInGroup = groupJustOpened_;
    groupJustOpened_ = false;
    if (word == "bin") {
        // Raw bytes follow; they are data, never text or braces.
        flushRun();
        at_ += std::min<qsizetype>(std::max(parameter, 0), in_.size() - at_);
        return;
    }
    if (groups_.empty() || skippedDepth_ > 0) {
        return;
    }
    GroupState& s = state();
    if (s.destination == Destination::Skip) {
        return;
    }
    // Bytes before a control word are decoded in the properties they were written in.
    decodePending();
    const auto skipped = skippedDestinations().constFind(word);
    if (skipped != skippedDestinations().cend()) {
        flushRun();
        if (skipped.value()) {
            dropped(skipped.value());
        }
        s.destination = Destination::Skip;
        return;
    }
    if (word == "fonttbl") {
        flushRun();
        s.destination = Destination::FontTable;
        return;
    }
    if (word == "colortbl") {
        flushRun();
        s.destination = Destination::ColourTable;
        red_ = green_ = blue_ = -1;
        return;
    }
    if (firstInGroup && ignorableDestination_) {
        // "{\*\name ...}" with a name we do not know: skipped whole, as the mark asks.
        flushRun();
        s.destination = Destination::Skip;
        return;
    }
    if (s.destination == Destination::FontTable) {
        if (word == "f") {
            currentFontEntry_ = parameter;
            fonts_[parameter];
        } else if (currentFontEntry_ >= 0 && (word == "fcharset" || word == "cpg")) {
            const int codePage = word == "cpg" ? parameter : codePageOfCharset(parameter);
            if (codePage > 0) {
                fonts_[currentFontEntry_].codePage = codePage;
            }
        } else if (word == "u" && hasParameter) {
            unicode(parameter);
        }
        return;
    }
    if (s.destination == Destination::ColourTable) {
        if (word == "red") {
            red_ = parameter;
        } else if (word == "green") {
            green_ = parameter;
        } else if (word == "blue") {
            blue_ = parameter;
        }
        return;
    }

    // Properties: the run so far keeps the ones in force before this word.
    const int on = hasParameter ? parameter : 1;
    if (word == "par" || word == "sect" || word == "page" || word == "row") {
        endParagraph();
    } else if (word == "line") {
        decodePending();
        character(QChar::LineSeparator);
    } else if (word == "tab" || word == "cell") {
        decodePending();
        character(QLatin1Char('\t'));
    } else if (word == "u" && hasParameter) {
        unicode(parameter);
        return;
    } else if (word == "uc") {
        s.fallbackCount = std::max(parameter, 0);
    } else if (word == "ansicpg") {
        documentCodePage_ = parameter;
    } else if (word == "mac") {
        documentCodePage_ = 10000;
    } else if (word == "pc") {
        documentCodePage_ = 437;
    } else if (word == "pca") {
        documentCodePage_ = 850;
    } else if (word == "deff") {
        defaultFont_ = parameter;
        s.font = parameter;
    } else if (word == "plain") {
        decodePending();
        s.font = defaultFont_;
        s.halfPoints = 0;
        s.bold = s.italic = s.underline = false;
        s.colour = 0;
    } else if (word == "pard") {
        s.hasAlignment = false;
        s.alignment = {};
    } else if (word == "ql" || word == "qc" || word == "qr" || word == "qj") {
        s.hasAlignment = true;
        s.alignment = word == "qc"   ? Qt::AlignHCenter
                      : word == "qr" ? Qt::AlignRight
                      : word == "qj" ? Qt::AlignJustify
                                     : Qt::AlignLeft;
    } else if (word == "f") {
        decodePending();
        s.font = parameter;
    } else if (word == "fs") {
        s.halfPoints = hasParameter ? std::clamp(parameter, 0, 3276) : 24;
    } else if (word == "b") {
        s.bold = on != 0;
    } else if (word == "i") {
        s.italic = on != 0;
    } else if (word == "ul" || word == "uld" || word == "uldb" || word == "ulw" || word == "uldash" ||
               word == "ulth" || word == "ulwave") {
        s.underline = on != 0;
    } else if (word == "ulnone") {
        s.underline = false;
    } else if (word == "cf") {
        s.colour = std::max(on, 0);
    } else if (const auto special = specialCharacters().constFind(word); special != specialCharacters().cend()) {
        character(QChar(special.value()));
    }
}

RtfRead Reader::run() {
    qsizetype start = 0;
    if (in_.startsWith("\xEF\xBB\xBF")) {
        start = 3;
    }
    while (start < in_.size() && std::isspace(static_cast<unsigned char>(in_.at(start)))) {
        ++start;
    }
    if (!in_.mid(start, 5).startsWith("{\\rtf")) {
        return result_;
    }
    result_.isRtf = true;
    QTextDocument* document = cursor_.document();
    const bool undo = document->isUndoRedoEnabled();
    document->setUndoRedoEnabled(false);
    document->clear();
    cursor_ = QTextCursor(document);
    cursor_.beginEditBlock();

    at_ = start;
    while (at_ < in_.size()) {
        const char c = in_.at(at_++);
        if (ended_) {
            if (!std::isspace(static_cast<unsigned char>(c)) && c != '\0') {
                problem(QStringLiteral("there is text after the document's last \"}\" (byte %1)").arg(at_ - 1));
                break;
            }
            continue;
        }
        if (c == '{') {
            openGroup();
        } else if (c == '}') {
            closeGroup();
        } else if (skippedDepth_ > 0) {
            if (c == '\\' && at_ < in_.size()) {
                if (std::isalpha(static_cast<unsigned char>(in_.at(at_)))) {
                    controlWord();  // only so that \bin data is stepped over
                } else {
                    ++at_;
                }
            }
        } else if (c == '\\') {
            if (at_ >= in_.size()) {
                break;
            }
            if (std::isalpha(static_cast<unsigned char>(in_.at(at_)))) {
                controlWord();
            } else {
                const char symbol = in_.at(at_++);
                if (symbol != '*') {
                    groupJustOpened_ = false;
                }
                controlSymbol(symbol);
            }
        } else if (!groups_.empty()) {
            if (c != '\r' && c != '\n') {
                groupJustOpened_ = false;
            }
            text(c);
        }
    }
    if (!ended_) {
        problem(QStringLiteral("the document ends before its last \"}\": it was cut short"));
        while (!groups_.empty()) {
            closeGroup();
        }
    }
    flushRun();
    if (paragraphHasText_) {
        cursor_.setBlockFormat(lastBlockFormat_);
    }
    cursor_.endEditBlock();
    document->setUndoRedoEnabled(undo);
    return result_;
}

}  // namespace

bool looksLikeRtf(const QByteArray& bytes) {
    QByteArray head = bytes.left(64);
    if (head.startsWith("\xEF\xBB\xBF")) {
        head.remove(0, 3);
    }
    return head.trimmed().startsWith("{\\rtf");
}

RtfRead readRtf(const QByteArray& rtf, QTextDocument& document) {
    if (!looksLikeRtf(rtf.left(4096))) {
        document.clear();
        return {};
    }
    return Reader(rtf, document).run();
}

}  // namespace tessaro::notes
