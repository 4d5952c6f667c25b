// What the setup will change, said before it changes anything: for each
// ticked account its server, user, port and security now and after
// "Change Settings Automatically"; and for "Undo setup" the accounts it
// will set back and the backup it takes them from.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "setup/untAccounts.h"

namespace qb {

std::string SetupPreviewText(AccountStore store, const std::vector<std::string>& keys,
                             const std::vector<std::string>& lines,
                             const std::vector<std::size_t>& chosen, int gatewayPort);

// "" when no profile has anything to undo.
std::string UndoPreviewText();

inline constexpr const char* kSetupConfirmCaption = "Change these accounts";
inline constexpr const char* kUndoConfirmCaption = "Undo setup";

}  // namespace qb
