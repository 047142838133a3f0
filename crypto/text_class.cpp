#include "crypto/text_class.h"

namespace tessaro {

const QStringList& textExtensionTable() {
    static const QStringList table = {
        QStringLiteral("c"),       QStringLiteral("h"),        QStringLiteral("m"),       QStringLiteral("rc"),
        QStringLiteral("def"),     QStringLiteral("md"),       QStringLiteral("am"),      QStringLiteral("cpp"),
        QStringLiteral("pch"),     QStringLiteral("txt"),      QStringLiteral("swift"),   QStringLiteral("strings"),
        QStringLiteral("podspec"), QStringLiteral("json"),     QStringLiteral("text"),    QStringLiteral("html"),
        QStringLiteral("lock"),    QStringLiteral("xcconfig"), QStringLiteral("markdown"), QStringLiteral("sh"),
        QStringLiteral("doc"),     QStringLiteral("wps"),      QStringLiteral("srt"),     QStringLiteral("rtf"),
        QStringLiteral("hlp"),     QStringLiteral("pdf"),      QStringLiteral("java"),    QStringLiteral("yml"),
        QStringLiteral("asm"),     QStringLiteral("for"),      QStringLiteral("lib"),     QStringLiteral("lst"),
        QStringLiteral("msg"),     QStringLiteral("obj"),      QStringLiteral("pas"),     QStringLiteral("wki"),
        QStringLiteral("bas"),
    };
    return table;
}

QString nameExtension(const QString& path) {
    QString name = path;
    while (name.endsWith(QLatin1Char('/'))) {
        name.chop(1);
    }
    name = name.mid(name.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0) {
        return {};
    }
    return name.mid(dot + 1);
}

bool iswenbenwenjian(const QString& path) { return textExtensionTable().contains(nameExtension(path).toLower()); }

}  // namespace tessaro
