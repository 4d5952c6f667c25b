#include "support/ScriptedPop3Server.h"

#include "support/Pop3Text.h"
#include "support/StoppableIo.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace qb::test {

namespace {

// How long a closing session waits for the peer to close its side.
constexpr std::chrono::milliseconds kCloseLinger(1000);

UniqueFd MakeStopEvent() {
  UniqueFd event(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!event.Valid()) throw std::system_error(errno, std::generic_category(), "eventfd");
  return event;
}

}  // namespace

ScriptedPop3Server::ScriptedPop3Server(std::vector<std::string> messages,
                                       Pop3Credentials credentials)
    : listener_(ListenOnLoopback(port_)),
      stopEvent_(MakeStopEvent()),
      credentials_(std::move(credentials)) {
  for (std::string& message : messages) mailbox_.Add(std::move(message), {});
  acceptThread_ = std::thread([this] { AcceptLoop(); });
}

ScriptedPop3Server::~ScriptedPop3Server() {
  Stop();
}

void ScriptedPop3Server::Stop() {
  if (stopped_) return;
  stopped_ = true;
  std::uint64_t one = 1;
  [[maybe_unused]] ssize_t written = ::write(stopEvent_.Get(), &one, sizeof one);
  acceptThread_.join();
  std::vector<SessionThread> sessions;
  {
    std::lock_guard guard(sessionsLock_);
    sessions.swap(sessions_);
  }
  for (SessionThread& session : sessions) session.Thread.join();
  listener_.Reset();
}

std::string ScriptedPop3Server::AddMessage(std::string bytes, std::string uid) {
  return mailbox_.Add(std::move(bytes), std::move(uid));
}

void ScriptedPop3Server::SetCredentials(Pop3Credentials credentials) {
  std::lock_guard guard(settingsLock_);
  credentials_ = std::move(credentials);
}

std::vector<std::string> ScriptedPop3Server::Commands() const {
  std::lock_guard guard(logLock_);
  return commands_;
}

std::size_t ScriptedPop3Server::CountCommands(std::string_view pattern) const {
  std::lock_guard guard(logLock_);
  return static_cast<std::size_t>(
      std::count_if(commands_.begin(), commands_.end(),
                    [&](const std::string& line) { return CommandMatches(line, pattern); }));
}

bool ScriptedPop3Server::WaitForCommand(std::string_view pattern, Milliseconds timeout,
                                        std::size_t occurrences) const {
  std::unique_lock guard(logLock_);
  return logChanged_.wait_for(guard, timeout, [&] {
    return static_cast<std::size_t>(
               std::count_if(commands_.begin(), commands_.end(), [&](const std::string& line) {
                 return CommandMatches(line, pattern);
               })) >= occurrences;
  });
}

void ScriptedPop3Server::ClearCommands() {
  std::lock_guard guard(logLock_);
  commands_.clear();
}

std::size_t ScriptedPop3Server::SessionsAccepted() const {
  std::lock_guard guard(logLock_);
  return sessionsAccepted_;
}

std::size_t ScriptedPop3Server::SessionsEnded() const {
  std::lock_guard guard(logLock_);
  return sessionsEnded_;
}

bool ScriptedPop3Server::WaitForSessionsEnded(std::size_t count, Milliseconds timeout) const {
  std::unique_lock guard(logLock_);
  return logChanged_.wait_for(guard, timeout, [&] { return sessionsEnded_ >= count; });
}

void ScriptedPop3Server::SetReplyDelay(Milliseconds delay) {
  std::lock_guard guard(settingsLock_);
  faults_.Delay = delay;
}

void ScriptedPop3Server::SetTrickle(std::size_t pieceBytes, Milliseconds pause) {
  std::lock_guard guard(settingsLock_);
  faults_.TricklePiece = pieceBytes;
  faults_.TricklePause = pause;
}

void ScriptedPop3Server::FailCommand(std::string pattern, std::string reply) {
  std::lock_guard guard(settingsLock_);
  faults_.Failures.push_back({std::move(pattern), std::move(reply)});
}

void ScriptedPop3Server::CloseDuringReply(std::string pattern, std::size_t afterBytes) {
  std::lock_guard guard(settingsLock_);
  faults_.Closes.push_back({std::move(pattern), afterBytes});
}

void ScriptedPop3Server::CloseAfterFirstBytes() {
  std::lock_guard guard(settingsLock_);
  faults_.CloseAfterFirstBytes = true;
}

void ScriptedPop3Server::ClearFaults() {
  std::lock_guard guard(settingsLock_);
  faults_ = Faults{};
}

