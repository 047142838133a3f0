#pragma once

#include <QStringList>
#include <QTextBlock>
#include <QTextDocument>

namespace tessaro::testing {

// A document as a note must keep it, one line per paragraph: its alignment (-1 when none is
// set), then each run as "[family|size|biu|#colour]" before its text, adjacent runs of equal
// attributes merged. Comparing two shapes compares everything the RTF codec carries.
inline QStringList shape(const QTextDocument& document) {
    QStringList lines;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const QTextBlockFormat bf = block.blockFormat();
        QString line = QStringLiteral("align=%1:").arg(bf.hasProperty(QTextFormat::BlockAlignment)
                                                           ? int(bf.alignment() & Qt::AlignHorizontal_Mask)
                                                           : -1);
        QString lastAttributes;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            const QString attributes =
                QStringLiteral("[%1|%2|%3%4%5|%6]")
                    .arg(f.fontFamilies().toStringList().value(0))
                    .arg(f.fontPointSize())
                    .arg(f.fontWeight() >= QFont::DemiBold ? QStringLiteral("b") : QString(),
                         f.fontItalic() ? QStringLiteral("i") : QString(),
                         f.fontUnderline() ? QStringLiteral("u") : QString(),
                         f.hasProperty(QTextFormat::ForegroundBrush) ? f.foreground().color().name() : QString());
            if (attributes != lastAttributes) {
                line += attributes;
                lastAttributes = attributes;
            }
            line += it.fragment().text();
        }
        lines.append(line);
    }
    return lines;
}

}  // namespace tessaro::testing
