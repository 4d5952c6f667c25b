// The current user's Internet proxy settings. The program was designed
// against the registry values ProxyEnable and ProxyServer; here they come
// from the `http_proxy` environment variable: set and non-empty means the
// proxy is enabled, and its value (without an "http://" prefix or a trailing
// "/") is the proxy server, "host:port".
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace qb {

struct InternetSettings {
  std::uint32_t ProxyEnable = 0;
  std::string ProxyServer;  // empty when no proxy is named
};

// The settings, or nullopt when they cannot be read. Safe from any thread.
std::optional<InternetSettings> ReadInternetSettings();

// Lets tests make the settings unreadable, as a missing ProxyEnable value
// would be. Process-wide; safe from any thread.
void SetInternetSettingsUnreadable(bool unreadable);

}  // namespace qb
