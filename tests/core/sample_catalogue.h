#pragma once

#include "core/catalogue.h"

#include "support/test_environment.h"

#include <gtest/gtest.h>

namespace tessaro::testing {

// Sample item `id`: A, B, C in "All Items", D in "Trips".
inline FileModelPtr sampleItem(char id) {
    const int number = id - 'A' + 1;
    auto item = std::make_shared<FileModel>();
    item->name = QStringLiteral("%1.txt").arg(id);
    item->path = QStringLiteral("/nowhere-plain/") + item->name;
    item->encryptedPath = QStringLiteral("11-22/%1").arg(id);
    item->macAddress = QStringLiteral("0c:4d:e9:aa:bb:cc");
    item->createDate = 1700000000 + number;
    item->addDate = 1767323000 + number;
    item->fileSize = 1000 + number;
    item->isEncrtypt = true;
    return item;
}

// One place of the sample's text made bad: the first `from` after `after`, or all from it
// through the next `until`, becomes `to`. B's own values are its path ".../B.txt", created
// 1700000002, added 1767323002 and size 1002.
struct Change {
    const char* after;
    const char* from;
    const char* to;
    const char* until = nullptr;
};

// Header, "All Items" (11-22) with A, B and C, "Trips" (33-44) with D, the add row, as our
// writer lays them out; then `change` is made.
inline QByteArray sampleCatalogue(const TestEnvironment& env, const Change& change = {"", "", ""}) {
    Catalogue writer;
    writer.setUp(std::nullopt, false);
    RowList& rows = writer.groupDirList;
    rows[1]->path = QStringLiteral("11-22");
    rows.insert(2, makeGroupRow(QStringLiteral("Trips"), QString::fromLatin1(kLocalListKey), false, 0));
    rows[2]->path = QStringLiteral("33-44");
    for (const char id : {'A', 'B', 'C', 'D'}) {
        rows[id == 'D' ? 2 : 1]->fileModels->append(sampleItem(id));
    }
    renumberRowList(rows);
    EXPECT_TRUE(writer.SaveGroupList(0));
    QByteArray text = TestEnvironment::readFile(env.vaultRoot() + QStringLiteral("/GroupDirlist.plist"));
    const qsizetype at = text.indexOf(change.from, text.indexOf(change.after));
    const qsizetype end =
        change.until ? text.indexOf(change.until, at) + qstrlen(change.until) : at + qstrlen(change.from);
    EXPECT_TRUE(at >= 0 && end >= at) << change.from;
    return text.replace(at, end - at, change.to);
}

}  // namespace tessaro::testing
