#include "access/vault_creation.h"

#include "access/log_lines.h"

#include "core/catalogue.h"
#include "core/catalogue_format.h"
#include "core/localized_text.h"
#include "core/log.h"
#include "core/log_lines.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/vault_paths.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace tessaro::access {

namespace {

QString text(const char* key) { return LanguageBundle::localizedStringForKey(QString::fromLatin1(key)); }
QString key(const char* k) { return QString::fromLatin1(k); }

// What this call made, so that a failure can take exactly that back.
class CreatedPaths {
public:
    void directory(const QString& path) { made_.append({path, true}); }
    void file(const QString& path) { made_.append({path, false}); }
    void undo() {
        for (auto it = made_.crbegin(); it != made_.crend(); ++it) {
            const QByteArray native = QFile::encodeName(it->first);
            // rmdir only removes an empty directory: whatever appeared in it meanwhile stays.
            if (it->second ? ::rmdir(native.constData()) != 0 : ::unlink(native.constData()) != 0) {
                logLine(QString::fromUtf8(access::loglines::kUndoFailed)
                            .arg(it->first, QString::fromLocal8Bit(std::strerror(errno))));
            }
        }
        made_.clear();
    }

private:
    QList<std::pair<QString, bool>> made_;
};

QString lastSystemError() { return QString::fromLocal8Bit(std::strerror(errno)); }

// One private directory: made when missing (with any missing parents), refused when
// something else is in its place.
bool ensurePrivateDirectory(const QString& path, CreatedPaths& created, QString* message) {
    const QFileInfo info(path);
    if (info.isDir()) {
        return true;
    }
    if (info.exists() || info.isSymLink()) {
        *message = text("vaultCreation.notADirectory").arg(path);
        return false;
    }
    const QString parent = info.absolutePath();
    if (!QFileInfo(parent).isDir()) {
        // Parents are ordinary folders of the user's (such as ~/Videos): default mode.
        QStringList missing;
        for (QFileInfo p(parent); !p.exists() && !p.isSymLink(); p = QFileInfo(p.absolutePath())) {
            missing.prepend(p.absoluteFilePath());
        }
        for (const QString& dir : std::as_const(missing)) {
            if (::mkdir(QFile::encodeName(dir).constData(), 0777) != 0) {
                *message = text("vaultCreation.cannotCreate").arg(dir, lastSystemError());
                logLine(QString::fromUtf8(tessaro::loglines::kCreateFolderError).arg(*message));
                return false;
            }
            created.directory(dir);
        }
    }
    if (::mkdir(QFile::encodeName(path).constData(), 0700) != 0) {
        *message = text("vaultCreation.cannotCreate").arg(path, lastSystemError());
        logLine(QString::fromUtf8(tessaro::loglines::kCreateFolderError).arg(*message));
        return false;
    }
    // mkdir honours the umask, which can only take bits away; set the mode outright anyway.
    ::chmod(QFile::encodeName(path).constData(), 0700);
    created.directory(path);
    return true;
}

// A default catalogue where none exists; an existing one (even a damaged one) is left for
// the main window, which keeps what can be read.
bool ensureCatalogue(const QString& path, const RowList& rows, catalogue::ListKind kind, CreatedPaths& created,
                     QString* message) {
    const QFileInfo info(path);
    if (info.exists() || info.isSymLink()) {
        return true;
    }
    QString error;
    if (!catalogue::writeRowListFile(path, rows, kind, std::nullopt, &error)) {
        *message = text("vaultCreation.catalogueFailed").arg(path, error);
        logLine(QString::fromUtf8(tessaro::loglines::kCatalogueWriteFailed).arg(error));
        return false;
    }
    created.file(path);
    return true;
}

}  // namespace

QString vaultRootForChosenPath(const QString& chosenPath) {
    QString root = QDir::cleanPath(QFileInfo(chosenPath).absoluteFilePath());
    if (!root.endsWith(QLatin1String(vaultpaths::kVaultSuffix))) {
        root += QLatin1String(vaultpaths::kVaultSuffix);
    }
    return root;
}

QString refusalForVaultRoot(const QString& root) {
    const QFileInfo info(root);
    if ((info.exists() || info.isSymLink()) && !info.isDir()) {
        return text("vaultCreation.notADirectory").arg(root);
    }
    return {};
}

QList<std::pair<QString, QVariant>> vaultCreationSettings(const QString& root, const NewVault& vault) {
    return {
        {key(keys::kRootDirKey), root},
        {key(keys::mainWindowSizeWidth), 800},
        {key(keys::mainWindowSizeHeight), 500},
        {key(keys::kPASSWORDHINTCONTENT), vault.hint.isEmpty() ? QVariant() : QVariant(vault.hint)},
        {key(keys::FirstRun), true},
        {key(keys::kSOUREPASSWORD), vault.password},
        // Nothing reads this key; it records the box, never the password a second time.
        {key(keys::remmenberBtnState), vault.remember ? QVariant(1) : QVariant()},
    };
}

VaultCreation createVault(const NewVault& vault) {
    VaultCreation result;
    result.root = vaultRootForChosenPath(vault.chosenPath);
    result.passwordRefusal = refusalForNewPassword(vault.password);
    if (result.passwordRefusal != PasswordRefusal::None) {
        result.message = describeRefusal(result.passwordRefusal);
        return result;
    }
    result.message = refusalForVaultRoot(result.root);
    if (!result.message.isEmpty()) {
        return result;
    }
    result.existed = QFileInfo(result.root).isDir();

    CreatedPaths created;
    const auto fail = [&](VaultCreation& r) -> VaultCreation& {
        created.undo();
        return r;
    };
    if (!ensurePrivateDirectory(result.root, created, &result.message)) {
        return fail(result);
    }
    if (!result.existed) {
        logLine(QString::fromUtf8(tessaro::loglines::kRootCreated));
    }
    const QString notes = joinPath(result.root, key(vaultpaths::kNotesDir));
    const QString thumb = joinPath(result.root, key(vaultpaths::kThumbDir));
    if (!ensurePrivateDirectory(notes, created, &result.message) ||
        !ensurePrivateDirectory(thumb, created, &result.message)) {
        return fail(result);
    }
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    if (!ensureCatalogue(joinPath(result.root, key(vaultpaths::kGroupDirList)), Catalogue::defaultLocalList(now),
                         catalogue::ListKind::Local, created, &result.message) ||
        !ensureCatalogue(joinPath(result.root, key(vaultpaths::kGroupNotesList)), Catalogue::defaultNotesList(now),
                         catalogue::ListKind::Notes, created, &result.message)) {
        return fail(result);
    }
    // Last, and all at once: "FirstRun" never says a vault exists before it does.
    if (!SettingsStore::setValues(vaultCreationSettings(result.root, vault))) {
        result.message = text("vaultCreation.settingsFailed").arg(SettingsStore::filePath());
        logLine(QString::fromUtf8(access::loglines::kSettingsNotWritten).arg(SettingsStore::filePath()));
        return fail(result);
    }
    result.ok = true;
    result.message.clear();
    return result;
}

}  // namespace tessaro::access
