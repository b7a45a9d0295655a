"""The report endpoint of server/update_server.py under hostile clients, over real sockets on 127.0.0.1:
lengths that lie, clients that stall, too many connections, a full quota, and two servers sharing one
reports folder. Run by CTest (report_server_tests); standard library only."""

import os
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

SERVER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "server", "update_server.py")
BOUNDARY = "-----------------------------1234567890123"
LIMIT = 2000


def form(description, size=0):
    body = ("--%s\r\nContent-Disposition: form-data; name=\"x\"\r\nContent-Type: text/plain; charset=UTF-8\r\n\r\n"
            "%s\r\n--%s\r\nContent-Disposition: form-data; name=\"t\"; filename=\"Veltrix_Debug.txt\"\r\n"
            "Content-Type: application/octet-stream\r\n\r\n" % (BOUNDARY, description, BOUNDARY)).encode()
    return body + b"r" * size + ("\r\n--%s--\r\n" % BOUNDARY).encode()


class Server:
    def __init__(self, reports, *options):
        self.folder = tempfile.mkdtemp(prefix="report-server-")
        port_file = os.path.join(self.folder, "port")
        self.process = subprocess.Popen(
            [sys.executable, SERVER, "--releases", self.folder, "--reports", reports, "--port-file", port_file,
             "--base-url", "http://127.0.0.1",
             "--log", os.path.join(self.folder, "log"), "--report-limit", str(LIMIT)] + list(options))
        for _ in range(200):
            if os.path.exists(port_file):
                break
            time.sleep(0.05)
        with open(port_file) as f:
            self.port = int(f.read())

    def stop(self):
        self.process.terminate()
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()  # fail, but leave nothing running that would hold the test's output open
            self.process.wait()
            raise
        shutil.rmtree(self.folder, ignore_errors=True)

    def connect(self, source="127.0.0.1"):
        """A connection from that address (every 127.x.y.z address is this machine's)."""
        return socket.create_connection(("127.0.0.1", self.port), timeout=20, source_address=(source, 0))

    def send(self, head, body=b""):
        """Sends the request as given and reads the answer until the server closes or 10 s pass; the status."""
        with self.connect() as connection:
            connection.sendall(head + body)
            connection.shutdown(socket.SHUT_WR)
            answer = read_until_closed(connection)
        return int(answer.split(b" ")[1]) if answer.startswith(b"HTTP/1.") else 0

    def post(self, body, headers=None):
        lines = ["POST /talvor/report.php HTTP/1.1", "Host: 127.0.0.1",
                 "Content-Type: multipart/form-data; boundary=" + BOUNDARY, "Connection: close"]
        lines += headers if headers is not None else ["Content-Length: %d" % len(body)]
        return self.send(("\r\n".join(lines) + "\r\n\r\n").encode(), body)


def read_until_closed(connection, seconds=10):
    connection.settimeout(seconds)
    answer = b""
    try:
        while True:
            data = connection.recv(65536)
            if not data:
                break
            answer += data
    except socket.timeout:
        pass
    return answer


def chunked(body, size_line=None):
    if size_line is not None:
        return size_line + b"\r\n" + body + b"\r\n0\r\n\r\n"
    return b"%x\r\n%s\r\n0\r\n\r\n" % (len(body), body)


