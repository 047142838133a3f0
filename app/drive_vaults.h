#pragma once

namespace tessaro {

// Vaults on removable drives cannot be opened or created yet. The guide's page about them
// and the item pane's button follow this one switch, so that no screen offers what the
// button cannot do; turning drives on is this line.
inline constexpr bool kDriveVaultsAvailable = false;

}  // namespace tessaro
