#pragma once

#include "core/catalogue.h"
#include "support/test_environment.h"
#include "support/vault_tool.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QSettings>

namespace tessaro::testing {

// A vault set up by the library for the tool to work on, with a home folder for the
// user's files.
struct ToolVault {
    TestEnvironment env;
    QString home = env.base() + QStringLiteral("/home");
    ToolVault() {
        Catalogue catalogue;
        EXPECT_TRUE(catalogue.setUp(std::nullopt, false));
        QDir().mkpath(home);
    }
    // With the right password on standard input.
    ToolRun run(const QStringList& arguments, const QString& workingDirectory = {}) const {
        return runVaultTool(env, arguments, passwordLine(), workingDirectory);
    }
    // A place in the sandbox, beside the vault and the home folder.
    QString at(const QString& relative) const { return env.base() + QLatin1Char('/') + relative; }
    // A file in the home folder that holds "<name> bytes".
    QString file(const QString& name) const {
        const QString path = home + QLatin1Char('/') + name;
        TestEnvironment::writeFile(path, name.toUtf8() + " bytes");
        return path;
    }
    QString listed() const { return QString::fromUtf8(runVaultTool(env, {QStringLiteral("list")}).out); }
    // The groups and items as the saved catalogue has them: "name: item, item | name: ...",
    // a hidden item marked with "*".
    std::string groups() const {
        Catalogue c;
        EXPECT_TRUE(c.setUp(std::nullopt, false));
        QStringList out;
        for (const GroupModelPtr& row : c.groupDirList) {
            if (row->isHeader || row->isAddItem) {
                continue;
            }
            QStringList names;
            for (const FileModelPtr& item : *row->fileModels) {
                names.append(item->name + (item->isEncrtypt ? QStringLiteral("*") : QString()));
            }
            out.append(row->name + QStringLiteral(": ") + names.join(QStringLiteral(", ")));
        }
        return out.join(QStringLiteral(" | ")).toStdString();
    }
    // The one stored file below the vault whose name is `storedName`.
    QString storedFile(const QString& storedName) const {
        QDirIterator it(env.vaultRoot(), {storedName}, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        return it.hasNext() ? it.next() : QString();
    }
};

// A value of the settings file, read by a process other than the one that wrote it.
inline QVariant settingOf(const TestEnvironment& env, const char* key) {
    return QSettings(env.settingsFile(), QSettings::IniFormat).value(QString::fromLatin1(key));
}

}  // namespace tessaro::testing
