#include "core/catalogue_format.h"

#include "core/atomic_file.h"
#include "core/vault_paths.h"
#include "core/volumes.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace tessaro::catalogue {

using plist::Value;

namespace {

QLatin1StringView keyText(const char* key) { return QLatin1StringView(key); }

void entry(plist::Writer& out, const char* key, const QString& text) {
    out.key(keyText(key));
    out.string(text);
}

void entry(plist::Writer& out, const char* key, qint64 number) {
    out.key(keyText(key));
    out.integer(number);
}

void entry(plist::Writer& out, const char* key, bool flag) {
    out.key(keyText(key));
    out.boolean(flag);
}

// Item dictionary: path, name, [encryptedPath], macAddress, createDate, addDate,
// groupIndex, fileSize, isEncrtypt.
void writeItem(plist::Writer& out, const FileModel& item) {
    out.beginDictionary();
    entry(out, itemkeys::path, item.path);
    entry(out, itemkeys::name, item.name);
    if (!item.encryptedPath.isEmpty()) {
        entry(out, itemkeys::encryptedPath, item.encryptedPath);
    }
    // Always written; an item without an address (those of a removable-drive vault, as
    // they are read back) is stored with an empty one.
    entry(out, itemkeys::macAddress, item.macAddress);
    entry(out, itemkeys::createDate, item.createDate);
    entry(out, itemkeys::addDate, item.addDate);
    entry(out, itemkeys::groupIndex, item.groupIndex);
    entry(out, itemkeys::fileSize, item.fileSize.load());
    entry(out, itemkeys::isEncrtypt, item.isEncrtypt);
    out.endDictionary();
}

// Row dictionary: name, [path], index, isHeader, isAddItem, isNotes, isGroupDir,
// [password], [macAddress], FileModel.
void writeRow(plist::Writer& out, const GroupModel& row, ListKind kind, const std::optional<QString>& password) {
    out.beginDictionary();
    entry(out, rowkeys::name, row.name);
    if (!row.path.isEmpty()) {
        entry(out, rowkeys::path, row.path);
    }
    entry(out, rowkeys::index, row.index);
    entry(out, rowkeys::isHeader, row.isHeader);
    entry(out, rowkeys::isAddItem, row.isAddItem);
    entry(out, rowkeys::isNotes, row.isNotes);
    entry(out, rowkeys::isGroupDir, row.isGroupDir);
    if (kind == ListKind::Removable && password) {
        entry(out, rowkeys::password, *password);
    } else if (!row.password.isEmpty()) {
        entry(out, rowkeys::password, row.password);
    }
    if (!row.macAddress.isEmpty()) {
        entry(out, rowkeys::macAddress, row.macAddress);
    }
    out.key(keyText(rowkeys::FileModel));
    out.beginArray();
    if (row.fileModels) {
        for (const FileModelPtr& item : *row.fileModels) {
            if (item) {
                writeItem(out, *item);
            }
        }
    }
    out.endArray();
    out.endDictionary();
}

// Field readers: a missing key keeps the default; a key whose value cannot mean the
// field's type is an error, because such a file was not written by a catalogue writer.
class FieldReader {
public:
    FieldReader(const Value& dictionary, QString where, QString* error)
        : dictionary_(dictionary), where_(std::move(where)), error_(error) {}

    bool text(const char* key, QString& out) {
        const Value* v = dictionary_.find(keyText(key));
        if (!v) {
            return true;
        }
        auto t = v->toText();
        if (!t) {
            return mismatch(key, "a text");
        }
        out = *t;
        return true;
    }

    bool integer(const char* key, qint64& out) {
        const Value* v = dictionary_.find(keyText(key));
        if (!v) {
            return true;
        }
        auto n = v->toInteger();
        if (!n) {
            return mismatch(key, "a whole number");
        }
        out = *n;
        return true;
    }

    bool flag(const char* key, bool& out) {
        const Value* v = dictionary_.find(keyText(key));
        if (!v) {
            out = false;
            return true;
        }
        auto b = v->toBoolean();
        if (!b) {
            return mismatch(key, "a boolean");
        }
        out = *b;
        return true;
    }

private:
    const Value& dictionary_;
    QString where_;
    QString* error_;

