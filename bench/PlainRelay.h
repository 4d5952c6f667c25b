/* A minimal relay in plain C, the yardstick for the gateway's relay: it
 * accepts one connection on `listen_fd`, connects to 127.0.0.1:`server_port`
 * and copies bytes both ways through one 64 KiB buffer with blocking
 * writes, until either side ends. Returns 0, or -1 if it could not start. */
#ifndef QB_BENCH_PLAIN_RELAY_H
#define QB_BENCH_PLAIN_RELAY_H

#ifdef __cplusplus
extern "C" {
#endif

int plain_relay_once(int listen_fd, unsigned short server_port);

#ifdef __cplusplus
}
#endif

#endif
