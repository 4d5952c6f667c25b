#!/usr/bin/env python3
"""A real HTTP/1.0 server for the download tests, built on http.server.

Serves the files of --root with a Content-Length, answers a POST with the
body it received, and appends one JSON line per request (method, path,
headers, body) to --log. With --port it listens on 127.0.0.1 and that port
(0: a free one) instead of port 80 of an address of its own, and announces
"LISTENING 127.0.0.1:<port>"; with --cert and --key it speaks https.
"""
import argparse
import functools
import http.server
import json
import os
import socketserver
import ssl

from loopback_http_port import HTTP_PORT, announce, bind_free_loopback_address


class RecordingHandler(http.server.SimpleHTTPRequestHandler):
    protocol_version = "HTTP/1.0"
    log_path = None

    def do_GET(self):
        self.record(b"")
        super().do_GET()

    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        self.record(body)
        reply = b"posted:" + body
        self.send_response(200)
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)

    def record(self, body):
        entry = {"method": self.command, "path": self.path,
                 "headers": {name.lower(): value for name, value in self.headers.items()},
                 "body": body.decode("latin-1")}
        with open(self.log_path, "a", encoding="utf-8") as log:
            log.write(json.dumps(entry) + "\n")

    def log_message(self, format, *args):
        pass


class LoopbackHTTPServer(http.server.ThreadingHTTPServer):
    """http.server without its reverse lookup of the bound address
    (socket.getfqdn), which would ask the system's name server about it."""

    def server_bind(self):
        socketserver.TCPServer.server_bind(self)
        self.server_name, self.server_port = self.server_address[:2]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--log", required=True)
    parser.add_argument("--port", type=int)
    parser.add_argument("--cert")
    parser.add_argument("--key")
    options = parser.parse_args()
    RecordingHandler.log_path = os.path.abspath(options.log)
    handler = functools.partial(RecordingHandler, directory=options.root)
    if options.port is None:
        address, server = bind_free_loopback_address(
            lambda host: LoopbackHTTPServer((host, HTTP_PORT), handler))
    else:
        server = LoopbackHTTPServer(("127.0.0.1", options.port), handler)
        address = "127.0.0.1:%d" % server.server_address[1]
    if options.cert:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(options.cert, options.key)
        server.socket = context.wrap_socket(server.socket, server_side=True)
    announce(address)
    server.serve_forever()


if __name__ == "__main__":
    main()
