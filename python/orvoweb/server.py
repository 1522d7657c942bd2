"""The web application's HTTP server: gevent's, bounded so that clients that are slow, idle or
many cannot take the program's open files and shut the user out of the page.

A request arrives whole (request line, headers and its body) within REQUEST_SECONDS of its first
byte, or its connection is closed; a connection waits at most IDLE_SECONDS for a request. At most
max_connections() connections are open at once: a new one closes the connection that has waited
longest for a request, else the one that has been sending its request longest; connections whose
request is being answered are kept.
"""

import io
import resource
import time

import gevent
from gevent.pywsgi import Input, WSGIHandler, WSGIServer

REQUEST_SECONDS = 5
IDLE_SECONDS = 15
# The page's forms are small; a longer body is refused before it is read.
MAX_BODY_BYTES = 16 * 1024
# The connections take at most this share of the open-file limit: the rest is the program's
# logs, databases, devices and libraries.
OPEN_FILE_SHARE = 4
MAX_CONNECTIONS = 512
# Connections accepted in one turn of the loop: those they close make way before more come in.
ACCEPT_BATCH = 16

WAITING, READING, ANSWERING = range(3)


def max_connections():
    soft, _ = resource.getrlimit(resource.RLIMIT_NOFILE)
    if soft == resource.RLIM_INFINITY:
        return MAX_CONNECTIONS
    return max(1, min(MAX_CONNECTIONS, soft // OPEN_FILE_SHARE))


class Connections:
    """The open connections by the greenlet that serves each, with what it does since when."""

    def __init__(self, limit):
        self.limit = limit
        self._open = {}

    def admit(self, greenlet):
        """Makes room for greenlet's connection; False when every open one is being answered."""
        while len(self._open) >= self.limit:
            victim = self._longest(WAITING)
            if victim is None:
                victim = self._longest(READING)
            if victim is None:
                return False
            del self._open[victim]
            victim.kill(block=False)
        self._open[greenlet] = (WAITING, time.monotonic())
        return True

    def mark(self, greenlet, doing):
        if greenlet in self._open:
            self._open[greenlet] = (doing, time.monotonic())

    def leave(self, greenlet):
        self._open.pop(greenlet, None)

    def _longest(self, doing):
        found = [(since, greenlet) for greenlet, (state, since) in self._open.items() if state == doing]
        return min(found, key=lambda entry: entry[0])[1] if found else None


class RequestRefused(ValueError):
    """A request the server answers itself, before the application sees it."""

    def __init__(self, status, text):
        super().__init__(text)
        body = (text + "\n").encode("ascii")
        self.status = status.split()[0]
        self.response = b"HTTP/1.1 %s\r\nConnection: close\r\nContent-Type: text/plain\r\nContent-Length: %d\r\n\r\n%s" % (
            status.encode("ascii"), len(body), body)


class BoundedHandler(WSGIHandler):
    """Reads each request whole, within its deadline, before the application runs."""

    body = b""

    def handle_one_request(self):
        connections = self.server.connections
        connections.mark(gevent.getcurrent(), WAITING)
        if not self._request_begins():
            return None
        connections.mark(gevent.getcurrent(), READING)
        self.deadline = gevent.Timeout(REQUEST_SECONDS)
        self.deadline.start()
        try:
            return super().handle_one_request()
        except gevent.Timeout as timeout:
            if timeout is not self.deadline:
                raise
            return None
        finally:
            self.deadline.close()

    def _request_begins(self):
        """True once the request's first byte is there; false when the client closed or waited too long."""
        first = b""
        try:
            with gevent.Timeout(IDLE_SECONDS, False):
                first = self.rfile.peek(1)
        except OSError:
            return False
        return bool(first)

    def read_request(self, raw_requestline):
        super().read_request(raw_requestline)
        if self.headers.get("Transfer-Encoding", "").lower() == "chunked":
            raise RequestRefused("411 Length Required", "send the form with its Content-Length")
        length = self.content_length or 0
        if length > MAX_BODY_BYTES:
            raise RequestRefused("413 Payload Too Large", "form too long")
        if length and self.headers.get("Expect", "").lower() == "100-continue":
            self.socket.sendall(b"HTTP/1.1 100 Continue\r\n\r\n")
        self.body = self.rfile.read(length) if length else b""
        if len(self.body) < length:
            raise RequestRefused("400 Bad Request", "the body is shorter than its Content-Length")
        self.deadline.cancel()
        self.server.connections.mark(gevent.getcurrent(), ANSWERING)
        return True

    def get_environ(self):
        environ = super().get_environ()
        self.wsgi_input = Input(io.BytesIO(self.body), len(self.body))
        environ["wsgi.input"] = self.wsgi_input
        return environ

    def _handle_client_error(self, ex):
        if isinstance(ex, RequestRefused):
            self.log_error("refused: %s", ex)
            return ex.status, ex.response
        return super()._handle_client_error(ex)


class BoundedServer(WSGIServer):
    handler_class = BoundedHandler

    def __init__(self, listener, application, **kwargs):
        super().__init__(listener, application, **kwargs)
        self.connections = Connections(max_connections())
        self.max_accept = ACCEPT_BATCH

    def handle(self, sock, address):
        greenlet = gevent.getcurrent()
        if not self.connections.admit(greenlet):
            sock.close()
            return
        try:
            super().handle(sock, address)
        finally:
            self.connections.leave(greenlet)
