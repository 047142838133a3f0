#include "core/catalogue_format.h"

#include "core/atomic_file.h"
#include "core/record_check.h"
#include "core/vault_paths.h"
#include "core/volumes.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace tessaro::catalogue {

using plist::Value;

namespace {

QLatin1StringView keyText(const char* key) { return QLatin1StringView(key); }

// ---------------------------------------------------------------------------------------
// Writing

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
void writeItem(plist::Writer& out, const FileModel& item, ListKind kind) {
    out.beginDictionary();
    // A drive's file names the volume as "/Volumes/<volume>/...", wherever this system
    // mounted it, so that the file reads the same on every computer.
    entry(out, itemkeys::path, kind == ListKind::Removable ? Volumes::toFormatPath(item.path) : item.path);
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
                writeItem(out, *item, kind);
            }
        }
    }
    out.endArray();
    out.endDictionary();
}

// ---------------------------------------------------------------------------------------
// Reading

// A field that could not be read, and what was done instead.
struct FieldProblem {
    QString key;
    QString expected;
    const Value* found;
    QString instead;

    // A value the reader already refused carries its own reason, which says what was
    // expected and found, with the line.
    QString why() const {
        return found->isInvalid() ? found->string
                                  : QStringLiteral("expected %1, found %2").arg(expected, found->describe());
    }
};

// Reads the fields of one row or item dictionary. A missing key leaves the field as it is;
// a value that cannot mean the field's type leaves it as it is too, and is recorded, so
// that the caller can say what it did instead.
class FieldReader {
public:
    explicit FieldReader(const Value& dictionary) : dictionary_(dictionary) {}

    FieldProblem* text(const char* key, QString& out) { return read(key, out, "a text", &Value::toText); }
    FieldProblem* integer(const char* key, qint64& out) { return read(key, out, "a whole number", &Value::toInteger); }
    FieldProblem* flag(const char* key, bool& out) { return read(key, out, "<true/> or <false/>", &Value::toBoolean); }

    bool has(const char* key) const { return dictionary_.find(keyText(key)) != nullptr; }
    const std::vector<FieldProblem>& problems() const { return problems_; }

    // One line per problem, for the report.
    void report(const QString& where, QStringList& lines) const {
        for (const FieldProblem& p : problems_) {
            lines.append(QStringLiteral("%1: \"%2\" could not be read (%3); %4").arg(where, p.key, p.why(), p.instead));
        }
    }

private:
    const Value& dictionary_;
    // Stable addresses: a problem is handed out before the next one is added.
    std::vector<FieldProblem> problems_;

    template <typename T>
    FieldProblem* read(const char* key, T& out, const char* expected, std::optional<T> (Value::*convert)() const) {
        const Value* v = dictionary_.find(keyText(key));
        if (!v) {
            return nullptr;
        }
        if (const std::optional<T> converted = (v->*convert)()) {
            out = *converted;
            return nullptr;
        }
        return mismatch(key, expected, *v);
    }

    FieldProblem* mismatch(const char* key, const char* expected, const Value& found) {
        problems_.push_back({QString::fromLatin1(key), QString::fromLatin1(expected), &found, QString()});
        return &problems_.back();
    }
};

QString named(const QString& where, const QString& name) {
    constexpr qsizetype shown = 60;
    if (name.isEmpty()) {
        return where;
    }
    return QStringLiteral("%1 (\"%2\")").arg(where, name.size() > shown ? name.left(shown) + QChar(0x2026) : name);
}

// Whether an item whose hidden flag could not be read is hidden: its container is there and
// its plain form is not.
bool looksHidden(const FileModel& item, const ListSource& source) {
    // A damaged record's paths may lie anywhere: they are not even looked at.
    if (source.vaultBase.isEmpty() || item.encryptedPath.isEmpty() || !item.damage.isEmpty()) {
        return false;
    }
    return QFileInfo::exists(joinPath(source.vaultBase, item.encryptedPath)) && !QFileInfo::exists(item.path);
}

constexpr char kCutOff[] = "the file breaks off inside it; what it did not reach is left at its default";

