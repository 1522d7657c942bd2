"""The device manager's web application.

The program imports this module once it has started Python. Importing it starts the HTTP server
on 127.0.0.1 and the setting "listen_port"; the server runs in gevent greenlets while the
program drives gevent's loop, so the import itself never blocks.
"""

import html
import os
import traceback
import urllib.parse

from gevent.pywsgi import WSGIServer

import orvo
from orvoweb.i18n import UTF8

TITLE = "Tarvex Orvo 2-My Device Manager"
PORT_FOR_USER = "18889"
PORT_FOR_OTHERS = "18888"

PAGE = """<!DOCTYPE html>
<html>
<head>
<meta charset="utf-8">
<title>{title}</title>
<style>
body {{ font-family: sans-serif; margin: 16px; }}
dt {{ font-weight: bold; margin-top: 12px; }}
</style>
</head>
<body>
<h1>{title}</h1>
<dl>
<dt>{version_label}</dt><dd id="version">{version}</dd>
<dt>{device_label}</dt><dd id="device">{device}</dd>
</dl>
</body>
</html>
"""


def _env():
    return orvo.OrvoEnv()


def log(text):
    """Appends one line to the program's log."""
    _env().appendLog(text.rstrip("\n") + "\n")


def listen_port():
    env = _env()
    default = PORT_FOR_USER if env.getRole() == "user" else PORT_FOR_OTHERS
    return int(env.getValue("listen_port", default))


def current_device():
    client = orvo.OrvoClient()
    if client.isExist():
        return client.getName()
    return UTF8("No device connected")


def _respond(start_response, status, body, content_type="text/plain; charset=utf-8"):
    data = body.encode("utf-8")
    start_response(status, [("Content-Type", content_type), ("Content-Length", str(len(data)))])
    return [data]


def home(environ, start_response):
    page = PAGE.format(
        title=html.escape(UTF8(TITLE)),
        version_label=html.escape(UTF8("Version")),
        version=html.escape(_env().getVersion()),
        device_label=html.escape(UTF8("Device")),
        device=html.escape(current_device()),
    )
    return _respond(start_response, "200 OK", page, "text/html; charset=utf-8")


def from_other_site(environ):
    """True for a request that a page of another site made the browser send. The program asks
    without browser headers, and the application's own pages are of the same origin."""
    fetch_site = environ.get("HTTP_SEC_FETCH_SITE")
    if fetch_site is not None and fetch_site != "same-origin":
        return True
    origin = environ.get("HTTP_ORIGIN")
    own = "http://%s" % environ.get("HTTP_HOST", "")
    return origin is not None and origin != own


LOOPBACK_NAMES = ("127.0.0.1", "localhost", "[::1]")


def for_this_server(environ):
    """True when the request names this server by a loopback name and its own port. A page of
    another site that has its own name answer with 127.0.0.1 sends that name as Host, and the
    browser counts the page's requests as same-origin: only the Host tells them apart."""
    host = environ.get("HTTP_HOST", "").lower()
    port = environ.get("SERVER_PORT", "")
    return host in ["%s:%s" % (name, port) for name in LOOPBACK_NAMES]


def export_log(environ, start_response):
    """Packs the logs into the zip file named by "dest", a file in a folder that exists. The
    file is replaced, so no other site's page may ask for it."""
    if not for_this_server(environ) or from_other_site(environ):
        return _respond(start_response, "403 Forbidden", "not from another site\n")
    query = urllib.parse.parse_qs(environ.get("QUERY_STRING", ""))
    dest = query.get("dest", [""])[0]
    folder = os.path.dirname(dest)
    if not os.path.isabs(dest) or os.path.isdir(dest) or not os.path.isdir(folder):
        return _respond(start_response, "400 Bad Request", "dest must be a file in an existing folder\n")
    _env().exportOrvoLog(dest)
    return _respond(start_response, "200 OK", "ok\n")


ROUTES = {
    "/": home,
    "/export_log": export_log,
}


def application(environ, start_response):
    handler = ROUTES.get(environ.get("PATH_INFO", "/"))
    if handler is None:
        return _respond(start_response, "404 Not Found", "not found\n")
    try:
        return handler(environ, start_response)
    except Exception:
        log("request %s failed:\n%s" % (environ.get("PATH_INFO"), traceback.format_exc()))
        return _respond(start_response, "500 Internal Server Error", "internal error\n")


server = WSGIServer(("127.0.0.1", listen_port()), application, log=None)
server.start()
