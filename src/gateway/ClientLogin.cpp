#include "gateway/ClientLogin.h"

#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <optional>

#include "platform/AsciiText.h"

namespace qb {

namespace {

const std::string kCrLf = "\r\n";
const std::string kMechanismRefusal =
    "-ERR Only USER/PASS and AUTH PLAIN are offered here (user: account#server)";

constexpr std::array<std::string_view, 9> kHttpMethods = {
    "GET", "POST", "PUT", "HEAD", "OPTIONS", "CONNECT", "DELETE", "PATCH", "TRACE"};

bool IsTokenChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || IsAsciiDigit(c) || c == '-' ||
         c == '_';
}

// "Name:" at the start of a line, as every HTTP header begins; no POP3
// command has a colon straight after its first word.
bool LooksLikeHeader(std::string_view line) {
  std::size_t colon = line.find(':');
  if (colon == 0 || colon == std::string_view::npos) return false;
  return std::all_of(line.begin(), line.begin() + static_cast<std::ptrdiff_t>(colon), IsTokenChar);
}

bool LooksLikeRequestLine(std::string_view line) {
  std::string first = UpperAscii(SplitField(line, ' ', 0));
  bool method = std::find(kHttpMethods.begin(), kHttpMethods.end(), first) != kHttpMethods.end();
  std::size_t version = line.rfind(" HTTP/");
  return method && version != std::string_view::npos && version > first.size();
}

std::optional<std::string> DecodeBase64(std::string_view text) {
  if (text.empty() || text.size() % 4 != 0) return std::nullopt;
  std::string decoded(text.size() / 4 * 3, '\0');
  int length = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(decoded.data()),
                               reinterpret_cast<const unsigned char*>(text.data()),
                               static_cast<int>(text.size()));
  if (length < 0) return std::nullopt;
  // EVP_DecodeBlock counts the padding's bytes as data: take them off.
  std::size_t padding = text.ends_with("==") ? 2 : text.ends_with("=") ? 1 : 0;
  decoded.resize(static_cast<std::size_t>(length) - padding);
  return decoded;
}

// The SASL PLAIN message "authzid NUL authcid NUL password": the login is
// the authentication identity; an authorization identity other than it (or
// empty) would log in as someone else, which the gateway cannot pass on.
TLoginStep PlainResponse(std::string_view response, const TLoginOffer& offer) {
  std::string text(TrimAsciiSpace(response));
  if (text == "*") return TLoginStep::Answer(TLoginStep::laReply, "-ERR AUTH PLAIN cancelled");
  std::optional<std::string> message = DecodeBase64(text);
  std::size_t first = message ? message->find('\0') : std::string::npos;
  std::size_t second = first != std::string::npos ? message->find('\0', first + 1) : first;
  if (second == std::string::npos)
    return TLoginStep::Answer(TLoginStep::laReply, "-ERR AUTH PLAIN: not a PLAIN message");
  std::string authzid = message->substr(0, first);
  std::string user = message->substr(first + 1, second - first - 1);
  if (!authzid.empty() && authzid != user) {
    return TLoginStep::Answer(TLoginStep::laReply,
                              "-ERR AUTH PLAIN: only the user's own identity is accepted");
  }
  TLoginStep step = TLoginStep::LoginAs("USER " + user + kCrLf);
  step.ByAuthPlain = true;
  step.Account = offer.Delimiter != '\0' ? SplitField(user, offer.Delimiter, 0) : user;
  step.Password = message->substr(second + 1);
  return step;
}

std::string CapaListing(const TLoginOffer& offer) {
  std::string listing =
      "+OK Capability list follows" + kCrLf + "USER" + kCrLf + "SASL PLAIN" + kCrLf;
  if (offer.Stls) listing += "STLS" + kCrLf;
  return listing + ".";
}

TLoginStep AuthCommand(const std::string& argument, TLoginDialogue& dialogue,
                       const TLoginOffer& offer) {
  std::string mechanism = UpperAscii(SplitField(argument, ' ', 0));
  if (mechanism.empty())
    return TLoginStep::Answer(TLoginStep::laReply, "+OK" + kCrLf + "PLAIN" + kCrLf + ".");
  if (mechanism != "PLAIN") return TLoginStep::Answer(TLoginStep::laReply, kMechanismRefusal);
  std::string initial = SplitField(argument, ' ', 1);
  if (!initial.empty() && initial != "=") return PlainResponse(initial, offer);
  dialogue.AwaitingPlainResponse = true;
  return TLoginStep::Answer(TLoginStep::laReply, "+ ");
}

}  // namespace

TLoginStep TLoginStep::Answer(TAction action, std::string reply) {
  TLoginStep step;
  step.Action = action;
  step.Reply = std::move(reply);
  return step;
}

TLoginStep TLoginStep::LoginAs(std::string userLine) {
  TLoginStep step;
  step.Action = laLogin;
  step.UserLine = std::move(userLine);
  return step;
}

void EndLineWithCrLf(std::string& line) {
  if (!line.ends_with('\n') || line.ends_with(kCrLf)) return;
  line.back() = '\r';
  line.push_back('\n');
}

bool LooksLikeWebRequest(std::string_view line) {
  std::string_view text = TrimAsciiSpace(line);
  return LooksLikeRequestLine(text) || LooksLikeHeader(text);
}

bool HoldsControlByte(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    auto byte = static_cast<unsigned char>(c);
    return byte < 32 || byte == 127;
  });
}

std::string EncodeAuthPlain(const std::string& user, const std::string& password) {
  std::string message = std::string(1, '\0') + user + '\0' + password;
  std::string encoded(4 * ((message.size() + 2) / 3) + 1, '\0');
  int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(encoded.data()),
                               reinterpret_cast<const unsigned char*>(message.data()),
                               static_cast<int>(message.size()));
  encoded.resize(static_cast<std::size_t>(length));
  return encoded;
}

TLoginStep NextLoginStep(const std::string& line, TLoginDialogue& dialogue,
                         const TLoginOffer& offer) {
  if (dialogue.AwaitingPlainResponse) {
    dialogue.AwaitingPlainResponse = false;
    return PlainResponse(line, offer);
  }
  if (LooksLikeWebRequest(line)) return TLoginStep::Answer(TLoginStep::laDrop);
  std::string text(TrimAsciiSpace(line));
  std::string command = UpperAscii(SplitField(text, ' ', 0));
  std::string argument = text.size() > command.size() ? text.substr(command.size() + 1) : "";
  // As before the dialogue: any line that begins with the four letters.
  if (command.starts_with("USER")) return TLoginStep::LoginAs(line);
  if (command == "CAPA") return TLoginStep::Answer(TLoginStep::laReply, CapaListing(offer));
  if (command == "AUTH") return AuthCommand(argument, dialogue, offer);
  if (command == "STLS" && offer.Stls) {
    return TLoginStep::Answer(TLoginStep::laStartTls, "+OK Begin TLS negotiation");
  }
  if (command == "QUIT") return TLoginStep::Answer(TLoginStep::laRefuse, "+OK Bye");
  return TLoginStep::Answer(TLoginStep::laReply, "-ERR Invalid Command");
}

}  // namespace qb
