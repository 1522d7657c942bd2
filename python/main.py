"""The device manager's web application.

The program imports this module once it has started Python. Importing it starts the HTTP server
on 127.0.0.1 and the setting "listen_port"; the server runs in gevent greenlets while the
program drives gevent's loop, so the import itself never blocks.

The home page shows the current device (model, id, versions and rides) and offers its actions
as plain forms. Each form posts to a route that starts the action on the device and sends the
browser back to the home page, which shows the action as running until its result arrives.
"""

import base64
import hmac
import html
import http.cookies
import os
import traceback
import urllib.parse

from gevent.pywsgi import WSGIServer

import orvo
from orvoweb import actions, exportdir
from orvoweb.i18n import UTF8

TITLE = "Tarvex Orvo 2-My Device Manager"
PORT_FOR_USER = "18889"
PORT_FOR_OTHERS = "18888"
# A form of the page is a few short fields; a longer body is refused unread.
MAX_FORM_BYTES = 16 * 1024
# Seconds between reloads while the device works.
REFRESH_SECONDS = 2

PAGE = """<!DOCTYPE html>
<html>
<head>
<meta charset="utf-8">
{refresh}<title>{title}</title>
<style>
body {{ font-family: sans-serif; margin: 16px; }}
dt {{ font-weight: bold; margin-top: 12px; }}
form {{ margin: 8px 0; }}
.failed {{ color: #a00; }}
</style>
</head>
<body>
<h1>{title}</h1>
<dl>
<dt>{version_label}</dt><dd id="version">{version}</dd>
<dt>{device_label}</dt><dd id="device">{device}</dd>
</dl>
{details}</body>
</html>
"""

DETAILS = """<dl>
<dt>{id_label}</dt><dd id="uuid">{uuid}</dd>
<dt>{versions_label}</dt><dd id="versions"><ul>
{versions}</ul></dd>
</dl>
<h2>{rides_label}</h2>
{rides}
{status}<h2>{actions_label}</h2>
<p>{folder_text} <code id="export-folder">{export_folder}</code></p>
<form id="export" method="post" action="/export">
<label>{folder_label} <input name="folder" value="rides"></label>
<button type="submit">{export_button}</button>
</form>
<form id="upload" method="post" action="/upload">
<button type="submit">{upload_button}</button>
</form>
<form id="import" method="post" action="/import">
<label>{package_label} <input name="package" value="share.zip"></label>
<button type="submit">{import_button}</button>
</form>
<form id="profile" method="post" action="/profile/read">
<label>{profile_label} <input name="file" value="profile.xml"></label>
<button type="submit">{read_button}</button>
<button type="submit" formaction="/profile/write">{write_button}</button>
</form>
"""

# The version texts the page lists, by their label and the client's getter.
VERSIONS = (("Firmware", "getTotal"), ("Application", "getAP"), ("System", "getOS"), ("Launcher", "getLaunchsec"),
            ("Boot loader", "getBootloader"))

# The client's service state while no action runs on it.
STATE_IN_SERVICE = 0


def _env():
    return orvo.OrvoEnv()


def log(text):
    """Appends one line to the program's log."""
    _env().appendLog(text.rstrip("\n") + "\n")


def listen_port():
    env = _env()
    default = PORT_FOR_USER if env.getRole() == "user" else PORT_FOR_OTHERS
    return int(env.getValue("listen_port", default))


def _text(text):
    return html.escape(UTF8(text))


def _respond(start_response, status, body, content_type="text/plain; charset=utf-8", headers=()):
    data = body.encode("utf-8")
    start_response(status, [("Content-Type", content_type), ("Content-Length", str(len(data)))] + list(headers))
    return [data]


def _versions_html(client):
    items = []
    for label, getter in VERSIONS:
        # Inquiry fields come padded, and a device without the field answers header bytes there.
        version = "".join(c for c in UTF8(getattr(client, getter)()) if c.isprintable()).strip()
        if version:
            items.append("<li>%s %s</li>\n" % (_text(label), html.escape(version)))
    return "".join(items)


def _ride_html(ride):
    """One ride by its name; a name the device keeps only as a bit-font picture is shown as
    that picture."""
    name = UTF8(ride.getName())
    if name:
        label = html.escape(name)
    else:
        picture = ride.getPixmap()
        fallback = html.escape(UTF8("Ride %d") % ride.getID())
        label = fallback
        if picture:
            label = '<img src="data:image/png;base64,%s" alt="%s">' % (base64.b64encode(picture).decode("ascii"),
                                                                       fallback)
    return '<li class="ride" data-id="%d">%s</li>\n' % (ride.getID(), label)


