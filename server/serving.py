"""What the servers in this folder share: a threading HTTP server that can tell a test where it listens,
end when the test's lease connection closes, and end after a time without requests.

A test cannot learn the port of a server started through Wine from its output, so the server writes it
to a port file (whole, under another name first, so a reader never sees half a number) and removes that
file when it ends: the file's disappearance tells the test the server has gone. The test holds a
connection open with GET /lease; when it closes (the test ended, or its process died and the system
closed the socket) the server ends. Standard library only.
"""

import http.server
import os
import signal
import threading
import time


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, address, handler):
        super().__init__(address, handler)
        self.last_request = time.monotonic()

    def touch(self):
        """Called at every request: the idle time counts from the last one."""
        self.last_request = time.monotonic()


def hold_lease(handler):
    """Answers a GET /lease, waits for the client to hang up, and ends the server when it does."""
    handler.answer(200, b"", "text/plain")
    handler.wfile.flush()
    while handler.connection.recv(4096):
        pass
    handler.close_connection = True
    threading.Thread(target=handler.server.shutdown, daemon=True).start()


def _watch(server, idle):
    while time.monotonic() - server.last_request < idle:
        time.sleep(1)
    server.shutdown()


def serve(server, port_file="", idle=0):
    """Serves until shut down, a signal, or `idle` seconds without a request (0: no limit)."""
    # Ended by a signal (the session that started it closing, or Ctrl+C), the server stops the way it
    # stops otherwise: serve_forever returns and the port file goes. Raising from the handler instead
    # would land in whatever the main thread was doing, such as starting a request's thread, where
    # the exception was caught and the server went on serving.
    def stop(*_):
        threading.Thread(target=server.shutdown, daemon=True).start()

    for number in (signal.SIGTERM, signal.SIGHUP, signal.SIGINT):
        signal.signal(number, stop)
    if idle > 0:
        threading.Thread(target=_watch, args=(server, idle), daemon=True).start()
    if port_file:
        temporary = port_file + ".tmp"
        with open(temporary, "w") as f:
            f.write("%d\n" % server.server_address[1])
        os.replace(temporary, port_file)
    try:
        server.serve_forever(poll_interval=0.2)
    finally:
        server.server_close()
        if port_file:
            try:
                os.remove(port_file)
            except OSError:
                pass