    bool mismatch(const char* key, const char* expected) {
        *error_ = QStringLiteral("%1: \"%2\" is not %3").arg(where_, keyText(key), QString::fromLatin1(expected));
        return false;
    }
};

}  // namespace

plist::SerializeResult serializeRows(const RowList& rows, ListKind kind, const std::optional<QString>& password) {
    // About what a row and an item take in the file, so that the buffer grows once.
    constexpr qsizetype kRowBytes = 400;
    constexpr qsizetype kItemBytes = 600;
    qsizetype expected = 0;
    for (const GroupModelPtr& row : rows) {
        expected += kRowBytes + (row && row->fileModels ? row->fileModels->size() * kItemBytes : 0);
    }
    plist::Writer out(expected);
    out.beginArray();
    for (const GroupModelPtr& row : rows) {
        if (row) {
            writeRow(out, *row, kind, password);
        }
    }
    out.endArray();
    return out.finish();
}

QString rewriteVolumePath(const QString& storedPath, const QString& volumeName) {
    if (volumeName.isEmpty()) {
        return storedPath;
    }
    const QString currentPrefix = Volumes::rootPrefix();
    static const QString foreignPrefix = QStringLiteral("/Volumes/");
    QString rest;
    if (storedPath.startsWith(currentPrefix)) {
        rest = storedPath.mid(currentPrefix.size());
    } else if (storedPath.startsWith(foreignPrefix)) {
        rest = storedPath.mid(foreignPrefix.size());
    } else {
        return storedPath;
    }
    QStringList pieces = rest.split(QLatin1Char('/'));
    pieces.removeFirst();  // the volume name at the time of saving
    QString path = joinPath(Volumes::root(), volumeName);
    for (const QString& piece : pieces) {
        path = joinPath(path, piece);
    }
    return path;
}

RowsResult rowsFromPlist(const Value& root, ListKind kind, const QString& listKey, const QString& currentMacAddress,
                         const QString& volumeName) {
    RowsResult result;
    if (!root.isArray()) {
        result.error = QStringLiteral("the root is not an array");
        return result;
    }
    RowList rows;
    for (std::size_t i = 0; i < root.items.size(); ++i) {
        const Value& rowValue = root.items[i];
        const QString rowWhere = QStringLiteral("row %1").arg(i);
        if (!rowValue.isDictionary()) {
            result.error = rowWhere + QStringLiteral(": not a dictionary");
            return result;
        }
        auto row = std::make_shared<GroupModel>();
        row->groupName = listKey;
        row->index = static_cast<qint64>(i);  // the stored "index" is not trusted
        FieldReader fields(rowValue, rowWhere, &result.error);
        if (!fields.text(rowkeys::name, row->name) || !fields.text(rowkeys::path, row->path) ||
            !fields.flag(rowkeys::isHeader, row->isHeader) || !fields.flag(rowkeys::isAddItem, row->isAddItem) ||
            !fields.flag(rowkeys::isNotes, row->isNotes) || !fields.flag(rowkeys::isGroupDir, row->isGroupDir)) {
            return result;
        }
        if (kind == ListKind::Removable &&
            (!fields.text(rowkeys::password, row->password) || !fields.text(rowkeys::macAddress, row->macAddress))) {
            return result;
        }
        auto items = std::make_shared<FileModelList>();
        if (const Value* itemArray = rowValue.find(keyText(rowkeys::FileModel))) {
            if (!itemArray->isArray()) {
                result.error = rowWhere + QStringLiteral(": \"FileModel\" is not an array");
                return result;
            }
            for (std::size_t j = 0; j < itemArray->items.size(); ++j) {
                const Value& itemValue = itemArray->items[j];
                const QString itemWhere = rowWhere + QStringLiteral(", item %1").arg(j);
                if (!itemValue.isDictionary()) {
                    result.error = itemWhere + QStringLiteral(": not a dictionary");
                    return result;
                }
                auto item = std::make_shared<FileModel>();
                FieldReader itemFields(itemValue, itemWhere, &result.error);
                qint64 size = 0;
                QString mac;
                if (!itemFields.text(itemkeys::path, item->path) || !itemFields.text(itemkeys::name, item->name) ||
                    !itemFields.text(itemkeys::encryptedPath, item->encryptedPath) ||
                    !itemFields.text(itemkeys::macAddress, mac) ||
                    !itemFields.integer(itemkeys::createDate, item->createDate) ||
                    !itemFields.integer(itemkeys::addDate, item->addDate) ||
                    !itemFields.integer(itemkeys::fileSize, size) ||
                    !itemFields.flag(itemkeys::isEncrtypt, item->isEncrtypt)) {
                    return result;
                }
                item->fileSize = size;
                if (kind == ListKind::Removable) {
                    // Items of a drive carry no address in memory; their path follows the
                    // volume the drive is mounted as now.
                    item->path = rewriteVolumePath(item->path, volumeName);
                } else {
                    // An item recorded without an address was added on this machine as far
                    // as anyone can tell; it keeps the address from now on.
                    item->macAddress = mac.isEmpty() ? currentMacAddress : mac;
                }
                items->append(std::move(item));
            }
        }
        // Headers and add rows hold no list; one that somehow carries items keeps them, so
        // that nothing recorded is dropped.
        if (!((row->isHeader || row->isAddItem) && items->isEmpty())) {
            row->fileModels = std::move(items);
        }
        rows.append(std::move(row));
    }
    renumberRowList(rows);
    result.rows = std::move(rows);
    return result;
}

