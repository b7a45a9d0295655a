#!/usr/bin/env python3
"""Veltrix's update server: publishes the newest release of a releases folder to the update check.

Layout of the releases folder: one subfolder per release, named after its version ("1.11"), holding the
files of the release and a release.json that describes them:

    {
      "application": "Veltrix",
      "help": "https://www.koravent.com/veltrix/changes.html",
      "info": {"en": "Veltrix 1.11 is available. Install it now?", "de": "..."},
      "restart": {"en": "Veltrix has been updated. Restart it now?"},
      "execute": "Veltrix.exe",
      "files": [
        {"name": "Veltrix.exe", "signature": "base64 of r and s, written by sign_release.py"},
        {"name": "Veltrix.exe", "zip": "update.zip"},
        {"installer": "Setup.exe"}
      ]
    }

"restart" may be left out (the new files take effect at the next start) or hold empty texts (restart
without asking). A file entry with "name" replaces that file of the program folder; with "zip" as well,
the named archive is downloaded and unpacked into the program folder instead; an "installer" entry is
downloaded to the desktop and started instead of the program.

The 64-bit release lies in the subfolder "x64" of its release folder, laid out the same way (its own
release.json and files); a release may have either part or both.

GET /data/update.php?p=veltrix&v=1.10&id=...&arch=x64 answers the update document of the newest release
(versions compared as numbers) that has a part for the build "arch" names: "x86" or "x64", and "x86" for
none or any other (the copies from before the 64-bit build name none); the client decides whether it is
newer than what it runs. A release part that sign_release.py signed holds its answer, signed, in
answer.xml, which is sent byte for byte as it is; otherwise the answer is made from release.json
(unsigned: copies built with the publisher's key refuse it). The files are served from
/files/VERSION/NAME (/files/VERSION/x64/NAME), and the links in the answer start with --base-url, which
the server needs (never the request's Host header). Every request is logged, one line each, to the --log
file (standard error without one). Standard library only.

With --reports FOLDER it also takes the problem reports that Veltrix sends after a crash: POST
/talvor/report.php with a multipart form, stored one folder per report inside FOLDER (see report_store.py)
and answered 200; a body that is no such form, or whose length is unreadable, gets 400, one without a
length 411, one larger than --report-limit bytes 413, one past --report-quota or --report-count 507, and
a report that cannot be stored 500. A client that sends nothing for --client-timeout seconds, or whose
request takes longer than --request-time, is dropped; past --max-connections, or past --max-per-client
connections from its address, a client is answered 503.

For tests the server writes the port it got to --port-file (removed when it ends), ends when the
connection of GET /lease closes, and ends after --idle seconds without a request.
"""

import argparse
import http.server
import json
import os
import re
import sys
import threading
import time
import urllib.parse

import answer
import limits
import report_store
import serving

VERSION_NAME = re.compile(r"^(\d{1,9})\.(\d{1,9})$")
CONTENT_LENGTH = re.compile(r"^[0-9]{1,15}$")
CHUNK_SIZE = re.compile(rb"^([0-9A-Fa-f]{1,8})(?:;[^\r\n]*)?\r?\n$")
MAX_TRAILER_LINES = 32
# The subfolders of a release that hold another build's part ("x64").
SUBFOLDERS = [folder for folder in answer.ARCHITECTURES.values() if folder]


def newest_release(releases, arch=answer.DEFAULT_ARCHITECTURE):
    """The folder and version of the release with the highest version that has a part for the build, or
    (None, None)."""
    best = None
    try:
        names = os.listdir(releases)
    except OSError:
        return None, None
    for name in names:
        match = VERSION_NAME.match(name)
        if match and os.path.isfile(os.path.join(answer.part(os.path.join(releases, name), arch), "release.json")):
            key = (int(match.group(1)), int(match.group(2)))
            if best is None or key > best[0]:
                best = (key, name)
    if best is None:
        return None, None
    return os.path.join(releases, best[1]), best[1]


