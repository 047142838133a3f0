#include "support/catalogue_dump.h"

namespace tessaro::testing {

QString dumpItem(const FileModel& item) {
    return QStringList{item.name,
                       item.path,
                       item.encryptedPath,
                       item.macAddress,
                       QString::number(item.createDate),
                       QString::number(item.addDate),
                       QString::number(item.fileSize.load()),
                       item.isEncrtypt ? QStringLiteral("hidden") : QStringLiteral("shown")}
        .join(QStringLiteral(" | "));
}

QString dumpNames(const FileModelList& items) {
    QStringList names;
    for (const FileModelPtr& item : items) {
        names.append(item->name + (item->isEncrtypt ? QStringLiteral("*") : QString()));
    }
    return names.join(QStringLiteral(", "));
}

QStringList dumpRows(const RowList& rows) {
    QStringList out;
    for (const GroupModelPtr& row : rows) {
        QString line = row->isHeader ? QStringLiteral("header ") : row->isAddItem ? QStringLiteral("add ") : QStringLiteral("group ");
        line += row->name;
        if (row->isHeader && row->isAddItem) {
            line += QStringLiteral(" (also add)");
        }
        if (!row->isHeader && !row->isAddItem) {
            line += QLatin1Char(' ') + row->path + QLatin1Char(':');
            const QString names = dumpNames(row->fileModels ? *row->fileModels : FileModelList());
            line += names.isEmpty() ? QString() : QLatin1Char(' ') + names;
        }
        out.append(line);
    }
    return out;
}

}  // namespace tessaro::testing