// One item dictionary; absent (and said why) when the item cannot be kept.
FileModelPtr readItem(const Value& itemValue, const ListSource& source, const QString& rowWhere, qsizetype position,
                      QStringList& unreadable) {
    // Said only when something is wrong: most items need no words.
    const auto where = [&rowWhere, position] { return QStringLiteral("%1, item %2").arg(rowWhere).arg(position); };
    if (!itemValue.isDictionary()) {
        unreadable.append(
            QStringLiteral("%1: expected a dictionary, found %2; left out").arg(where(), itemValue.describe()));
        return nullptr;
    }
    auto item = std::make_shared<FileModel>();
    FieldReader fields(itemValue);
    const bool pathUnreadable = fields.text(itemkeys::path, item->path) != nullptr;
    if (auto* p = fields.text(itemkeys::name, item->name)) {
        item->name = QFileInfo(item->path).fileName();
        p->instead = QStringLiteral("named after its path");
    }
    if (auto* p = fields.text(itemkeys::encryptedPath, item->encryptedPath)) {
        p->instead = QStringLiteral("its stored copy cannot be found from the catalogue");
    }
    const auto itemWhere = [&] { return named(where(), item->name); };
    // The path says where the item belongs and where it comes back to; without it the
    // record means nothing, so it is left out, saying where its stored copy lies.
    if (pathUnreadable || (itemValue.truncated && !fields.has(itemkeys::path))) {
        QString line = pathUnreadable ? QStringLiteral("%1: \"path\" could not be read (%2)")
                                            .arg(itemWhere(), fields.problems().front().why())
                                      : QStringLiteral("%1: the file breaks off before its path").arg(itemWhere());
        if (!item->encryptedPath.isEmpty()) {
            line += QStringLiteral("; its stored copy is in \"%1\"").arg(item->encryptedPath);
        }
        if (!itemValue.items.empty() || pathUnreadable) {
            unreadable.append(line + QStringLiteral("; left out"));
        }
        return nullptr;
    }
    if (source.kind == ListKind::Removable) {
        // Items of a drive follow the volume the drive is mounted as now.
        item->path = rewriteVolumePath(item->path, source.volumeName);
    }
    if (source.kind != ListKind::Notes) {
        if (const auto damage = recordDamage(*item)) {
            item->damage = *damage;
        }
    }
    QString mac;
    if (auto* p = fields.text(itemkeys::macAddress, mac)) {
        p->instead = source.kind == ListKind::Removable ? QStringLiteral("left empty")
                                                        : QStringLiteral("given this machine's address");
    }
    for (const auto& [key, field] :
         {std::pair{itemkeys::createDate, &item->createDate}, std::pair{itemkeys::addDate, &item->addDate}}) {
        if (auto* p = fields.integer(key, *field)) {
            p->instead = QStringLiteral("set to 0");
        }
    }
    qint64 size = 0;
    if (auto* p = fields.integer(itemkeys::fileSize, size)) {
        p->instead = QStringLiteral("set to 0");
    }
    item->fileSize = size;
    auto* hiddenProblem = fields.flag(itemkeys::isEncrtypt, item->isEncrtypt);
    if (hiddenProblem || (itemValue.truncated && !fields.has(itemkeys::isEncrtypt))) {
        // A wrong "shown" would offer to hide what is already hidden; what is on disk
        // tells which it is.
        item->isEncrtypt = looksHidden(*item, source);
        if (hiddenProblem) {
            hiddenProblem->instead = item->isEncrtypt ? QStringLiteral("taken as hidden: only its stored copy exists")
                                                      : QStringLiteral("taken as shown");
        }
    }
    if (!fields.problems().empty()) {
        fields.report(itemWhere(), unreadable);
    }
    if (itemValue.truncated) {
        unreadable.append(itemWhere() + QStringLiteral(": ") + QLatin1String(kCutOff));
    }
    // Items of a drive carry no address in memory.
    if (source.kind != ListKind::Removable) {
        // An item recorded without an address was added on this machine as far as anyone
        // can tell; it keeps the address from now on.
        item->macAddress = mac.isEmpty() ? source.currentMacAddress : mac;
    }
    return item;
}