class Handler(http.server.BaseHTTPRequestHandler):
    # Keep-alive, as wininet expects of a server; so every answer carries its Content-Length.
    protocol_version = "HTTP/1.1"

    def log_message(self, format, *args):
        pass

    def log_request_line(self, status, size, detail=""):
        line = "%s %s %s %d %d%s\n" % (time.strftime("%Y-%m-%dT%H:%M:%S"), self.client_address[0],
                                       self.path, status, size, detail)
        if not self.server.log_path:
            sys.stderr.write(line)
        else:
            with self.server.log_lock, open(self.server.log_path, "a") as f:
                f.write(line)

    def answer(self, status, body, content_type="application/octet-stream", detail=""):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
        self.log_request_line(status, len(body), detail)

    def do_GET(self):
        self.server.touch()
        target = urllib.parse.urlsplit(self.path)
        if target.path == "/data/update.php":
            self.update(target)
        elif target.path.startswith("/files/"):
            self.file(target.path[len("/files/"):])
        elif target.path == "/lease":
            serving.hold_lease(self)
        else:
            self.answer(404, b"not found\n", "text/plain")

    def do_POST(self):
        self.server.touch()
        target = urllib.parse.urlsplit(self.path)
        if target.path != self.server.report_path or self.server.reports is None:
            self.close_connection = True
            self.answer(404, b"not found\n", "text/plain")
            return
        self.report()

    def parse_request(self):
        if not super().parse_request():
            return False
        # The lease is held open for the whole test on purpose: neither time-out applies to it.
        if urllib.parse.urlsplit(self.path).path == "/lease":
            self.server.end_deadline(self.connection)
            self.connection.settimeout(None)
        return True

    def handle_one_request(self):
        # From the first byte of the request line: a client that trickles its headers or its body is
        # dropped when the request's time is up, however often it sends a byte.
        self.server.start_deadline(self.connection)
        try:
            super().handle_one_request()
        finally:
            self.server.end_deadline(self.connection)

    def refuse(self, status, text):
        """Answers a body that is not read (to its end) and closes the connection after the answer."""
        self.close_connection = True
        self.answer(status, text, "text/plain")
        return None

    def read_chunked(self, limit):
        body = bytearray()
        while True:
            line = self.rfile.readline(80)
            # Hexadecimal digits only: no sign, no "0x", no blanks; a size line without its end is refused.
            match = CHUNK_SIZE.match(line)
            if not match:
                return self.refuse(400, b"unreadable chunk size\n")
            size = int(match.group(1), 16)
            if size == 0:
                for _ in range(MAX_TRAILER_LINES):
                    if self.rfile.readline(1024) in (b"\r\n", b"\n", b""):
                        return bytes(body)
                return self.refuse(400, b"too many trailer lines\n")
            if len(body) + size > limit:
                return self.refuse(413, b"report too large\n")
            data = self.rfile.read(size)
            if len(data) != size or self.rfile.readline(3) not in (b"\r\n", b"\n"):
                return self.refuse(400, b"chunk cut short\n")
            body += data

    def read_body(self):
        """The request's body, or None after answering why it was refused."""
        limit = self.server.report_limit
        encoding = self.headers.get("Transfer-Encoding")
        if encoding is not None:
            if encoding.strip().lower() != "chunked":
                return self.refuse(501, b"transfer encoding not taken\n")
            return self.read_chunked(limit)
        lengths = self.headers.get_all("Content-Length") or []
        if not lengths:
            return self.refuse(411, b"length required\n")
        # Digits alone ("-1", "+5", "1e3" and two differing headers are no length), and not past the limit.
        if len(set(lengths)) != 1 or not CONTENT_LENGTH.match(lengths[0]):
            return self.refuse(400, b"unreadable length\n")
        length = int(lengths[0])
        if length > limit:
            # The rest of an oversized body is not read: the connection closes after the answer.
            return self.refuse(413, b"report too large\n")
        body = self.rfile.read(length)
        if len(body) != length:
            return self.refuse(400, b"body cut short\n")
        return body

    def report(self):
        try:
            body = self.read_body()
        except OSError:
            # The client went quiet for longer than the time-out, or its request's time ran out.
            self.close_connection = True
            return
        if body is None:
            return
        try:
            parts = report_store.parse_form(body, report_store.boundary_of(self.headers.get("Content-Type")))
        except report_store.FormError as error:
            self.answer(400, ("not a report: %s\n" % error).encode(), "text/plain")
            return
        summary = ",".join(name for name, _, _ in parts)
        try:
            folder = self.server.reports.store(parts)
        except report_store.QuotaError as error:
            self.answer(507, b"no room for more reports\n", "text/plain", " parts=%s error=%s" % (summary, error))
            return
        except OSError as error:
            self.answer(500, b"report not stored\n", "text/plain", " parts=%s error=%s" % (summary, error))
            return
        self.answer(200, b"ok\n", "text/plain", " report=%s parts=%s" % (folder, summary))

    def update(self, target):
        query = urllib.parse.parse_qs(target.query)
        if query.get("p", [""])[0] != self.server.product:
            self.answer(404, b"unknown product\n", "text/plain")
            return
        # The first "arch" counts, as for "p"; a name no build has gets the 32-bit answer, as a copy that
        # names none does.
        arch = query.get("arch", [""])[0]
        if arch not in answer.ARCHITECTURES:
            arch = answer.DEFAULT_ARCHITECTURE
        release, version = newest_release(self.server.releases, arch)
        if release is None:
            self.answer(404, b"no release\n", "text/plain")
            return
        # A signed release is sent exactly as the publisher signed it; the server holds no key.
        signed = os.path.join(answer.part(release, arch), answer.SIGNED_ANSWER)
        try:
            if os.path.isfile(signed):
                with open(signed, "rb") as f:
                    body = f.read()
                detail = " signed " + arch
            else:
                body = answer.document(release, version, self.server.base_url, self.server.product, None, arch)
                detail = " unsigned " + arch
        except (OSError, ValueError, KeyError, TypeError, AttributeError):
            self.answer(500, b"broken release.json\n", "text/plain")
            return
        self.answer(200, body, "text/xml; charset=utf-8", detail)

    def file(self, rest):
        parts = [urllib.parse.unquote(p) for p in rest.split("/")]
        # Only VERSION/NAME or VERSION/x64/NAME, and no part may climb out of the releases folder.
        name = parts[-1]
        if not 2 <= len(parts) <= 3 or not VERSION_NAME.match(parts[0]) \
                or (len(parts) == 3 and parts[1] not in SUBFOLDERS) or name in ("", ".", "..") \
                or "/" in name or "\\" in name or name in ("release.json", answer.SIGNED_ANSWER):
            self.answer(404, b"not found\n", "text/plain")
            return
        path = os.path.join(self.server.releases, *parts)
        try:
            with open(path, "rb") as f:
                body = f.read()
        except OSError:
            self.answer(404, b"not found\n", "text/plain")
            return
        self.answer(200, body)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--releases", required=True, help="folder with one subfolder per release")
    parser.add_argument("--host", default="127.0.0.1", help="address to listen on")
    parser.add_argument("--port", type=int, default=0, help="port to listen on; 0: a free one")
    parser.add_argument("--product", default="veltrix", help='the "p" the server answers')
    # Never taken from the request: a Host header is whatever the client (or whoever sits between) says.
    parser.add_argument("--base-url", required=True,
                        help="public address the file links start with (https://www.koravent.com)")
    parser.add_argument("--log", default="", help="file that receives one line per request")
    parser.add_argument("--reports", default="", help="folder that receives the problem reports; none: not taken")
    parser.add_argument("--report-path", default="/talvor/report.php", help="path the reports are posted to")
    parser.add_argument("--report-limit", type=int, default=64 << 20, help="largest report body in bytes")
    parser.add_argument("--report-quota", type=int, default=4 << 30,
                        help="bytes all stored reports may take together; past it reports are answered 507")
    parser.add_argument("--report-count", type=int, default=100000, help="most reports the folder may hold")
    parser.add_argument("--max-connections", type=int, default=64, help="connections served at once")
    parser.add_argument("--max-per-client", type=int, default=8,
                        help="connections served at once from one address")
    parser.add_argument("--client-timeout", type=float, default=30,
                        help="seconds a client may send nothing before it is dropped")
    parser.add_argument("--request-time", type=float, default=600,
                        help="seconds one request may take to arrive and be answered")
    parser.add_argument("--port-file", default="", help="file that receives the port number")
    parser.add_argument("--idle", type=float, default=0, help="seconds without a request before ending; 0: never")
    args = parser.parse_args()

    server = limits.BoundedServer((args.host, args.port), Handler, args.max_connections, args.client_timeout,
                                  args.request_time, args.max_per_client)
    server.releases = args.releases
    server.product = args.product
    if not re.match(r"^https?://[^/?#@\\]+$", args.base_url.rstrip("/")):
        parser.error("--base-url must be an http:// or https:// address without a path: %s" % args.base_url)
    server.base_url = args.base_url.rstrip("/")
    server.log_path = args.log
    server.log_lock = threading.Lock()
    server.reports = report_store.ReportStore(args.reports, args.report_quota, args.report_count) \
        if args.reports else None
    server.report_path = args.report_path
    server.report_limit = args.report_limit
    serving.serve(server, args.port_file, args.idle)


if __name__ == "__main__":
    sys.exit(main())
