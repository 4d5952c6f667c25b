// What the gateway answers itself before a POP3 login has named a server:
// CAPA, STLS, AUTH PLAIN (the one-line and the two-step form) and USER; and
// what it refuses outright: a line that is part of a web request (a
// browser's POST to the gateway carries POP3 lines in its body, and must
// never reach a mail server) and a server part that holds a control byte.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qb {

// Ends a client's line with CR LF when it came with a bare LF (some clients
// and scripts send that); the mail server always gets CR LF.
void EndLineWithCrLf(std::string& line);

// An HTTP request line ("POST / HTTP/1.1") or a header line ("Host: x").
bool LooksLikeWebRequest(std::string_view line);

// Whether `text` holds a byte below 32 or DEL.
bool HoldsControlByte(std::string_view text);

// The SASL PLAIN message for `user` and `password`, base64 encoded.
std::string EncodeAuthPlain(const std::string& user, const std::string& password);

// Where a client's login dialogue stands.
struct TLoginDialogue {
  bool AwaitingPlainResponse = false;  // "AUTH PLAIN" came, its response is due
};

struct TLoginStep {
  enum TAction : std::uint8_t {
    laReply,     // send Reply, wait for the next line
    laRefuse,    // send Reply, end the session
    laDrop,      // end the session at once, with nothing sent
    laStartTls,  // send Reply, then begin TLS on the client's connection
    laLogin      // log in: UserLine names account and server
  };
  TAction Action = laReply;
  std::string Reply;
  // laLogin: "USER account#server\r\n", as the client sent it or made from
  // AUTH PLAIN; with AUTH PLAIN the password goes upstream the same way.
  std::string UserLine;
  bool ByAuthPlain = false;
  std::string Account;  // ByAuthPlain: the user name before the server part
  std::string Password;

  static TLoginStep Answer(TAction action, std::string reply = "");
  static TLoginStep LoginAs(std::string userLine);
};

struct TLoginOffer {
  bool Stls = false;     // STLS is offered (a local certificate, not yet TLS)
  char Delimiter = '#';  // splits account and server in a user name
};

// The gateway's answer to one line of the client before the login.
TLoginStep NextLoginStep(const std::string& line, TLoginDialogue& dialogue,
                         const TLoginOffer& offer);

}  // namespace qb
