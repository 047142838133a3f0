#pragma once

#include "core/group_model.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace tessaro::vault {

// Rescue: every stored copy found in a vault's containers is restored into a folder of the
// user's choice, one subfolder per group, without changing anything in the vault or its
// catalogue. The containers are walked on disk, so this works when the catalogue is missing
// or damaged; when it can be read, it gives the groups their names and leaves out items it
// shows as visible (their plain copy is where the catalogue says).
struct RecoverReport {
    QStringList recovered;  // "<stored copy> -> <where it went>"
    QStringList skipped;
    QStringList problems;
};

RecoverReport recoverEveryItem(const QString& vaultDirectory, const std::optional<RowList>& catalogueRows,
                               const QString& destination);

}  // namespace tessaro::vault
