#include "app/qt_dialog_language.h"

#include "core/localized_text.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <memory>

namespace tessaro::ui {

bool followInterfaceLanguageInQtPanels() {
    static std::unique_ptr<QTranslator> installed;
    if (installed) {
        QCoreApplication::removeTranslator(installed.get());
        installed.reset();
    }
    if (LanguageBundle::currentDirectory() != QLatin1String("zh-Hans")) {
        return true;
    }
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        return false;
    }
    QCoreApplication::installTranslator(translator.get());
    installed = std::move(translator);
    return true;
}

}  // namespace tessaro::ui
