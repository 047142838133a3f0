#include "core/group_model.h"

namespace tessaro {

void renumberRowList(RowList& rows) {
    for (qsizetype i = 0; i < rows.size(); ++i) {
        GroupModel& row = *rows[i];
        row.index = i;
        if (!row.fileModels) {
            continue;
        }
        for (qsizetype j = 0; j < row.fileModels->size(); ++j) {
            FileModel& item = *(*row.fileModels)[j];
            item.groupIndex = i;
            item.fileIndex = j;
            item.groupName = row.groupName;
        }
    }
}

quint64 stableHash(const QString& text) {
    quint64 hash = 14695981039346656037ULL;
    const QByteArray bytes = text.toUtf8();
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ULL;
    }
    return hash;
}

QString groupDirectoryName(const QString& name, qint64 secondsSince1970) {
    return QStringLiteral("%1-%2").arg(stableHash(name)).arg(static_cast<quint64>(secondsSince1970));
}

GroupModelPtr makeGroupRow(const QString& name, const QString& listKey, bool isNotes, qint64 secondsSince1970) {
    auto row = std::make_shared<GroupModel>();
    row->name = name;
    row->groupName = listKey;
    row->isNotes = isNotes;
    row->isGroupDir = !isNotes;
    row->path = groupDirectoryName(name, secondsSince1970);
    row->fileModels = std::make_shared<FileModelList>();
    return row;
}

}  // namespace tessaro