class ReportServerTest(unittest.TestCase):
    def setUp(self):
        self.reports = tempfile.mkdtemp(prefix="reports-")

    def tearDown(self):
        shutil.rmtree(self.reports, ignore_errors=True)

    def stored(self):
        return sorted(name for name in os.listdir(self.reports) if not name.startswith("."))

    def test_limit_holds_for_every_form_of_body(self):
        server = Server(self.reports)
        try:
            big = form("x", 5000)
            small = form("It crashed.")
            cases = [
                ("negative length", ["Content-Length: -1"], big, 400),
                ("signed length", ["Content-Length: +5000"], big, 400),
                ("two lengths", ["Content-Length: 10", "Content-Length: 5000"], big, 400),
                ("missing length", [], big, 411),
                ("length past the limit", ["Content-Length: %d" % len(big)], big, 413),
                ("chunk size -1", ["Transfer-Encoding: chunked"], chunked(big, b"-1"), 400),
                ("chunk size 0x", ["Transfer-Encoding: chunked"], chunked(big, b"0x1388"), 400),
                ("chunks past the limit", ["Transfer-Encoding: chunked"], chunked(big), 413),
                ("other encoding", ["Transfer-Encoding: gzip, chunked"], chunked(big), 501),
                ("length cut short", ["Content-Length: %d" % (len(small) + 10)], small, 400),
                ("chunked within the limit", ["Transfer-Encoding: chunked"], chunked(small), 200),
                ("length within the limit", ["Content-Length: %d" % len(small)], small, 200),
            ]
            for name, headers, body, status in cases:
                with self.subTest(name):
                    self.assertEqual(status, server.post(body, headers))
            # Only the two within the limit were stored, each whole.
            stored = self.stored()
            self.assertEqual(2, len(stored))
            for report in stored:
                with open(os.path.join(self.reports, report, "01-x"), "rb") as f:
                    self.assertEqual(b"It crashed.", f.read())
        finally:
            server.stop()

    def test_idle_and_slow_clients_are_dropped_and_connections_bounded(self):
        server = Server(self.reports, "--client-timeout", "1", "--request-time", "3", "--max-connections", "4",
                        "--max-per-client", "3")
        try:
            # A client that sends nothing is closed after about the idle time-out.
            with server.connect() as idle:
                started = time.monotonic()
                self.assertEqual(b"", read_until_closed(idle))
                idle_seconds = time.monotonic() - started
            self.assertLess(idle_seconds, 5)
            # A client that sends a byte every half second (never idle for a second) is cut off when its
            # request's time is up.
            with server.connect() as slow:
                started = time.monotonic()
                request = b"POST /talvor/report.php HTTP/1.1\r\nContent-Length: 100000\r\n\r\n" + b"x" * 100
                try:
                    for byte in request:
                        slow.sendall(bytes([byte]))
                        time.sleep(0.5)
                except OSError:
                    pass
                slow_seconds = time.monotonic() - started
            self.assertLess(slow_seconds, 8)
            # Three connections from one address are served at once, and a fourth from another; past those,
            # a client is answered 503 at once: the fourth from the first address, though the server
            # would serve four, and any once four are served.
            held = [server.connect() for _ in range(3)]
            time.sleep(0.3)
            try:
                for source, busy in (("127.0.0.1", True), ("127.0.0.2", False), ("127.0.0.3", True)):
                    extra = server.connect(source)
                    if not busy:
                        # Served: it is waited for, nothing is answered yet.
                        held.append(extra)
                        extra.settimeout(0.3)
                        self.assertRaises(socket.timeout, extra.recv, 1)
                        continue
                    with extra:
                        answer = read_until_closed(extra, 3)
                    self.assertTrue(answer.startswith(b"HTTP/1.1 503 "), (source, answer))
            finally:
                for connection in held:
                    connection.close()
            # Once they are gone, reports are taken again.
            time.sleep(0.5)
            self.assertEqual(200, server.post(form("after")))
            print("idle client dropped after %.1f s, trickling client after %.1f s" % (idle_seconds, slow_seconds))
        finally:
            server.stop()

    def test_quota_is_answered_507(self):
        report = form("quota", 600)
        server = Server(self.reports, "--report-quota", str(3 * 610), "--report-count", "5")
        try:
            statuses = [server.post(report) for _ in range(4)]
            self.assertEqual([200, 200, 200, 507], statuses)
            self.assertEqual(3, len(self.stored()))
        finally:
            server.stop()
        server = Server(self.reports, "--report-count", "4")
        try:
            self.assertEqual([200, 507], [server.post(form("count")) for _ in range(2)])
        finally:
            server.stop()

    def test_two_servers_share_a_folder(self):
        servers = [Server(self.reports), Server(self.reports)]
        try:
            statuses = []
            lock = threading.Lock()

            def post_many(server, tag):
                for i in range(8):
                    status = server.post(form("%s-%d" % (tag, i)))
                    with lock:
                        statuses.append(status)

            threads = [threading.Thread(target=post_many, args=(server, "%d-%d" % (n, k)))
                       for n, server in enumerate(servers) for k in range(3)]
            for thread in threads:
                thread.start()
            for thread in threads:
                thread.join(60)
            self.assertEqual([200] * 48, statuses)
            stored = self.stored()
            self.assertEqual(48, len(stored))
            descriptions = set()
            for report in stored:
                with open(os.path.join(self.reports, report, "01-x"), "rb") as f:
                    descriptions.add(f.read())
            self.assertEqual(48, len(descriptions))
            self.assertEqual([], [name for name in os.listdir(self.reports) if name.startswith(".")])
        finally:
            for server in servers:
                server.stop()


if __name__ == "__main__":
    unittest.main()
