#include "app/ui_resources.h"

#include <QFile>
#include <QHash>

namespace tessaro::ui {

QIcon picture(const QString& name) {
    static QHash<QString, QIcon> cache;
    const auto it = cache.constFind(name);
    if (it != cache.constEnd()) {
        return it.value();
    }
    QIcon icon;
    const QString base = QStringLiteral(":/") + name;
    QString one = base;
    QString two = base;
    if (name.contains(QLatin1String("@2x."))) {
        one.replace(QLatin1String("@2x."), QLatin1String("."));
    } else {
        const qsizetype dot = two.lastIndexOf(QLatin1Char('.'));
        two.insert(dot, QLatin1String("@2x"));
    }
    // The 1x file first: QIcon picks the best-fitting size, and knows the 2x one by its
    // doubled pixel size.
    for (const QString& file : {one, two}) {
        if (QFile::exists(file)) {
            icon.addFile(file);
        }
    }
    cache.insert(name, icon);
    return icon;
}

QPixmap picturePixmap(const QString& name, const QSize& size, qreal devicePixelRatio) {
    const QIcon icon = picture(name);
    if (icon.isNull()) {
        return {};
    }
    return icon.pixmap(size, devicePixelRatio);
}

QIcon applicationIcon() {
    QIcon icon;
    for (const int n : {16, 24, 32, 48, 64, 128, 256, 512}) {
        const QString file = QStringLiteral(":/icons/hicolor/%1x%1/apps/tessaro.png").arg(n);
        if (QFile::exists(file)) {
            icon.addFile(file, QSize(n, n));
        }
    }
    if (icon.isNull()) {
        icon = QIcon::fromTheme(QStringLiteral("tessaro"));
    }
    return icon;
}

void installIconThemeFallback() {
    const QString current = QIcon::themeName();
    if ((current.isEmpty() || current == QLatin1String("hicolor")) &&
        QFile::exists(QStringLiteral("/usr/share/icons/Adwaita/index.theme"))) {
        QIcon::setThemeName(QStringLiteral("Adwaita"));
    }
}

}  // namespace tessaro::ui
