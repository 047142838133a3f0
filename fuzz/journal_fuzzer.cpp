// libFuzzer target for the repair: whatever a vault's journal says and whatever its catalogue
// records claim, the repair acts inside the sandbox that holds the vault and its plain items,
// and never on the victim folder beside it.
//
// Input: the journal's bytes, in which {home}, {vault}, {victim}, {photo}, {project},
// {photoTop} and {projectTop} stand for the sandbox's real paths (so that mutations reach
// real names), and lines "#record <0|1> <encryptedPath|name|path>=<value>" that change a
// catalogue record before the repair runs.
#include "core/catalogue.h"
#include "core/log.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/volumes.h"
#include "crypto/hardware_address.h"
#include "crypto/item_place.h"
#include "vault/add_items.h"
#include "vault/item_operations.h"
#include "vault/vault_check.h"
#include "vault/vault_journal.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

using namespace tessaro;

namespace {

QString fuzzRoot;  // holds "sandbox" and "victim" and nothing else
QString sandbox;
QString victim;
QString home;
QString vaultRoot;

// Kind, content digest or link target of every entry below `root`.
QMap<QString, QString> manifestOf(const QString& root) {
    QMap<QString, QString> manifest;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        QString what = info.isSymLink() ? QStringLiteral("link ") + info.symLinkTarget()
                       : info.isDir()   ? QStringLiteral("folder")
                                        : QStringLiteral("file ");
        if (!info.isSymLink() && info.isFile()) {
            QFile f(path);
            f.open(QIODevice::ReadOnly);
            what += QString::fromLatin1(QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256).toHex());
        }
        manifest.insert(path.mid(root.size()), what);
    }
    return manifest;
}

// The sandbox as first made, restored before every input.
struct Saved {
    bool folder = false;
    QByteArray bytes;
};
QMap<QString, Saved> pristine;
QMap<QString, QString> victimManifest;
QString photoTop;
QString projectTop;

void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size()) {
        std::abort();
    }
}

void snapshotSandbox() {
    QDirIterator it(sandbox, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        Saved saved;
        saved.folder = it.fileInfo().isDir();
        if (!saved.folder) {
            QFile f(path);
            f.open(QIODevice::ReadOnly);
            saved.bytes = f.readAll();
        }
        pristine.insert(path, saved);
    }
}

void restoreSandbox() {
    QDir(sandbox).removeRecursively();
    QDir().mkpath(sandbox);
    for (auto it = pristine.cbegin(); it != pristine.cend(); ++it) {
        if (it.value().folder) {
            QDir().mkpath(it.key());
        } else {
            writeFile(it.key(), it.value().bytes);
        }
    }
}

void removeFuzzRoot() { QDir(fuzzRoot).removeRecursively(); }