FileRead readCatalogueFile(const QString& path) {
    FileRead read;
    if (path.isEmpty()) {
        read.status = FileRead::Status::Unreadable;
        read.reason = QStringLiteral("no vault root is set");
        return read;
    }
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
        const int code = errno;
        read.status = code == ENOENT ? FileRead::Status::Missing : FileRead::Status::Unreadable;
        read.reason = QString::fromLocal8Bit(std::strerror(code));
        return read;
    }
    if (!S_ISREG(st.st_mode)) {
        read.status = FileRead::Status::Unreadable;
        read.reason = QStringLiteral("not a regular file");
        return read;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        read.status = FileRead::Status::Unreadable;
        read.reason = file.errorString();
        return read;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        read.status = FileRead::Status::Unreadable;
        read.reason = file.errorString();
        return read;
    }
    plist::ParseResult parsed = plist::parse(bytes);
    if (!parsed.value) {
        read.status = FileRead::Status::Damaged;
        read.reason = parsed.error;
        return read;
    }
    read.status = FileRead::Status::Read;
    read.root = std::move(parsed.value);
    return read;
}

ListRead readRowListFile(const QString& path, ListKind kind, const QString& listKey, const QString& currentMacAddress,
                         const QString& volumeName) {
    ListRead list;
    FileRead read = readCatalogueFile(path);
    list.status = read.status;
    list.reason = read.reason;
    if (read.status != FileRead::Status::Read) {
        return list;
    }
    RowsResult rows = rowsFromPlist(*read.root, kind, listKey, currentMacAddress, volumeName);
    if (!rows.rows) {
        list.status = FileRead::Status::Damaged;
        list.reason = rows.error;
        return list;
    }
    list.rows = std::move(rows.rows);
    return list;
}

bool writeRowListFile(const QString& path, const RowList& rows, ListKind kind, const std::optional<QString>& password,
                      QString* error) {
    if (path.isEmpty()) {
        *error = QStringLiteral("no vault root is set");
        return false;
    }
    plist::SerializeResult serialized = serializeRows(rows, kind, password);
    if (!serialized.bytes) {
        *error = path + QStringLiteral(": ") + serialized.error;
        return false;
    }
    QString reason;
    if (!writeFileAtomically(path, *serialized.bytes, &reason)) {
        *error = path + QStringLiteral(": ") + reason;
        return false;
    }
    return true;
}

std::optional<QString> moveAside(const QString& path, qint64 secondsSince1970, QString* error) {
    const QString base = path + QStringLiteral(".damaged-") + QString::number(secondsSince1970);
    QString reason;
    for (int attempt = 1; attempt <= 100; ++attempt) {
        const QString target = attempt == 1 ? base : base + QStringLiteral("-%1").arg(attempt);
        if (renameNoReplace(path, target, &reason)) {
            syncDirectory(QFileInfo(path).absolutePath());
            return target;
        }
        if (QFileInfo::exists(target)) {
            continue;
        }
        break;
    }
    if (error) {
        *error = reason;
    }
    return std::nullopt;
}

}  // namespace tessaro::catalogue