ScriptedPop3Server::Faults ScriptedPop3Server::CurrentFaults() const {
  std::lock_guard guard(settingsLock_);
  return faults_;
}

Pop3Credentials ScriptedPop3Server::CurrentCredentials() const {
  std::lock_guard guard(settingsLock_);
  return credentials_;
}

void ScriptedPop3Server::AcceptLoop() {
  while (WaitForDescriptor(listener_.Get(), POLLIN, stopEvent_.Get(), Milliseconds(-1)) ==
         WaitOutcome::Ready) {
    UniqueFd client(::accept4(listener_.Get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (!client.Valid()) continue;
    // Each piece of a trickled reply goes out as a segment of its own.
    int yes = 1;
    ::setsockopt(client.Get(), IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    JoinFinishedSessions();
    StartSession(std::move(client));
  }
}

void ScriptedPop3Server::StartSession(UniqueFd client) {
  {
    std::lock_guard guard(logLock_);
    ++sessionsAccepted_;
  }
  auto done = std::make_shared<std::atomic<bool>>(false);
  std::thread thread([this, done, socket = std::move(client)] {
    Serve(socket.Get());
    DrainBeforeClose(socket.Get(), stopEvent_.Get(), kCloseLinger);
    RecordSessionEnd();
    *done = true;
  });
  std::lock_guard guard(sessionsLock_);
  sessions_.push_back({std::move(thread), std::move(done)});
}

void ScriptedPop3Server::JoinFinishedSessions() {
  std::lock_guard guard(sessionsLock_);
  std::erase_if(sessions_, [](SessionThread& session) {
    if (!*session.Done) return false;
    session.Thread.join();
    return true;
  });
}

void ScriptedPop3Server::Serve(int client) {
  ScriptedPop3Session session(mailbox_, CurrentCredentials());
  std::string buffer;
  if (CurrentFaults().CloseAfterFirstBytes) {
    if (WaitForDescriptor(client, POLLIN, stopEvent_.Get(), Milliseconds(-1)) ==
        WaitOutcome::Ready) {
      char first[512];
      ssize_t count = ::recv(client, first, sizeof first, 0);
      if (count > 0) Record(std::string(first, static_cast<std::size_t>(count)));
    }
    return;
  }
  if (!Transmit(client, kGreeting)) return;
  while (std::optional<std::string> line =
             ReceiveLineUnlessStopped(client, buffer, stopEvent_.Get())) {
    Record(*line);
    if (!Answer(client, session, *line)) return;
  }
}

bool ScriptedPop3Server::Answer(int client, ScriptedPop3Session& session, const std::string& line) {
  Faults faults = CurrentFaults();
  auto failure =
      std::find_if(faults.Failures.begin(), faults.Failures.end(),
                   [&](const FailureFault& f) { return CommandMatches(line, f.Pattern); });
  auto close = std::find_if(faults.Closes.begin(), faults.Closes.end(),
                            [&](const CloseFault& c) { return CommandMatches(line, c.Pattern); });
  Pop3Outcome outcome = failure != faults.Failures.end() ? Pop3Outcome{failure->Reply + "\r\n"}
                                                         : session.Handle(line);
  std::string_view reply = outcome.Reply;
  if (close != faults.Closes.end()) {
    Transmit(client, reply.substr(0, std::min(close->AfterBytes, reply.size())));
    return false;
  }
  if (!outcome.KeysToRemove.empty()) mailbox_.Remove(outcome.KeysToRemove);
  return Transmit(client, reply) && !outcome.EndsSession;
}

bool ScriptedPop3Server::Transmit(int client, std::string_view reply) {
  Faults faults = CurrentFaults();
  if (!PauseUnlessStopped(stopEvent_.Get(), faults.Delay)) return false;
  if (faults.TricklePiece == 0) return SendAllUnlessStopped(client, reply, stopEvent_.Get());
  while (!reply.empty()) {
    std::string_view piece = reply.substr(0, faults.TricklePiece);
    reply.remove_prefix(piece.size());
    if (!SendAllUnlessStopped(client, piece, stopEvent_.Get())) return false;
    if (!reply.empty() && !PauseUnlessStopped(stopEvent_.Get(), faults.TricklePause)) {
      return false;
    }
  }
  return true;
}

void ScriptedPop3Server::Record(std::string line) {
  {
    std::lock_guard guard(logLock_);
    commands_.push_back(std::move(line));
  }
  logChanged_.notify_all();
}

void ScriptedPop3Server::RecordSessionEnd() {
  {
    std::lock_guard guard(logLock_);
    ++sessionsEnded_;
  }
  logChanged_.notify_all();
}

}  // namespace qb::test
