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

GET /data/update.php?p=veltrix&v=1.10&id=... answers the update document of the release with the highest
version (compared as numbers); the client decides whether it is newer than what it runs. A release that
sign_release.py signed holds its answer, signed, in answer.xml, which is sent byte for byte as it is;
otherwise the answer is made from release.json (unsigned: copies built with the publisher's key refuse
it). The files are served from /files/VERSION/NAME, and the links in the answer start with --base-url,
which the server needs (never the request's Host header). Every request is logged, one line each, to the --log file (standard
error without one). Standard library only.

With --reports FOLDER it also takes the problem reports that Veltrix sends after a crash: POST
/talvor/report.php with a multipart form, stored one folder per report inside FOLDER (see report_store.py)
and answered 200; a body that is no such form gets 400, one larger than --report-limit bytes 413, and a
report that cannot be stored 500.

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
import report_store
import serving

VERSION_NAME = re.compile(r"^(\d{1,9})\.(\d{1,9})$")


def newest_release(releases):
    """The folder and version of the release with the highest version, or (None, None)."""
    best = None
    try:
        names = os.listdir(releases)
    except OSError:
        return None, None
    for name in names:
        match = VERSION_NAME.match(name)
        if match and os.path.isfile(os.path.join(releases, name, "release.json")):
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

    def read_body(self):
        """The request's body, or None after answering why it was refused."""
        if "chunked" in self.headers.get("Transfer-Encoding", "").lower():
            body = bytearray()
            while True:
                size = int(self.rfile.readline().split(b";")[0].strip() or b"0", 16)
                if size == 0:
                    while self.rfile.readline() not in (b"\r\n", b"\n", b""):
                        pass
                    return bytes(body)
                if len(body) + size > self.server.report_limit:
                    break
                body += self.rfile.read(size)
                self.rfile.readline()
        else:
            length = int(self.headers.get("Content-Length", "0"))
            if length <= self.server.report_limit:
                return self.rfile.read(length)
        # The rest of an oversized body is not read: the connection closes after the answer.
        self.close_connection = True
        self.answer(413, b"report too large\n", "text/plain")
        return None

    def report(self):
        try:
            body = self.read_body()
        except ValueError:
            self.close_connection = True
            self.answer(400, b"unreadable body\n", "text/plain")
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
        except OSError as error:
            self.answer(500, b"report not stored\n", "text/plain", " parts=%s error=%s" % (summary, error))
            return
        self.answer(200, b"ok\n", "text/plain", " report=%s parts=%s" % (folder, summary))

    def update(self, target):
        query = urllib.parse.parse_qs(target.query)
        if query.get("p", [""])[0] != self.server.product:
            self.answer(404, b"unknown product\n", "text/plain")
            return
        release, version = newest_release(self.server.releases)
        if release is None:
            self.answer(404, b"no release\n", "text/plain")
            return
        # A signed release is sent exactly as the publisher signed it; the server holds no key.
        signed = os.path.join(release, answer.SIGNED_ANSWER)
        try:
            if os.path.isfile(signed):
                with open(signed, "rb") as f:
                    body = f.read()
                detail = " signed"
            else:
                body = answer.document(release, version, self.server.base_url, self.server.product)
                detail = " unsigned"
        except (OSError, ValueError, KeyError, TypeError, AttributeError):
            self.answer(500, b"broken release.json\n", "text/plain")
            return
        self.answer(200, body, "text/xml; charset=utf-8", detail)

    def file(self, rest):
        parts = [urllib.parse.unquote(p) for p in rest.split("/")]
        # Only VERSION/NAME, and neither part may climb out of the releases folder.
        if len(parts) != 2 or not VERSION_NAME.match(parts[0]) or parts[1] in ("", ".", "..") \
                or "/" in parts[1] or "\\" in parts[1] or parts[1] in ("release.json", answer.SIGNED_ANSWER):
            self.answer(404, b"not found\n", "text/plain")
            return
        path = os.path.join(self.server.releases, parts[0], parts[1])
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
    parser.add_argument("--port-file", default="", help="file that receives the port number")
    parser.add_argument("--idle", type=float, default=0, help="seconds without a request before ending; 0: never")
    args = parser.parse_args()

    server = serving.Server((args.host, args.port), Handler)
    server.releases = args.releases
    server.product = args.product
    if not re.match(r"^https?://[^/?#@\\]+$", args.base_url.rstrip("/")):
        parser.error("--base-url must be an http:// or https:// address without a path: %s" % args.base_url)
    server.base_url = args.base_url.rstrip("/")
    server.log_path = args.log
    server.log_lock = threading.Lock()
    server.reports = report_store.ReportStore(args.reports) if args.reports else None
    server.report_path = args.report_path
    server.report_limit = args.report_limit
    serving.serve(server, args.port_file, args.idle)


if __name__ == "__main__":
    sys.exit(main())