void setUpOnce() {
    QByteArray base = QDir::tempPath().toUtf8() + "/tessaro-journal-fuzz-XXXXXX";
    if (!::mkdtemp(base.data())) {
        std::abort();
    }
    fuzzRoot = QString::fromUtf8(base);
    std::atexit(removeFuzzRoot);
    sandbox = fuzzRoot + QStringLiteral("/sandbox");
    victim = fuzzRoot + QStringLiteral("/victim");
    home = sandbox + QStringLiteral("/home");
    vaultRoot = sandbox + QStringLiteral("/My Vault.flp");
    for (const char* file : {"/Documents/thesis.txt", "/.ssh/id", "/notes.txt", "/empty/.keep"}) {
        writeFile(victim + QString::fromLatin1(file), QByteArray("victim ") + file);
    }
    QDir().mkpath(victim + QStringLiteral("/an empty folder"));
    setLogToStderr(false);  // one line per refused entry would drown libFuzzer's own output
    SettingsStore::useFile(sandbox + QStringLiteral("/config/Tessaro.conf"));
    Volumes::setRoot(sandbox + QStringLiteral("/media"));
    setHardwareAddressSource([] { return std::optional<QString>(QStringLiteral("a4:83:e7:12:34:56")); });
    QDir().mkpath(vaultRoot);
    SettingsStore::setValue(QString::fromLatin1(keys::kRootDirKey), vaultRoot);
    SettingsStore::setValue(QString::fromLatin1(keys::kSOUREPASSWORD), QStringLiteral("correct horse"));

    writeFile(home + QStringLiteral("/photo.jpg"), QByteArray(3000, 'p'));
    writeFile(home + QStringLiteral("/Project/a.txt"), "alpha");
    writeFile(home + QStringLiteral("/Project/sub/b.txt"), "beta");
    Catalogue catalogue;
    if (!catalogue.setUp(std::nullopt, false)) {
        std::abort();
    }
    const vault::AddTarget target = vault::addTargetFor(catalogue, QString::fromLatin1(kLocalListKey), 1);
    const FileModelList records =
        vault::prepareAdd({home + QStringLiteral("/photo.jpg"), home + QStringLiteral("/Project")}, {}, target, 0, {})
            .records;
    vault::commitAdd(target, records);
    // The photo hidden, the project visible with a stored copy left by unhiding all.
    for (const FileModelPtr& r : records) {
        if (!vault::hideRecordJournaled(r, {}, true).complete) {
            std::abort();
        }
        r->isEncrtypt = true;
    }
    records.at(1)->isEncrtypt = !vault::unhideRecordJournaled(records.at(1), {}, true).complete;
    if (!catalogue.SaveGroupList(0) || !vault::clearJournal(vaultRoot)) {
        std::abort();
    }
    photoTop = walk::placeOf(*records.at(0)).place->storedTop();
    projectTop = walk::placeOf(*records.at(1)).place->storedTop();
    snapshotSandbox();
    victimManifest = manifestOf(victim);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool ready = (setUpOnce(), true);
    (void)ready;
    restoreSandbox();
    const QString input = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QByteArray journal;
    QList<QStringList> edits;
    for (const QString& line : input.split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("#record "))) {
            edits.append(line.mid(8).split(QLatin1Char(' ')));
            continue;
        }
        QString expanded = line;
        expanded.replace(QStringLiteral("{home}"), home)
            .replace(QStringLiteral("{vault}"), vaultRoot)
            .replace(QStringLiteral("{victim}"), victim)
            .replace(QStringLiteral("{photo}"), home + QStringLiteral("/photo.jpg"))
            .replace(QStringLiteral("{project}"), home + QStringLiteral("/Project"))
            .replace(QStringLiteral("{photoTop}"), photoTop)
            .replace(QStringLiteral("{projectTop}"), projectTop);
        journal += expanded.toUtf8() + '\n';
    }
    writeFile(vault::journalPath(vaultRoot), journal);

    Catalogue catalogue;
    if (!catalogue.setUp(std::nullopt, false)) {
        std::abort();
    }
    const FileModelList& records = *catalogue.groupDirList.at(1)->fileModels;
    for (const QStringList& edit : edits) {
        const int index = edit.value(0).toInt();
        const QString assignment = edit.mid(1).join(QLatin1Char(' '));
        const qsizetype equals = assignment.indexOf(QLatin1Char('='));
        if (index < 0 || index >= records.size() || equals < 0) {
            continue;
        }
        const QString field = assignment.left(equals);
        // A record may claim any container or name; its plain path, though, is by definition
        // where its owner keeps the item, so it is not pointed into the victim folder.
        QString value = assignment.mid(equals + 1).replace(QStringLiteral("{home}"), home);
        if (field != QLatin1String("path")) {
            value.replace(QStringLiteral("{victim}"), victim);
        }
        FileModel& record = *records.at(index);
        (field == QLatin1String("encryptedPath") ? record.encryptedPath
         : field == QLatin1String("name")        ? record.name
                                                 : record.path) = value;
    }
    const vault::CheckReport report = vault::checkVault(catalogue, true);
    (void)report;
    if (manifestOf(victim) != victimManifest ||
        QDir(fuzzRoot).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot) !=
            QStringList{QStringLiteral("sandbox"), QStringLiteral("victim")}) {
        std::fprintf(stderr, "the repair touched something outside its sandbox\n");
        std::abort();
    }
    return 0;
}
