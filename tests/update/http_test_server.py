#!/usr/bin/env python3
"""The HTTP server the update tests talk to: fixed answers on 127.0.0.1 at a free port.

It writes the port it got to the file named by --port-file (and removes that file when it ends), so a
test learns where to connect and, by the file's disappearance, that the server has gone. The tests hold
a connection open with GET /lease; the server ends when that connection closes, which the system also
does for a test process that crashed. It also ends on GET /quit and after --idle seconds without a
request.

The server also answers requests made to it as a proxy (absolute URLs in the request line): only the
path counts. Standard library only.
"""

import argparse
import base64
import http.server
import os
import socket
import sys
import threading
import time
import urllib.parse

# The machinery the program's own servers use: port file, lease and idle end.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "server"))
import serving  # noqa: E402

PROXY_USER = "tester"
PROXY_PASSWORD = "s3cret"
PROXY_REALM = "Veltrix test proxy"


def pattern(size):
    """A body whose every byte depends on its offset, so a missing or moved block shows."""
    block = bytes((i * 7 + i // 256) & 0xFF for i in range(256 * 251))
    return (block * (size // len(block) + 1))[:size]


class RecordingReader:
    """The request stream, remembering every byte read from it: the exact request for /echo."""

    def __init__(self, raw):
        self.raw = raw
        self.seen = bytearray()

    def readline(self, limit=-1):
        line = self.raw.readline(limit)
        self.seen += line
        return line

    def read(self, size=-1):
        data = self.raw.read(size)
        self.seen += data
        return data

    def take(self):
        data = bytes(self.seen)
        self.seen.clear()
        return data

    def close(self):
        self.raw.close()


class Handler(http.server.BaseHTTPRequestHandler):
    # Keep-alive, as wininet expects of a server; so every answer carries its Content-Length.
    protocol_version = "HTTP/1.1"

    def setup(self):
        super().setup()
        self.rfile = RecordingReader(self.rfile)

    def handle_one_request(self):
        self.rfile.take()
        self.body_read = False
        super().handle_one_request()

    def log_message(self, format, *args):
        pass

    def do_GET(self):
        self.server.touch()
        target = urllib.parse.urlsplit(self.path)
        query = urllib.parse.parse_qs(target.query)
        size = int(query.get("size", ["300000"])[0])
        route = ROUTES.get(target.path)
        if route is None:
            self.answer(404, b"no such test resource\n")
        else:
            route(self, size)

    do_POST = do_GET
    do_PUT = do_GET

    def read_body(self):
        """Consumes the request body, once, so the connection is ready for the next request."""
        if not self.body_read:
            self.body_read = True
            self.rfile.read(int(self.headers.get("Content-Length", "0")))

    def answer(self, status, body, content_type="application/octet-stream", extra=()):
        self.read_body()
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        for name, value in extra:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(body)

    def ok(self, size):
        self.answer(200, b"Hello from the test server\n", "text/plain")

    def partial(self, size):
        self.answer(206, b"part of it", "text/plain", [("Content-Range", "bytes 10-19/100")])

    def missing(self, size):
        self.answer(404, b"not here\n", "text/plain")

    def empty(self, size):
        self.answer(200, b"", "text/plain")

    def all_bytes(self, size):
        self.answer(200, bytes(range(256)))

    def large(self, size):
        self.answer(200, pattern(size), extra=[("Content-Disposition", 'attachment; filename="large.bin"')])

    def cut(self, size):
        """Announces `size` bytes, sends half of them and hangs up."""
        self.read_body()
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(size))
        self.end_headers()
        self.wfile.write(pattern(size)[: size // 2])
        self.wfile.flush()
        self.connection.shutdown(socket.SHUT_WR)
        self.close_connection = True

    def redirect(self, size):
        self.answer(302, b"", "text/plain", [("Location", "/ok")])

    def echo(self, size):
        """Answers with the request exactly as it arrived: request line, headers and body."""
        self.read_body()
        self.answer(200, self.rfile.take())

    def cookie(self, size):
        self.answer(200, b"cookie set\n", "text/plain", [("Set-Cookie", "veltrix=1; Path=/")])

    def proxy_auth(self, size):
        """A proxy that wants Basic credentials; once they are right it answers like /echo."""
        expected = "Basic " + base64.b64encode(("%s:%s" % (PROXY_USER, PROXY_PASSWORD)).encode()).decode()
        if self.headers.get("Proxy-Authorization") == expected:
            self.echo(size)
        else:
            self.answer(407, b"proxy credentials needed\n", "text/plain",
                        [("Proxy-Authenticate", 'Basic realm="%s"' % PROXY_REALM)])

    def lease(self, size):
        serving.hold_lease(self)

    def stall(self, size):
        """Takes the request and sends nothing until the client gives up (or two minutes pass)."""
        self.read_body()
        self.connection.settimeout(120)
        try:
            self.connection.recv(1)
        except OSError:
            pass
        self.close_connection = True

    def drip(self, size):
        """Announces `size` bytes and sends one of them every few seconds, too slowly to finish."""
        self.read_body()
        self.send_response(200)
        self.send_header("Content-Type", "text/xml")
        self.send_header("Content-Length", str(size))
        self.end_headers()
        try:
            for _ in range(size):
                self.wfile.write(b"<")
                self.wfile.flush()
                time.sleep(3)
        except OSError:
            pass
        self.close_connection = True

    def endless(self, size):
        """A body without a length that never ends: bytes as fast as the client takes them."""
        self.read_body()
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Connection", "close")
        self.end_headers()
        block = pattern(65536)
        try:
            while True:
                self.wfile.write(block)
        except OSError:
            pass
        self.close_connection = True

    def redirect_away(self, size):
        """A redirect to the same machine under another host name, which a download must not follow."""
        self.answer(302, b"", "text/plain", [("Location", "http://localhost:%d/ok" % self.server.server_address[1])])

    def redirect_https(self, size):
        """A redirect to another scheme."""
        self.answer(302, b"", "text/plain", [("Location", "https://127.0.0.1:%d/ok" % self.server.server_address[1])])

    def quit(self, size):
        self.answer(200, b"bye\n", "text/plain")
        self.close_connection = True
        threading.Thread(target=self.server.shutdown, daemon=True).start()


ROUTES = {
    "/ok": Handler.ok,
    "/partial": Handler.partial,
    "/missing": Handler.missing,
    "/empty": Handler.empty,
    "/bytes": Handler.all_bytes,
    "/large": Handler.large,
    "/cut": Handler.cut,
    "/redirect": Handler.redirect,
    "/echo": Handler.echo,
    "/cookie": Handler.cookie,
    "/proxy-auth": Handler.proxy_auth,
    "/lease": Handler.lease,
    "/quit": Handler.quit,
    "/stall": Handler.stall,
    "/drip": Handler.drip,
    "/endless": Handler.endless,
    "/redirect-away": Handler.redirect_away,
    "/redirect-https": Handler.redirect_https,
}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port-file", required=True, help="file that receives the port number")
    parser.add_argument("--idle", type=float, default=180, help="seconds without a request before ending")
    args = parser.parse_args()
    serving.serve(serving.Server(("127.0.0.1", 0), Handler), args.port_file, args.idle)


if __name__ == "__main__":
    sys.exit(main())