def _rides_html(client):
    if client.getState() != STATE_IN_SERVICE:
        return '<p id="rides">%s</p>\n' % _text("The device is busy; its rides are listed once it is free.")
    rides = client.getTracks()
    if not rides:
        return '<p id="rides">%s</p>\n' % _text("No rides on the device.")
    return '<ul id="rides">\n%s</ul>\n' % "".join(_ride_html(ride) for ride in rides)


def _action_html(action):
    lines = "".join("<li>%s</li>\n" % html.escape(line) for line in action.lines)
    return '<p class="%s">%s: %s</p>\n%s' % (action.state, html.escape(action.title), _text(action.state),
                                            "<ul>\n%s</ul>\n" % lines if lines else "")


def _status_html():
    if not actions.history:
        return ""
    return '<section id="status">\n%s</section>\n' % "".join(_action_html(action) for action in actions.history)


def _details_html(client):
    return DETAILS.format(
        id_label=_text("Device id"),
        uuid=html.escape(UTF8(client.getUUID())),
        versions_label=_text("Versions"),
        versions=_versions_html(client),
        rides_label=_text("Rides"),
        rides=_rides_html(client),
        status=_status_html(),
        actions_label=_text("Actions"),
        folder_text=_text("Files are written to and read from the export folder"),
        export_folder=html.escape(exportdir.root()),
        folder_label=_text("Folder"),
        export_button=_text("Export rides"),
        upload_button=_text("Make upload package"),
        package_label=_text("Share package"),
        import_button=_text("Import share package"),
        profile_label=_text("Profile file"),
        read_button=_text("Read profile"),
        write_button=_text("Write profile"),
    )


