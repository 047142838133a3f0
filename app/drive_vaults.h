#pragma once

namespace tessaro {

// Vaults on removable drives. The guide's page about them and the item pane's button
// follow this one switch, so that no screen offers what the button cannot do.
inline constexpr bool kDriveVaultsAvailable = true;

}  // namespace tessaro
