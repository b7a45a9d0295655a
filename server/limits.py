"""Bounds that keep a server exposed to anyone usable by everyone: a bounded number of connections, and
of connections from one address, so that no single client can take them all (one more is answered 503
at once and closed), a time-out for a client that sends nothing, and a
deadline for each request as a whole, so that a client trickling a byte now and then is dropped too.
Standard library only.
"""

import socket
import sys
import threading
import time

import serving

BUSY = (b"HTTP/1.1 503 Service Unavailable\r\nContent-Type: text/plain\r\nContent-Length: 5\r\n"
        b"Connection: close\r\nRetry-After: 60\r\n\r\nbusy\n")


class BoundedServer(serving.Server):
    def __init__(self, address, handler, max_connections=64, idle_timeout=30.0, request_time=600.0,
                 max_per_client=8):
        super().__init__(address, handler)
        self.slots = threading.BoundedSemaphore(max_connections)
        self.max_per_client = max_per_client
        self.clients = {}
        self.clients_lock = threading.Lock()
        self.idle_timeout = idle_timeout
        self.request_time = request_time
        self.deadlines = {}
        self.deadline_lock = threading.Lock()
        threading.Thread(target=self._reap, daemon=True).start()

    def handle_error(self, request, client_address):
        # A client that went away, or was dropped for its time, is no error of the server's.
        if isinstance(sys.exc_info()[1], OSError):
            return
        super().handle_error(request, client_address)

    def _take_client(self, host):
        with self.clients_lock:
            if self.clients.get(host, 0) >= self.max_per_client:
                return False
            self.clients[host] = self.clients.get(host, 0) + 1
            return True

    def _release_client(self, host):
        with self.clients_lock:
            self.clients[host] -= 1
            if not self.clients[host]:
                del self.clients[host]

    def process_request(self, request, client_address):
        host = client_address[0]
        if not self._take_client(host):
            self._refuse(request)
            return
        if not self.slots.acquire(blocking=False):
            self._release_client(host)
            self._refuse(request)
            return
        try:
            super().process_request(request, client_address)
        except Exception:
            # Only the thread's start can fail here, and then its own release will never run.
            self.slots.release()
            self._release_client(host)
            raise

    def _refuse(self, request):
        try:
            request.settimeout(1)
            request.sendall(BUSY)
        except OSError:
            pass
        self.shutdown_request(request)

    def process_request_thread(self, request, client_address):
        try:
            # Each receive waits at most this long: a client that sends nothing goes.
            request.settimeout(self.idle_timeout)
            super().process_request_thread(request, client_address)
        finally:
            self.end_deadline(request)
            self.slots.release()
            self._release_client(client_address[0])

    def start_deadline(self, connection):
        """A request began on the connection: it has request_time seconds to be read and answered."""
        with self.deadline_lock:
            self.deadlines[connection] = time.monotonic() + self.request_time

    def end_deadline(self, connection):
        with self.deadline_lock:
            self.deadlines.pop(connection, None)

    def _reap(self):
        while True:
            time.sleep(0.2)
            now = time.monotonic()
            with self.deadline_lock:
                late = [c for c, deadline in self.deadlines.items() if deadline < now]
                for connection in late:
                    del self.deadlines[connection]
            for connection in late:
                # The handler's blocked receive returns at once with nothing, and the handler ends.
                try:
                    connection.shutdown(socket.SHUT_RDWR)
                except OSError:
                    pass
