// The main window's handling of the POP3 sessions: what the mail client's
// commands become upstream (OnClientSend), and what the server's replies
// become for the client (OnServerSend): replies are relayed, except that a
// LIST reply is held back while the new messages' headers are scanned, and a
// RETR of a ticked message is carried out as a DELE on the server.
#pragma once

#include <string>

#include "gateway/MailGW.h"
#include "platform/HostResolver.h"
#include "screening/MultiLineReply.h"
#include "screening/ReviewList.h"
#include "screening/ScreeningState.h"
#include "screening/WindowServices.h"

namespace qb {

// The popup and status texts of the screened session.
extern const char* const kConnectingText;
extern const char* const kCheckingText;
extern const char* const kListReadyText;
extern const char* const kListingCanceledText;

// The held-back LIST reply as the client gets it: each line with CR LF.
std::string HeldListReply(const ScreeningState& state);

class TSessionScreening {
 public:
  TSessionScreening(ScreeningState& state, ReviewList& review, TMainWindowControls& controls,
                    IPopupNotifier& popup, ITrayIcon& tray, IHostResolver& resolver);

  // The gateway's events.
  void MailGateway1ClientSend(TMailGateway* sender, TMailGWClient* client, std::string& data,
                              TClientState clientState);
  void MailGateway1ServerSend(TMailGateway* sender, TAsyncSocket* server, std::string& data,
                              TClientState clientState);

  // The session whose LIST reply is held back until "Remove Checked".
  TSessionHandle ReviewClient;
  // The session whose scan filled the review list: only its RETR commands
  // are matched against the rows.
  TSessionHandle ListOwner;
  TReplyLimits ReplyLimits;

 private:
  void LoginNotice(const std::string& data);
  void RelayRetrieve(TMailGWClient& client, const std::string& data);
  const MessageRow* FindOwnRow(const TMailGWClient& client, const std::string& number) const;

  static bool StatusLineDecides(const TMailGWClient& client, TClientState clientState);
  void RecordRetrieval(TMailGWClient& client);
  void ListReplyArrived(TMailGWClient& client, TAsyncSocket& server, std::string text);
  void UidlReplyArrived(TMailGWClient& client, TAsyncSocket& server, std::string text);
  void HeaderReplyArrived(TMailGWClient& client, TAsyncSocket& server, std::string text);
  bool ReadListing(TMailGWClient& client, TAsyncSocket& server, std::string& text);
  void AddRow(const TextLines& headerLines);
  void AskForHeader(TMailGWClient& client, TAsyncSocket& server);
  void ScanComplete(TMailGWClient& client);
  void CancelScan(TMailGWClient& client);
  void ReleaseListReply(TMailGWClient& client);

  ScreeningState& state_;
  ReviewList& review_;
  TMainWindowControls& controls_;
  IPopupNotifier& popup_;
  ITrayIcon& tray_;
  IHostResolver& resolver_;
};

}  // namespace qb
