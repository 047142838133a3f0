#pragma once

#include "core/localized_text.h"

#include <QFile>
#include <QHash>
#include <QString>

namespace tessaro::testing {

// The "Main" table of `language` ("en", "zh-Hans") as the application carries it; empty
// when it is missing.
inline QHash<QString, QString> stringsTable(const char* language) {
    QFile file(QStringLiteral(":/%1.lproj/Main.strings").arg(QLatin1String(language)));
    return file.open(QIODevice::ReadOnly) ? LanguageBundle::parseStringsTable(QString::fromUtf8(file.readAll()))
                                          : QHash<QString, QString>{};
}

}  // namespace tessaro::testing