// One row dictionary with its items; absent (and said why) when it is not a dictionary.
GroupModelPtr readRow(const Value& rowValue, const ListSource& source, qsizetype position, QStringList& unreadable) {
    QString where = QStringLiteral("row %1").arg(position);
    if (!rowValue.isDictionary()) {
        unreadable.append(
            QStringLiteral("%1: expected a dictionary, found %2; left out").arg(where, rowValue.describe()));
        return nullptr;
    }
    auto row = std::make_shared<GroupModel>();
    row->groupName = source.listKey;
    FieldReader fields(rowValue);
    if (auto* p = fields.text(rowkeys::name, row->name)) {
        p->instead = QStringLiteral("left empty");
    }
    where = named(where, row->name);
    for (const auto& [key, flag] :
         {std::pair{rowkeys::isHeader, &row->isHeader}, std::pair{rowkeys::isAddItem, &row->isAddItem},
          std::pair{rowkeys::isNotes, &row->isNotes}, std::pair{rowkeys::isGroupDir, &row->isGroupDir}}) {
        if (auto* p = fields.flag(key, *flag)) {
            p->instead = QStringLiteral("taken as false");
        }
    }
    if (auto* p = fields.text(rowkeys::path, row->path)) {
        // An empty directory name would put new items straight into the vault's base; a
        // group gets a fresh one, as a new group would.
        if (!row->isHeader && !row->isAddItem) {
            row->path = groupDirectoryName(row->name, QDateTime::currentSecsSinceEpoch());
            p->instead = QStringLiteral("items added from now on go to the new directory \"%1\"").arg(row->path);
        } else {
            p->instead = QStringLiteral("left empty");
        }
    }
    if (source.kind == ListKind::Removable) {
        for (const auto& [key, text] :
             {std::pair{rowkeys::password, &row->password}, std::pair{rowkeys::macAddress, &row->macAddress}}) {
            if (auto* p = fields.text(key, *text)) {
                p->instead = QStringLiteral("left empty");
            }
        }
    }
    fields.report(where, unreadable);
    auto items = std::make_shared<FileModelList>();
    if (const Value* itemArray = rowValue.find(keyText(rowkeys::FileModel))) {
        if (!itemArray->isArray()) {
            unreadable.append(QStringLiteral("%1: \"FileModel\" could not be read (expected an array, found %2); "
                                             "the group's items are lost from the list")
                                  .arg(where, itemArray->describe()));
        } else {
            items->reserve(static_cast<qsizetype>(itemArray->items.size()));
            for (std::size_t j = 0; j < itemArray->items.size(); ++j) {
                if (FileModelPtr item =
                        readItem(itemArray->items[j], source, where, static_cast<qsizetype>(j), unreadable)) {
                    items->append(std::move(item));
                }
            }
        }
    }
    if (rowValue.truncated) {
        unreadable.append(where + QStringLiteral(": ") + QLatin1String(kCutOff));
    }
    // Headers and add rows hold no list; one that somehow carries items keeps them, so
    // that nothing recorded is dropped.
    if (!((row->isHeader || row->isAddItem) && items->isEmpty())) {
        row->fileModels = std::move(items);
    }
    return row;
}

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
    // The format's own "/Volumes/", and the mount roots earlier versions wrote in its place.
    QStringList prefixes{QStringLiteral("/Volumes/")};
    for (const QString& root : Volumes::candidateRoots() + QStringList{Volumes::root()}) {
        prefixes.append(root + QLatin1Char('/'));
    }
    QString rest;
    for (const QString& prefix : std::as_const(prefixes)) {
        if (storedPath.startsWith(prefix)) {
            rest = storedPath.mid(prefix.size());
            break;
        }
    }
    if (rest.isEmpty()) {
        return storedPath;
    }
    QStringList pieces = rest.split(QLatin1Char('/'));
    pieces.removeFirst();  // the volume name at the time of saving
    QString path = Volumes::pathFor(volumeName);
    for (const QString& piece : pieces) {
        path = joinPath(path, piece);
    }
    return path;
}

RowsResult rowsFromPlist(const Value& root, const ListSource& source) {
    RowsResult result;
    if (!root.isArray()) {
        result.unreadable.append(QStringLiteral("expected an array of rows, found %1").arg(root.describe()));
        return result;
    }
    RowList rows;
    for (std::size_t i = 0; i < root.items.size(); ++i) {
        const Value& rowValue = root.items[i];
        // A row the file broke off in before anything of it was read is no row.
        if (rowValue.truncated && rowValue.items.empty()) {
            continue;
        }
        if (GroupModelPtr row = readRow(rowValue, source, static_cast<qsizetype>(i), result.unreadable)) {
            rows.append(std::move(row));
        }
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
        read.root = std::move(parsed.partial);
        return read;
    }
    read.status = FileRead::Status::Read;
    read.root = std::move(parsed.value);
    return read;
}

ListRead readRowListFile(const QString& path, const ListSource& source) {
    ListRead list;
    list.damage.path = path;
    FileRead read = readCatalogueFile(path);
    list.status = read.status;
    list.reason = read.reason;
    if (read.status == FileRead::Status::Missing || read.status == FileRead::Status::Unreadable) {
        return list;
    }
    if (read.status == FileRead::Status::Damaged) {
        list.damage.unreadable.append(read.reason + QStringLiteral("; nothing after this point could be read"));
    }
    if (!read.root) {
        return list;
    }
    RowsResult rows = rowsFromPlist(*read.root, source);
    list.damage.unreadable += rows.unreadable;
    if (!list.damage.unreadable.isEmpty()) {
        list.status = FileRead::Status::Damaged;
        list.reason = list.damage.unreadable.first();
    }
    if (rows.rows) {
        for (const GroupModelPtr& row : *rows.rows) {
            if (row->fileModels) {
                list.damage.groupsKept += row->isHeader || row->isAddItem ? 0 : 1;
                list.damage.itemsKept += row->fileModels->size();
            }
        }
        list.rows = std::move(rows.rows);
    }
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
    // The catalogue names every hidden item: owner-only, as everything else in the vault.
    AtomicFileWriter writer(path);
    writer.setOwnerOnly();
    if (!writer.open() || !writer.write(*serialized.bytes) || !writer.commit()) {
        *error = path + QStringLiteral(": ") + writer.errorString();
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
