#!/usr/bin/env python3
"""A scripted raw-socket HTTP server for replies http.server cannot make.

For each connection it reads the request head, then either sends the bytes
of --reply exactly as they are and closes the connection, or, with
--silent, sends nothing and keeps the connection open until it is stopped.
"""
import argparse
import threading

from loopback_http_port import announce, bind_free_loopback_address, listening_socket

HEAD_LIMIT = 65536


def read_request_head(connection):
    data = b""
    while b"\r\n\r\n" not in data and len(data) < HEAD_LIMIT:
        chunk = connection.recv(4096)
        if not chunk:
            break
        data += chunk


def serve(connection, reply):
    with connection:
        read_request_head(connection)
        if reply is None:
            threading.Event().wait()
        connection.sendall(reply)


def main():
    parser = argparse.ArgumentParser()
    group = parser.add_mutually_exclusive_group(required=True)
    group.add_argument("--reply")
    group.add_argument("--silent", action="store_true")
    options = parser.parse_args()
    reply = None
    if options.reply:
        with open(options.reply, "rb") as source:
            reply = source.read()
    address, listener = bind_free_loopback_address(listening_socket)
    announce(address)
    while True:
        connection, _ = listener.accept()
        threading.Thread(target=serve, args=(connection, reply), daemon=True).start()


if __name__ == "__main__":
    main()
