// The desktop's secret store, where checking ahead keeps the passwords it
// needs (never in a plain file). Both calls answer on the main thread, from
// a posted message, never inside the call: a real store may take its time
// (a locked keyring asks the user to unlock it).
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace qb {

class ISecretStore {
 public:
  virtual ~ISecretStore() = default;
  // Keeps the password of the account ("alice#pop.example.org"); `done`
  // tells whether it was kept.
  virtual void Store(const std::string& account, const std::string& password,
                     std::function<void(bool kept)> done) = 0;
  // The password kept for the account, or nullopt.
  virtual void Lookup(const std::string& account,
                      std::function<void(std::optional<std::string> password)> done) = 0;
};

// The freedesktop Secret Service (GNOME Keyring, KWallet, KeePassXC) through
// libsecret, each call on a worker thread of its own.
std::unique_ptr<ISecretStore> MakeLibsecretStore();

}  // namespace qb
