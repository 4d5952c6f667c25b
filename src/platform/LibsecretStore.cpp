// The secret store over libsecret. libsecret's synchronous calls block on
// D-Bus (and on the user, when the keyring must be unlocked), so each runs
// on a worker thread; the result comes back through a posted message to the
// store's window. The destructor waits for the workers, and a result that
// arrives after it is dropped with the window.
#include <libsecret/secret.h>

#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/MessageLoop.h"
#include "platform/SecretStore.h"

namespace qb {

namespace {

constexpr std::uint32_t kSecretDone = WM_USER + 1;

const SecretSchema* PasswordSchema() {
  static const SecretSchema schema = {
      "org.quillbright.Password",
      SECRET_SCHEMA_NONE,
      {{"account", SECRET_SCHEMA_ATTRIBUTE_STRING}, {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
      0,
      nullptr,
      nullptr,
      nullptr,
      nullptr,
      nullptr,
      nullptr,
      nullptr};
  return &schema;
}

class TLibsecretStore : public ISecretStore {
 public:
  TLibsecretStore() {
    window_ = MessageLoop::Instance().CreateWindow([this](std::uint32_t msg, WPARAM id, LPARAM) {
      if (msg == kSecretDone) Finish(id);
      return LRESULT{0};
    });
  }
  ~TLibsecretStore() override {
    MessageLoop::Instance().DestroyWindow(window_);
    for (std::thread& worker : workers_) worker.join();
  }

  void Store(const std::string& account, const std::string& password,
             std::function<void(bool)> done) override {
    Run(
        [account, password] {
          GError* error = nullptr;
          std::string label = "Quillbright: " + account;
          gboolean kept = secret_password_store_sync(PasswordSchema(), SECRET_COLLECTION_DEFAULT,
                                                     label.c_str(), password.c_str(), nullptr,
                                                     &error, "account", account.c_str(), nullptr);
          if (error != nullptr) g_error_free(error);
          return kept ? std::optional<std::string>("") : std::nullopt;
        },
        [done](const std::optional<std::string>& result) { done(result.has_value()); });
  }

  void Lookup(const std::string& account,
              std::function<void(std::optional<std::string>)> done) override {
    Run(
        [account]() -> std::optional<std::string> {
          GError* error = nullptr;
          gchar* password = secret_password_lookup_sync(PasswordSchema(), nullptr, &error,
                                                        "account", account.c_str(), nullptr);
          if (error != nullptr) g_error_free(error);
          if (password == nullptr) return std::nullopt;
          std::string found = password;
          secret_password_free(password);
          return found;
        },
        std::move(done));
  }

 private:
  using Done = std::function<void(std::optional<std::string>)>;

  template <typename Work>
  void Run(Work work, Done done) {
    WPARAM id = nextId_++;
    pending_[id] = std::move(done);
    HWND window = window_;
    workers_.emplace_back([this, id, window, work] {
      std::optional<std::string> result = work();
      {
        std::lock_guard lock(resultsLock_);
        results_[id] = std::move(result);
      }
      MessageLoop::Instance().PostMessage(window, kSecretDone, id);
    });
  }

  void Finish(WPARAM id) {
    std::optional<std::string> result;
    {
      std::lock_guard lock(resultsLock_);
      result = std::move(results_[id]);
      results_.erase(id);
    }
    auto pending = pending_.find(id);
    if (pending == pending_.end()) return;
    Done done = std::move(pending->second);
    pending_.erase(pending);
    done(std::move(result));
  }

  HWND window_ = 0;
  WPARAM nextId_ = 1;
  std::map<WPARAM, Done> pending_;
  std::vector<std::thread> workers_;
  std::mutex resultsLock_;
  std::map<WPARAM, std::optional<std::string>> results_;
};

}  // namespace

std::unique_ptr<ISecretStore> MakeLibsecretStore() {
  return std::make_unique<TLibsecretStore>();
}

}  // namespace qb
