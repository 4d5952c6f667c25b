#include "support/TestDnsResponder.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace qb::test {

namespace {

constexpr std::size_t kHeaderSize = 12;
constexpr std::uint16_t kTypeA = 1;
constexpr std::uint16_t kClassIn = 1;
constexpr std::uint8_t kNxDomain = 3;
constexpr std::uint8_t kFormatError = 1;
constexpr std::chrono::milliseconds kPollSlice(20);

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

bool InZone(const std::string& name, const std::string& zone) {
  if (zone.empty()) return false;
  if (name == zone) return true;
  return name.size() > zone.size() && name.ends_with(zone) &&
         name[name.size() - zone.size() - 1] == '.';
}

std::uint16_t Read16(const std::string& data, std::size_t at) {
  return static_cast<std::uint16_t>((static_cast<std::uint8_t>(data[at]) << 8) |
                                    static_cast<std::uint8_t>(data[at + 1]));
}

void Put16(std::string& data, std::uint16_t value) {
  data += static_cast<char>(value >> 8);
  data += static_cast<char>(value & 0xFF);
}

// The question's name and the offset just after its type and class; 0 when
// the query is malformed.
std::size_t ParseQuestion(const std::string& query, std::string& name, std::uint16_t& type) {
  std::size_t at = kHeaderSize;
  while (at < query.size()) {
    auto length = static_cast<std::uint8_t>(query[at++]);
    if (length == 0) break;
    if (length > 63 || at + length > query.size()) return 0;
    if (!name.empty()) name += '.';
    name.append(query, at, length);
    at += length;
  }
  if (at + 4 > query.size()) return 0;
  type = Read16(query, at);
  return at + 4;
}

struct Due {
  std::chrono::steady_clock::time_point When;
  sockaddr_in Peer;
  std::string Reply;
};

}  // namespace

TestDnsResponder::TestDnsResponder(std::string address) : address_(std::move(address)) {}

TestDnsResponder::~TestDnsResponder() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (fd_ >= 0) close(fd_);
}

bool TestDnsResponder::Start() {
  fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) return false;
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(53);
  if (inet_pton(AF_INET, address_.c_str(), &local.sin_addr) != 1 ||
      bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
    close(fd_);
    fd_ = -1;
    return false;
  }
  Zone = Lower(Zone);
  std::map<std::string, Address> records;
  for (const auto& [name, address] : Records) records[Lower(name)] = address;
  Records = std::move(records);
  thread_ = std::thread([this] { Serve(); });
  return true;
}

std::size_t TestDnsResponder::Queries() const {
  std::lock_guard lock(mutex_);
  std::size_t total = 0;
  for (const auto& [name, count] : queries_) total += count;
  return total;
}

std::size_t TestDnsResponder::QueriesFor(const std::string& name) const {
  std::lock_guard lock(mutex_);
  auto found = queries_.find(Lower(name));
  return found == queries_.end() ? 0 : found->second;
}

std::optional<TestDnsResponder::Address> TestDnsResponder::Lookup(const std::string& name) const {
  auto found = Records.find(name);
  if (found != Records.end()) return found->second;
  if (InZone(name, Zone)) return EveryName;
  return std::nullopt;
}

std::string TestDnsResponder::Reply(const std::string& query) {
  std::string name;
  std::uint16_t type = 0;
  std::size_t end = query.size() >= kHeaderSize ? ParseQuestion(query, name, type) : 0;
  if (query.size() < kHeaderSize) return {};
  name = Lower(name);
  {
    std::lock_guard lock(mutex_);
    ++queries_[name];
  }
  std::optional<Address> answer = end == 0 ? std::nullopt : Lookup(name);
  bool known = answer.has_value() || InZone(name, Zone);
  std::uint8_t rcode = end == 0 ? kFormatError : known ? 0 : kNxDomain;
  bool withAnswer = answer && type == kTypeA;

  std::string reply = query.substr(0, 2);  // the id
  std::uint8_t recursionDesired = static_cast<std::uint8_t>(query[2]) & 0x01;
  reply += static_cast<char>(0x84 | recursionDesired);  // answer, authoritative
  reply += static_cast<char>(0x80 | rcode);             // recursion available
  Put16(reply, end == 0 ? 0 : 1);
  Put16(reply, withAnswer ? 1 : 0);
  Put16(reply, 0);
  Put16(reply, 0);
  if (end == 0) return reply;
  reply.append(query, kHeaderSize, end - kHeaderSize);
  if (withAnswer) {
    Put16(reply, 0xC00C);  // the name of the question
    Put16(reply, kTypeA);
    Put16(reply, kClassIn);
    Put16(reply, 0);
    Put16(reply, 600);  // TTL
    Put16(reply, 4);
    for (std::uint8_t byte : answer.value()) reply += static_cast<char>(byte);
  }
  return reply;
}

// One thread: receives queries and sends each reply when its delay is over,
// so that many delayed queries are answered in parallel.
void TestDnsResponder::Serve() {
  std::vector<Due> due;
  char buffer[1500];
  while (!stop_) {
    auto now = std::chrono::steady_clock::now();
    auto wait = kPollSlice;
    for (const Due& d : due) {
      wait = std::min(wait, std::chrono::ceil<std::chrono::milliseconds>(d.When - now));
    }
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(std::max(wait, std::chrono::milliseconds(0)).count())) > 0) {
      sockaddr_in peer{};
      socklen_t length = sizeof peer;
      ssize_t got =
          recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&peer), &length);
      if (got > 0) {
        std::string reply = Reply(std::string(buffer, static_cast<std::size_t>(got)));
        if (!Silent && !reply.empty()) {
          due.push_back({std::chrono::steady_clock::now() + Delay, peer, std::move(reply)});
        }
      }
    }
    now = std::chrono::steady_clock::now();
    std::erase_if(due, [&](const Due& d) {
      if (d.When > now) return false;
      sendto(fd_, d.Reply.data(), d.Reply.size(), 0, reinterpret_cast<const sockaddr*>(&d.Peer),
             sizeof d.Peer);
      return true;
    });
  }
}

}  // namespace qb::test
