#include "platform/InternetSettings.h"

#include <atomic>
#include <cstdlib>
#include <string_view>

#include "platform/AsciiText.h"

namespace qb {

namespace {

std::atomic<bool> settingsUnreadable{false};

// "http://proxy:3128/" becomes "proxy:3128", the registry's form.
std::string ProxyServerFromEnvironment(std::string_view value) {
  constexpr std::string_view scheme = "http://";
  if (StartsWithIgnoringAsciiCase(value, scheme)) value.remove_prefix(scheme.size());
  while (!value.empty() && value.back() == '/') value.remove_suffix(1);
  return std::string(value);
}

}  // namespace

std::optional<InternetSettings> ReadInternetSettings() {
  if (settingsUnreadable) return std::nullopt;
  InternetSettings settings;
  const char* proxy = std::getenv("http_proxy");
  if (proxy != nullptr && *proxy != '\0') {
    settings.ProxyEnable = 1;
    settings.ProxyServer = ProxyServerFromEnvironment(proxy);
  }
  return settings;
}

void SetInternetSettingsUnreadable(bool unreadable) {
  settingsUnreadable = unreadable;
}

}  // namespace qb