def home(environ, start_response):
    client = orvo.OrvoClient()
    present = client.isExist()
    working = present and (actions.waiting() is not None or client.getState() != STATE_IN_SERVICE)
    page = PAGE.format(
        refresh='<meta http-equiv="refresh" content="%d">\n' % REFRESH_SECONDS if working else "",
        title=_text(TITLE),
        version_label=_text("Version"),
        version=html.escape(_env().getVersion()),
        device_label=_text("Device"),
        device=html.escape(UTF8(client.getName())) if present else _text("No device connected"),
        details=_details_html(client) if present else "",
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


# The secret of the user the program runs for, from the file only that user can read. An empty
# token (it could not be written) lets nobody in.
TOKEN = _env().getWebToken()


def _cookie_name(environ):
    # Cookies do not keep ports apart: the tray program's and the daemon's applications share
    # 127.0.0.1, each with its own token.
    return "orvo_token_%s" % environ.get("SERVER_PORT", "")


def _query_token(environ):
    return urllib.parse.parse_qs(environ.get("QUERY_STRING", "")).get("token", [""])[0]


def _presented_tokens(environ):
    """The tokens the request carries: in the address (once, when a page is opened), in the
    cookie that answer set, or in an Authorization header ("Token <token>") from a program."""
    tokens = [_query_token(environ)]
    cookies = http.cookies.SimpleCookie()
    try:
        cookies.load(environ.get("HTTP_COOKIE", ""))
    except http.cookies.CookieError:
        pass
    morsel = cookies.get(_cookie_name(environ))
    tokens.append(morsel.value if morsel is not None else "")
    scheme, _, value = environ.get("HTTP_AUTHORIZATION", "").partition(" ")
    tokens.append(value.strip() if scheme.lower() == "token" else "")
    return tokens


def has_token(environ):
    expected = TOKEN.encode("ascii")
    return bool(expected) and any(
        hmac.compare_digest(token.encode("utf-8", errors="replace"), expected) for token in _presented_tokens(environ))


def _without_token(environ):
    """The request's path and query, less the token."""
    fields = [(name, value) for name, value in urllib.parse.parse_qsl(environ.get("QUERY_STRING", ""),
                                                                        keep_blank_values=True) if name != "token"]
    query = urllib.parse.urlencode(fields)
    return urllib.parse.quote(environ.get("PATH_INFO", "/")) + ("?" + query if query else "")


def _token_to_cookie(environ, start_response):
    """A page opened with the token in its address: the token goes into a cookie that no other
    site's page can make the browser send, and the browser comes back without it in the address."""
    cookie = "%s=%s; Path=/; HttpOnly; SameSite=Strict" % (_cookie_name(environ), TOKEN)
    return _respond(start_response, "303 See Other", "", headers=[("Location", _without_token(environ)),
                                                                  ("Set-Cookie", cookie),
                                                                  ("Cache-Control", "no-store")])


def export_log(environ, start_response):
    """Packs the logs into a new zip file named by the posted field "dest", in a folder that
    exists. A file already there is never replaced, so no request can remove a file by naming it."""
    if environ.get("REQUEST_METHOD") != "POST":
        return _respond(start_response, "405 Method Not Allowed", "post dest\n", headers=[("Allow", "POST")])
    if from_other_site(environ):
        return _respond(start_response, "403 Forbidden", "not from another site\n")
    form = _form(environ)
    if form is None:
        return _respond(start_response, "413 Payload Too Large", "form too long\n")
    dest = form.get("dest", "")
    folder = os.path.dirname(dest)
    if not os.path.isabs(dest) or "\0" in dest or not os.path.isdir(folder):
        return _respond(start_response, "400 Bad Request", "dest must be a new file in an existing folder\n")
    if os.path.lexists(dest):
        return _respond(start_response, "409 Conflict", "dest exists; the export replaces no file\n")
    _env().exportOrvoLog(dest)
    return _respond(start_response, "200 OK", "ok\n")


def _form(environ):
    """The posted form's fields, first value each; None for a body that is too long or whose
    length is not a number."""
    try:
        length = int(environ.get("CONTENT_LENGTH") or "0")
    except ValueError:
        return None
    if length < 0 or length > MAX_FORM_BYTES:
        return None
    body = environ["wsgi.input"].read(length) if length else b""
    fields = urllib.parse.parse_qs(body.decode("utf-8", errors="replace"), keep_blank_values=True)
    return {name: values[0] for name, values in fields.items()}


# Each form's reader answers the start of its action, or None for a form that names no file or
# folder of the export folder.
def _export(client, form):
    folder = exportdir.resolve(form.get("folder", "").strip())
    return None if folder is None else lambda: actions.export_rides(client, folder)


def _upload(client, form):
    return lambda: actions.make_upload_package(client)


def _import(client, form):
    package = exportdir.resolve_file(form.get("package", "").strip(), must_exist=True)
    return None if package is None else lambda: actions.import_share(client, package)


def _read_profile(client, form):
    target = exportdir.resolve_file(form.get("file", "").strip(), must_exist=False)
    return None if target is None else lambda: actions.read_profile(client, target)


def _write_profile(client, form):
    source = exportdir.resolve_file(form.get("file", "").strip(), must_exist=True)
    return None if source is None else lambda: actions.write_profile(client, source)


def device_action(reader):
    """A route that starts one device action from a posted form and then sends the browser
    back to the home page. The action changes the device or files, so no other site's page may
    ask for it; a name that is not a file or folder of the export folder is refused."""

    def route(environ, start_response):
        if environ.get("REQUEST_METHOD") != "POST":
            return _respond(start_response, "405 Method Not Allowed", "post the form\n", headers=[("Allow", "POST")])
        if from_other_site(environ):
            return _respond(start_response, "403 Forbidden", "not from another site\n")
        form = _form(environ)
        if form is None:
            return _respond(start_response, "413 Payload Too Large", "form too long\n")
        client = orvo.OrvoClient()
        if not client.isExist():
            return _respond(start_response, "409 Conflict", "no device connected\n")
        start = reader(client, form)
        if start is None:
            return _respond(start_response, "400 Bad Request", "not a file or folder of the export folder\n")
        start()
        return _respond(start_response, "303 See Other", "", headers=[("Location", "/")])

    return route


ROUTES = {
    "/": home,
    "/export_log": export_log,
    "/export": device_action(_export),
    "/upload": device_action(_upload),
    "/import": device_action(_import),
    "/profile/read": device_action(_read_profile),
    "/profile/write": device_action(_write_profile),
}


def application(environ, start_response):
    """Every route answers only requests that name this server and carry the token."""
    if not for_this_server(environ):
        return _respond(start_response, "403 Forbidden", "not a name of this server\n")
    if not has_token(environ):
        return _respond(start_response, "403 Forbidden", "open the address with its token\n")
    if _query_token(environ) and environ.get("REQUEST_METHOD") == "GET":
        return _token_to_cookie(environ, start_response)
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
