#include "core/clean_path.h"

#include <QDir>
#include <QFile>
#include <QStringList>

#include <climits>
#include <cstdlib>
#include <memory>

namespace tessaro {

namespace {

QString absoluteSpelling(const QString& spelled) {
    return spelled.startsWith(QLatin1Char('/')) ? spelled : QDir::currentPath() + QLatin1Char('/') + spelled;
}

// realpath() of an existing path; null when it does not resolve.
QString resolved(const QString& path) {
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(QFile::encodeName(path).constData(), nullptr),
                                                     &std::free);
    return real ? QFile::decodeName(real.get()) : QString();
}

// The longest existing folder of `components` resolved through links, the rest added by
// spelling ("." dropped, ".." taking back one added component).
QString resolveFolders(const QStringList& components) {
    qsizetype existing = components.size();
    QString base;
    for (; existing > 0; --existing) {
        base = resolved(QLatin1Char('/') + components.mid(0, existing).join(QLatin1Char('/')));
        if (!base.isNull()) {
            break;
        }
    }
    if (existing == 0) {
        base = QStringLiteral("/");
    }
    QStringList rest = base == QLatin1String("/") ? QStringList() : base.mid(1).split(QLatin1Char('/'));
    for (qsizetype i = existing; i < components.size(); ++i) {
        const QString& c = components.at(i);
        if (c == QLatin1String(".")) {
            continue;
        }
        if (c == QLatin1String("..")) {
            if (!rest.isEmpty()) {
                rest.removeLast();
            }
            continue;
        }
        rest.append(c);
    }
    return QLatin1Char('/') + rest.join(QLatin1Char('/'));
}

}  // namespace

QString CleanPath::name() const { return lastPathComponent(path); }

QString parentOfPath(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

QString lastPathComponent(const QString& path) {
    QString p = path;
    while (p.size() > 1 && p.endsWith(QLatin1Char('/'))) {
        p.chop(1);
    }
    return p.mid(p.lastIndexOf(QLatin1Char('/')) + 1);
}

CleanPath cleanItemPath(const QString& spelled) {
    if (spelled.isEmpty()) {
        return {QString(), QStringLiteral("an empty path names no item")};
    }
    const QStringList components = absoluteSpelling(spelled).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (components.isEmpty()) {
        return {QString(), QStringLiteral("the root folder cannot be an item")};
    }
    const QString& last = components.last();
    QString path;
    if (last == QLatin1String(".") || last == QLatin1String("..")) {
        // "." or ".." names the folder it leads to, under that folder's own name.
        path = resolveFolders(components);
    } else {
        const QString parent = resolveFolders(components.mid(0, components.size() - 1));
        path = (parent == QLatin1String("/") ? QString() : parent) + QLatin1Char('/') + last;
    }
    if (path == QLatin1String("/")) {
        return {QString(), QStringLiteral("%1 leads to the root folder, which cannot be an item").arg(spelled)};
    }
    return {path, QString()};
}

CleanPath cleanFolderPath(const QString& spelled) {
    if (spelled.isEmpty()) {
        return {QString(), QStringLiteral("an empty path names no folder")};
    }
    return {resolveFolders(absoluteSpelling(spelled).split(QLatin1Char('/'), Qt::SkipEmptyParts)), QString()};
}

}  // namespace tessaro
