// What the screening will do outside its special cases, for tests of the
// gateway alone: answer the server's greeting with the login line and switch
// to relaying, forward each client line upstream, relay each batch of server
// data to the client.
#pragma once

#include "gateway/MailGW.h"

namespace qb::test {

inline void AttachRelayHandler(TMailGateway& gateway) {
  gateway.OnClientSend = [](TMailGateway*, TMailGWClient* client, std::string& data,
                            TClientState state) {
    if (state == csRelaying && client->ServerSocket) client->ServerSocket->SendString(data);
  };
  gateway.OnServerSend = [](TMailGateway*, TAsyncSocket* server, std::string& data,
                            TClientState state) {
    auto* client = static_cast<TMailGWClient*>(server->Owner);
    if (state == csWaitingLogin) {
      server->SendString(client->LoginLine);
      client->ClientState = csRelaying;
      return;
    }
    client->SendString(data);
  };
}

}  // namespace qb::test
