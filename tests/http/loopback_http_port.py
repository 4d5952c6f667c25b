"""Binding a test server to the HTTP port on a free loopback address.

The download component always connects to port 80, so each test server
takes port 80 on an address of its own in 127.0.0.0/8 and reports it on
standard output as "LISTENING <address>".
"""
import errno
import random
import socket
import sys

HTTP_PORT = 80
ATTEMPTS = 100


def bind_free_loopback_address(bind):
    """Calls bind(address) on random loopback addresses until one is free."""
    for _ in range(ATTEMPTS):
        address = "127.%d.%d.%d" % (random.randint(100, 250), random.randint(1, 254),
                                     random.randint(1, 254))
        try:
            return address, bind(address)
        except OSError as error:
            if error.errno != errno.EADDRINUSE:
                raise
    raise OSError(errno.EADDRINUSE, "no free loopback address for port 80")


def listening_socket(address):
    sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    try:
        sock.bind((address, HTTP_PORT))
    except OSError:
        sock.close()
        raise
    sock.listen(16)
    return sock


def announce(address):
    sys.stdout.write("LISTENING %s\n" % address)
    sys.stdout.flush()
