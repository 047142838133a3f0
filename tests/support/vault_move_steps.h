#pragma once

// A move of the vault cut short by a kill, for the tests of how the next start settles it.
// Header only: the tests that use it link the vault library, the others need not.
#include "support/test_environment.h"
#include "vault/vault_move.h"

#include <cstdio>
#include <signal.h>

namespace tessaro::testing {

// Moves the vault to `destination` in a child process that is killed right after the rename
// put the vault there, before the setting followed it; true when the child died that way.
inline bool moveKilledRightAfterRename(const QString& destination) {
    vault::MoveOptions options;
    options.rename = [](const QByteArray& from, const QByteArray& to) {
        if (::rename(from.constData(), to.constData()) == 0) {
            ::raise(SIGKILL);
        }
        return -1;
    };
    return runChild([&] { return static_cast<int>(vault::moveVault(destination, options).problem); }) == -1;
}

}  // namespace tessaro::testing
