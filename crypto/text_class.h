#pragma once

#include <QString>
#include <QStringList>

namespace tessaro {

// Items whose own name carries one of these 37 extensions (compared in lower case) have
// their content encrypted; every other item keeps its bytes between header and footer.
// The table is part of the stored-file format: a reader decides the class by the name alone.
const QStringList& textExtensionTable();

// The name extension of a path's last component: the text after its last ".", or empty
// when there is no "." or the only one starts the name (".profile" has none).
QString nameExtension(const QString& path);

// YES when the lower-cased name extension of `path` is in the table.
bool iswenbenwenjian(const QString& path);

}  // namespace tessaro
