#include "PlainRelay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

static int write_all(int fd, const char* bytes, ssize_t count) {
  while (count > 0) {
    ssize_t sent = send(fd, bytes, (size_t)count, MSG_NOSIGNAL);
    if (sent <= 0) return -1;
    bytes += sent;
    count -= sent;
  }
  return 0;
}

int plain_relay_once(int listen_fd, unsigned short server_port) {
  static char buffer[65536];
  int client = accept(listen_fd, NULL, NULL);
  if (client < 0) return -1;
  int server = socket(AF_INET, SOCK_STREAM, 0);
  struct sockaddr_in address = {0};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(server_port);
  if (server < 0 || connect(server, (struct sockaddr*)&address, sizeof address) != 0) {
    close(client);
    if (server >= 0) close(server);
    return -1;
  }
  struct pollfd ends[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
  for (int open = 1; open;) {
    if (poll(ends, 2, 60000) <= 0) break;
    for (int i = 0; i < 2 && open; ++i) {
      if (!(ends[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      ssize_t received = recv(ends[i].fd, buffer, sizeof buffer, 0);
      if (received <= 0 || write_all(ends[1 - i].fd, buffer, received) != 0) open = 0;
    }
  }
  close(client);
  close(server);
  return 0;
}
