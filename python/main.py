"""The device manager's web application.

The program imports this module once it has started Python. Importing it starts the HTTP server
on 127.0.0.1 and the setting "listen_port"; the server runs in gevent greenlets while the
program drives gevent's loop, so the import itself never blocks.

The home page shows the current device (model, id, versions and rides) and offers its actions
as plain forms. Each form posts to a route that starts the action on the device and sends the
browser back to the home page, which shows the action as running until its result arrives.
"""

import base64
import configparser
import hmac
import html
import json
import os
import string
import traceback
import urllib.parse

import orvo
from orvoweb import actions, exportdir, families, profile
from orvoweb.i18n import UTF8
from orvoweb.server import BoundedServer

TITLE = "Tarvex Orvo 2-My Device Manager"
PORT_FOR_USER = "18889"
PORT_FOR_OTHERS = "18888"
# The daemon's settings file beside the tray program's, and the group of both.
DAEMON_SETTINGS = "orvo.ini"
TRAY_SETTINGS = "orvouser.ini"
# The daemon's token file beside its settings, and the length of a token (hexadecimal digits).
DAEMON_TOKEN_FILE = "orvo.token"
TOKEN_LENGTH = 64
SETTINGS_GROUP = "TarvexOrvo"
# A form of the page is a few short fields; a longer body is refused unread.
MAX_FORM_BYTES = 16 * 1024
# Milliseconds between the page's questions whether the device or its action changed: often
# enough that a step of a long action that lasts a second shows in its progress bar.
FOLLOW_MS = 500

PAGE = """<!DOCTYPE html>
<html>
<head>
<meta charset="utf-8">
<title>{title}</title>
<link rel="stylesheet" href="/static/page.css">
<script src="/static/page.js" defer></script>
</head>
<body data-follow-ms="{follow_ms}" data-state="{followed}">
<h1>{title}</h1>
<p id="silent" class="lost" role="alert" hidden>{silent}</p>
<p id="restarted" class="lost" role="alert" hidden>{restarted}</p>
<dl>
<dt>{version_label}</dt><dd id="version">{version}</dd>
<dt>{device_label}</dt><dd id="device">{device}</dd>
</dl>
{refusal}{details}</body>
</html>
"""

DETAILS = """<dl>
<dt>{id_label}</dt><dd id="uuid">{uuid}</dd>
<dt>{versions_label}</dt><dd id="versions"><ul>
{versions}</ul></dd>
{capability}{notice}</dl>
<h2>{rides_label}</h2>
{rides}
{confirmation}{status}<h2>{actions_label}</h2>
<p>{folder_text} <code id="export-folder">{export_folder}</code></p>
<form id="export" method="post" action="/export">
{identity}<label>{folder_label} <input name="folder" value="{folder}" required></label>
<button type="submit">{export_button}</button>
{export_refusal}</form>
<form id="upload" method="post" action="/upload">
{identity}<button type="submit">{upload_button}</button>
</form>
<form id="import" method="post" action="/import">
{identity}<label>{package_label} <input name="package" value="{package}" placeholder="share.zip" required></label>
<button type="submit">{import_button}</button>
{import_refusal}</form>
<form id="profile" method="post" action="/profile/read">
{identity}<label>{profile_label} <input name="file" value="{profile_file}" required></label>
<button type="submit">{read_button}</button>
{profile_fields}<button type="submit" formaction="/profile/write">{write_button}</button>
{profile_refusal}</form>
{more_forms}"""

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


def _settings_port(file_name, default):
    """The listen port in the settings file of the same data folder, or the default."""
    parser = configparser.ConfigParser(interpolation=None, strict=False)
    try:
        parser.read(os.path.join(_env().getUserDataBaseFolder(), file_name), encoding="utf-8")
    except (configparser.Error, UnicodeDecodeError):
        return default
    port = parser.get(SETTINGS_GROUP, "listen_port", fallback=default).strip()
    return port if port.isdigit() else default


def daemon_port():
    """The daemon's listen port, from the daemon's settings file in the same data folder."""
    return _settings_port(DAEMON_SETTINGS, PORT_FOR_OTHERS)


def _daemon_token():
    """The token the daemon of the same user wrote beside its settings, read afresh: each start
    of the daemon makes a new one. Empty when there is none that looks like one."""
    try:
        with open(os.path.join(_env().getUserDataBaseFolder(), DAEMON_TOKEN_FILE), "rb") as source:
            text = source.read(TOKEN_LENGTH + 2).strip().decode("ascii")
    except (OSError, UnicodeDecodeError):
        return ""
    return text if len(text) == TOKEN_LENGTH and all(c in string.hexdigits for c in text) else ""


def daemon_page(environ, start_response):
    """The tray program's way to the daemon's page: the daemon's address with its token, as the
    daemon wrote it at its latest start, so that the link works for the user who started both."""
    address = "http://127.0.0.1:%s/" % daemon_port()
    token = _daemon_token()
    if token:
        address += "?" + urllib.parse.urlencode({"token": token})
    return _respond(start_response, "303 See Other", "", headers=[("Location", address),
                                                                  ("Cache-Control", "no-store")])


def _no_device_html():
    """The tray program serves no device by design: its page leads to the daemon's."""
    if _env().getRole() != "user":
        return _text("No device connected")
    address = "http://127.0.0.1:%s/" % daemon_port()
    return '%s <a id="daemon-page" href="/daemon">%s</a>' % (
        _text("No device connected here: devices are served by orvo-daemon, on its own page"), html.escape(address))


def _restarted_html():
    """What an open page says once its program answers that its token is no longer valid: the
    program was started anew, with a new token, and how to open the page again."""
    if _env().getRole() == "user":
        return _text("The program was restarted, so this page no longer works. Open it again from the address "
                     "the program printed at its start, with its new token.")
    tray = "http://127.0.0.1:%s/daemon" % _settings_port(TRAY_SETTINGS, PORT_FOR_USER)
    return '%s <a id="reopen" href="%s">%s</a>' % (
        _text("orvo-daemon was restarted, so this page no longer works. Open it again from the address the daemon "
              "printed at its start, with its new token, or through the tray program's page:"), html.escape(tray),
        html.escape(tray))


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


def _rides_html(client, rides):
    if client.getState() != STATE_IN_SERVICE:
        return '<p id="rides">%s</p>\n' % _text("The device is busy; its rides are listed once it is free.")
    if not rides:
        return '<p id="rides">%s</p>\n' % _text("No rides on the device.")
    return '<ul id="rides">\n%s</ul>\n' % "".join(_ride_html(ride) for ride in rides)


def _action_html(action):
    lines = "".join("<li>%s</li>\n" % html.escape(line) for line in action.lines)
    return '<p class="%s">%s: %s</p>\n%s' % (action.state, html.escape(action.title), _text(action.state),
                                            "<ul>\n%s</ul>\n" % lines if lines else "")


def _progress_html(client):
    """The running action's progress, as the client measures it (or the page, for an action it
    runs in turns)."""
    progress = actions.progress(client)
    if actions.waiting() is None or progress < 0:
        return ""
    percent = int(round(min(progress, 1.0) * 100))
    return '<progress id="progress" max="100" value="%d">%d %%</progress>\n' % (percent, percent)


def _status_html(client):
    if not actions.history:
        return ""
    return '<section id="status">\n%s%s</section>\n' % (_progress_html(client), "".join(
        _action_html(action) for action in actions.history))


# What each form holds until the user changes it.
FORM_DEFAULTS = {"folder": "rides", "package": "", "file": "profile.xml", "update": "", "languages": "", "log": "log.zip"}


# The hidden fields of every form that name the device the page showed it for.
IDENTITY_FIELDS = ("device_id", "device_model")
# The refusals that concern no single form but the whole page: they are shown above the device.
PAGE_NOTICE = "page"

# The form field of a profile value is its name behind this prefix.
PROFILE_FIELD = "field."


def _profile_values(refusal):
    """The profile's named fields to show: those the user sent with a refused form, else those
    the plugged device gave when this page last read its profile. A file of the export folder
    may hold another device's profile, or one from before the program started."""
    if refusal is not None and refusal.form_id == "profile":
        sent = _sent_profile(refusal.form)
        if sent:
            return sent
    return list(profile.given(profile.identity(orvo.OrvoClient())).items())


def _profile_fields_html(refusal):
    values = _profile_values(refusal)
    if not values:
        return ""
    rows = "".join('<li><label>%s <input name="%s" value="%s"></label></li>\n' %
                   (html.escape(name), html.escape(PROFILE_FIELD + name), html.escape(value)) for name, value in values)
    return '<fieldset id="profile-fields">\n<legend>%s</legend>\n<ul>\n%s</ul>\n</fieldset>\n' % (
        _text("The profile's fields"), rows)


def _sent_profile(form):
    return [(name[len(PROFILE_FIELD):], value) for name, value in form.items() if name.startswith(PROFILE_FIELD)]


def _capability_html(client):
    capability = UTF8(client.getCapability()).strip()
    if not capability:
        return ""
    return '<dt>%s</dt><dd id="capability">%s</dd>\n' % (_text("Capability"), html.escape(capability))


def _notice_html(client):
    """What the user must know of the device beyond an action's result, such as a copy of its
    content the program kept on the computer."""
    notice = UTF8(client.getNotice())
    if not notice:
        return ""
    return '<dt>%s</dt><dd id="notice" class="refused" role="alert">%s</dd>\n' % (_text("Notice"), html.escape(notice))


def _identity(client):
    """The device as the page names it to its forms: its id and its model."""
    return UTF8(client.getUUID()), UTF8(client.getName())


def _identity_html(client):
    """The hidden fields that tell the server which device the page showed the form for."""
    return "".join('<input type="hidden" name="%s" value="%s">\n' % (name, html.escape(value))
                   for name, value in zip(IDENTITY_FIELDS, _identity(client)))


def _delete_html(client, rides, refusal, identity):
    """The rides to delete by their names (a ride the device names only by a picture has no
    name to delete it by), where the device deletes single rides, and the deletion of every ride."""
    names = sorted({UTF8(ride.getName()) for ride in rides} - {""})
    boxes = "".join('<li><label><input type="checkbox" name="ride" value="%s"> %s</label></li>\n' %
                    (html.escape(name), html.escape(name)) for name in names)
    chosen = ""
    if names and families.deletes_chosen_rides(client):
        chosen = ('<form id="delete" method="post" action="/delete">\n%s<ul>\n%s</ul>\n'
                  '<button type="submit">%s</button>\n%s</form>\n') % (
                      identity, boxes, _text("Delete the chosen rides"), _refusal_html(refusal, "delete"))
    every = ('<form id="delete-history" method="post" action="/delete_history">\n%s'
             '<button type="submit">%s</button>\n%s</form>\n') % (identity, _text("Delete every ride"),
                                                                  _refusal_html(refusal, "delete-history"))
    return chosen + every


def _update_html(client, refusal, identity):
    options = "".join('<option value="%s">%s</option>\n' % (component, _text(families.COMPONENTS[component][0]))
                      for component in families.updates(client))
    return ('<form id="update" method="post" action="/update">\n%s'
            '<label>%s <select name="component">\n%s</select></label>\n'
            '<label>%s <input name="update" value="%s" required></label>\n'
            '<button type="submit">%s</button>\n%s</form>\n') % (
                identity, _text("Update"), options, _text("Package file"), _field(refusal, "update"),
                _text("Update the device"), _refusal_html(refusal, "update"))


def _languages_html(client, refusal, identity):
    if not families.writes_languages(client):
        return ""
    return ('<form id="languages" method="post" action="/languages">\n%s'
            '<label>%s <input name="languages" value="%s" placeholder="eng,deu" required></label>\n'
            '<button type="submit">%s</button>\n%s</form>\n') % (
                identity, _text("Languages (three-letter codes)"), _field(refusal, "languages"),
                _text("Write the languages"), _refusal_html(refusal, "languages"))


def _eject_html(client, identity):
    if not families.ejects(client):
        return ""
    return '<form id="eject" method="post" action="/eject">\n%s<button type="submit">%s</button>\n</form>\n' % (
        identity, _text("Eject"))


def _log_html(refusal, identity):
    return ('<form id="log" method="post" action="/log">\n%s'
            '<label>%s <input name="log" value="%s" required></label>\n'
            '<button type="submit">%s</button>\n%s</form>\n') % (
                identity, _text("Log package"), _field(refusal, "log"), _text("Export the log"),
                _refusal_html(refusal, "log"))


def _confirmation_html(refusal):
    """The question a form that erases something asks before it runs: it says what will be
    erased and sends the same form again once confirmed."""
    if refusal is None or not refusal.confirm:
        return ""
    fields = "".join('<input type="hidden" name="%s" value="%s">\n' % (html.escape(name), html.escape(value))
                     for name, values in refusal.fields for value in values)
    return ('<section id="confirm">\n<p>%s</p>\n<form method="post" action="%s">\n%s'
            '<input type="hidden" name="confirmed" value="yes">\n'
            '<button type="submit" id="confirm-yes">%s</button>\n<a href="/" id="confirm-no">%s</a>\n'
            '</form>\n</section>\n') % (html.escape(refusal.text), html.escape(refusal.path), fields,
                                          _text("Yes, erase it"), _text("Cancel"))


def _refusal_html(refusal, form_id):
    """The reason a form was refused, shown beside that form only."""
    if refusal is None or refusal.confirm or refusal.form_id != form_id:
        return ""
    return '<p class="refused" role="alert">%s</p>\n' % html.escape(refusal.text)


def _field_text(refusal, name):
    """A form field's value: what the user sent with a refused form, else its default."""
    if refusal is not None and name in refusal.form:
        return refusal.form[name]
    return FORM_DEFAULTS[name]


def _field(refusal, name):
    return html.escape(_field_text(refusal, name))


def _details_html(client, refusal):
    rides = client.getTracks() if client.getState() == STATE_IN_SERVICE else []
    identity = _identity_html(client)
    return DETAILS.format(
        capability=_capability_html(client),
        notice=_notice_html(client),
        confirmation=_confirmation_html(refusal),
        more_forms=_delete_html(client, rides, refusal, identity) + _update_html(client, refusal, identity) +
        _languages_html(client, refusal, identity) + _eject_html(client, identity) + _log_html(refusal, identity),
        identity=identity,
        id_label=_text("Device id"),
        uuid=html.escape(UTF8(client.getUUID())),
        versions_label=_text("Versions"),
        versions=_versions_html(client),
        rides_label=_text("Rides"),
        rides=_rides_html(client, rides),
        status=_status_html(client),
        actions_label=_text("Actions"),
        folder_text=_text("Files are written to and read from the export folder"),
        export_folder=html.escape(exportdir.root()),
        folder_label=_text("Folder"),
        export_button=_text("Export rides"),
        upload_button=_text("Make upload package"),
        package_label=_text("Share package" if families.imports_routes(client) else "Share package (its workouts)"),
        import_button=_text("Import share package"),
        profile_label=_text("Profile file"),
        read_button=_text("Read profile"),
        write_button=_text("Write profile"),
        folder=_field(refusal, "folder"),
        package=_field(refusal, "package"),
        profile_file=_field(refusal, "file"),
        export_refusal=_refusal_html(refusal, "export"),
        import_refusal=_refusal_html(refusal, "import"),
        profile_refusal=_refusal_html(refusal, "profile"),
        profile_fields=_profile_fields_html(refusal),
    )


def home(environ, start_response):
    return _page(start_response, "200 OK")


def _page(start_response, status, refusal=None):
    """The home page; a refused form is shown with the values sent and the reason beside it. A
    refusal of the whole page (the device is gone, another one or busy) is shown above the
    device; without a device the page still shows what became of the latest actions."""
    client = orvo.OrvoClient()
    present = client.isExist()
    page = PAGE.format(
        follow_ms=FOLLOW_MS,
        followed=html.escape(json.dumps(_followed(client))),
        title=_text(TITLE),
        silent=_text("The program does not answer: it stopped, or it is starting again."),
        restarted=_restarted_html(),
        version_label=_text("Version"),
        version=html.escape(_env().getVersion()),
        device_label=_text("Device"),
        device=html.escape(UTF8(client.getName())) if present else _no_device_html(),
        refusal=_refusal_html(refusal, PAGE_NOTICE),
        details=_details_html(client, refusal) if present else _status_html(client),
    )
    return _respond(start_response, status, page, "text/html; charset=utf-8")


def _followed(client):
    """What the page's script compares to tell that the page is out of date: the device plugged
    (empty for none) and whether an action runs. The page carries it as it was when the page was
    made, so that a change before the script's first question is seen too."""
    present = client.isExist()
    device = "%s %s" % (UTF8(client.getName()), UTF8(client.getUUID())) if present else ""
    working = present and (actions.waiting() is not None or client.getState() != STATE_IN_SERVICE)
    return [device, working]


def state(environ, start_response):
    """What the page follows without a reload: the device plugged (empty for none), whether an
    action runs, and its progress."""
    if not for_this_server(environ):
        return _respond(start_response, "403 Forbidden", "not from another site\n")
    client = orvo.OrvoClient()
    device, working = _followed(client)
    progress = actions.progress(client) if working else -1.0
    body = json.dumps({"device": device, "working": working, "progress": progress})
    return _respond(start_response, "200 OK", body, "application/json", headers=[("Cache-Control", "no-store")])


# The files the page loads besides itself, by their address: the file below static/ and its type.
# Only these are served; no part of an address names a file.
STATIC_FILES = {
    "/static/page.js": ("page.js", "text/javascript; charset=utf-8"),
    "/static/page.css": ("page.css", "text/css; charset=utf-8"),
}
STATIC_FOLDER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "static")


def static_file(environ, start_response):
    name, content_type = STATIC_FILES[environ.get("PATH_INFO", "")]
    try:
        with open(os.path.join(STATIC_FOLDER, name), encoding="utf-8") as source:
            body = source.read()
    except (OSError, UnicodeDecodeError):
        log("the page's file %s could not be read:\n%s" % (name, traceback.format_exc()))
        return _respond(start_response, "500 Internal Server Error", "internal error\n")
    return _respond(start_response, "200 OK", body, content_type,
                    headers=[("Cache-Control", "no-cache"), ("X-Content-Type-Options", "nosniff")])


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


def _cookie_tokens(environ):
    """The values of this server's token cookie. The header is split here, not parsed whole, so
    that another site's cookie on 127.0.0.1, however it is written, cannot hide ours."""
    name = _cookie_name(environ)
    pairs = (pair.partition("=") for pair in environ.get("HTTP_COOKIE", "").split(";"))
    return [value.strip() for key, sep, value in pairs if sep and key.strip() == name]


def _presented_tokens(environ):
    """The tokens the request carries: in the address (once, when a page is opened), in the
    cookie that answer set, or in an Authorization header ("Token <token>") from a program."""
    tokens = [_query_token(environ)] + _cookie_tokens(environ)
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
    exists. A file already there is never replaced, so no request can remove a file by naming it.
    An export that wrote no zip file answers an error that says why."""
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
    problem = _env().exportOrvoLog(dest)
    if problem:
        return _respond(start_response, "500 Internal Server Error", problem + "\n")
    exportdir.publish([dest])
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
    environ["orvo.fields"] = [(name, values) for name, values in fields.items() if name != "confirmed"]
    form = {name: values[0] for name, values in fields.items()}
    # The rides to delete are the one field that comes many times.
    form["ride"] = fields.get("ride", [])
    return form


def _fields(environ):
    """Every field of the posted form with all its values, as _form read them."""
    return environ.get("orvo.fields", [])


class Refusal:
    """A form the page refused: which form, why, and the values the user sent. A confirmation
    is a refusal until the user confirms: it also carries the route and every value sent."""

    def __init__(self, form_id, text, form, confirm=False, path="", fields=()):
        self.form_id = form_id
        self.text = text
        self.form = form
        self.confirm = confirm
        self.path = path
        self.fields = fields


class Confirm:
    """A reader's answer for a form that erases: the question to ask first."""

    def __init__(self, text):
        self.text = text


def _file_refusal(name, must_exist):
    """Why the name gives no file of the export folder (exportdir.resolve_file answered None)."""
    path = exportdir.resolve(name)
    if not name:
        return UTF8("Give the name of a file in the export folder.")
    if path is None:
        return UTF8('"%s" is not a name inside the export folder.') % name
    if path == exportdir.root() or os.path.isdir(path):
        return UTF8('"%s" is a folder, not a file.') % name
    if must_exist:
        return UTF8('The file "%s" does not exist in the export folder.') % name
    return UTF8('The file "%s" cannot be made in the export folder.') % name


# Each form's reader answers the start of its action, or the reason the form is refused.
def _export(client, form):
    name = form.get("folder", "").strip()
    folder = exportdir.resolve(name)
    if folder is None:
        return None, UTF8('"%s" is not a folder name inside the export folder.') % name
    return lambda: actions.export_rides(client, folder), None


def _upload(client, form):
    return lambda: actions.make_upload_package(client), None


def _file(form, field, must_exist):
    """The file the form's field names in the export folder, or the reason there is none."""
    name = form.get(field, "").strip()
    path = exportdir.resolve_file(name, must_exist=must_exist)
    return (path, None) if path else (None, _file_refusal(name, must_exist))


def _import(client, form):
    package, refusal = _file(form, "package", must_exist=True)
    if refusal:
        return None, refusal
    if not families.imports_routes(client) and not families.holds_workouts(package):
        return None, UTF8('This device takes only the workouts of a share package, and "%s" holds none; '
                          'its routes cannot be imported here.') % form.get("package", "")
    if families.imports_synchronously(client):
        return lambda: actions.import_share_now(client, package), None
    return lambda: actions.import_share(client, package), None


def _delete(client, form):
    names = form.get("ride", [])
    if not names:
        return None, UTF8("Choose the rides to delete.")
    return lambda: actions.delete_rides(client, names), None


def _confirmed(form):
    return form.get("confirmed") == "yes"


def _delete_history(client, form):
    if not _confirmed(form):
        count = len(client.getTracks())
        return None, Confirm(UTF8("This erases every ride on the device (%d rides); they cannot be restored.") % count)
    return lambda: actions.delete_every_ride(client, families.deletes_in_turns(client)), None


def _update(client, form):
    component = form.get("component", "")
    if component not in families.updates(client):
        return None, UTF8("This device takes no update of that kind.")
    package, refusal = _file(form, "update", must_exist=True)
    if refusal:
        return None, refusal
    label, erased = families.COMPONENTS[component]
    if not _confirmed(form):
        return None, Confirm(
            UTF8('Updating the %s from "%s" erases %s and writes the package in its place. The device restarts; '
                 'do not unplug it until the update is done.') % (label, form.get("update", ""), erased))
    return lambda: actions.update(client, component, label, package), None


def _languages(client, form):
    codes = [code.strip() for code in form.get("languages", "").split(",") if code.strip()]
    if not codes or not families.writes_languages(client):
        return None, UTF8("Give the languages as three-letter codes, such as eng,deu.")
    wrong = [code for code in codes if len(code) != 3 or not code.isascii() or not code.isalpha()]
    if wrong:
        return None, UTF8('"%s" is not a three-letter language code.') % wrong[0]
    return lambda: actions.write_languages(client, codes), None


def _eject(client, form):
    return lambda: actions.eject(client), None


def _export_log(client, form):
    """Packs the program's logs into a new file of the export folder; a file there is never
    replaced."""
    path, refusal = _file(form, "log", must_exist=False)
    if refusal:
        return None, refusal
    if os.path.lexists(path):
        return None, UTF8('The file "%s" exists already; give the name of a new file.') % form.get("log", "")
    return lambda: actions.export_log(_env(), path), None


def _read_profile(client, form):
    target, refusal = _file(form, "file", must_exist=False)
    return (None, refusal) if refusal else (lambda: actions.read_profile(client, target), None)


def _write_profile(client, form):
    """Writes the profile's fields as the form sent them (into the named file first), or the
    named file as it is. Only values that differ from those the device gave are checked."""
    given = profile.given(profile.identity(client))
    sent = _sent_profile(form)
    if sent:
        return _write_profile_fields(client, form, sent, given)
    source, refusal = _file(form, "file", must_exist=True)
    if refusal:
        return None, refusal
    values = profile.read(source)
    if values is None:
        return None, UTF8('"%s" is not a profile file; nothing was written.') % form.get("file", "")
    refusal = profile.refusal(values, given)
    return (None, refusal) if refusal else (lambda: actions.write_profile(client, source), None)


def _write_profile_fields(client, form, values, given):
    refusal = profile.refusal(values, given)
    if refusal:
        return None, refusal
    target, refusal = _file(form, "file", must_exist=False)
    if refusal:
        return None, refusal
    if not profile.write(target, values):
        return None, UTF8('The profile file "%s" could not be written; nothing was sent.') % form.get("file", "")
    exportdir.publish([target])
    return lambda: actions.write_profile(client, target), None


def _shown_device_refusal(client, form):
    """Why the form may not act on the plugged device: there is none, or it is not the device
    the page showed the form for. None when it is."""
    if not client.isExist():
        return UTF8("No device is connected any more; nothing was done.")
    shown = tuple(form.get(name, "") for name in IDENTITY_FIELDS)
    plugged = _identity(client)
    if shown == plugged:
        return None
    if not any(shown):
        return UTF8("The form did not say which device it was shown for; nothing was done. "
                    "Send it again from the page below.")
    return UTF8('The page showed the %s (id %s), but the %s (id %s) is connected now; nothing was done. '
                'Check the page below and send the form again.') % (shown[1], shown[0], plugged[1], plugged[0])


def _busy_refusal(client):
    """Why the device takes no action now: one runs on it. None when it is free."""
    running = actions.waiting()
    if running is not None:
        return UTF8('The device is busy with "%s"; nothing was done. Send the form again once that is over.') % (
            running.title)
    if client.getState() != STATE_IN_SERVICE:
        return UTF8("The device is busy; nothing was done. Send the form again once it is free.")
    return None


def device_action(form_id, reader, uses_device=True):
    """A route that starts one device action from a posted form and then sends the browser
    back to the home page. The action changes the device or files, so no other site's page may
    ask for it. It acts only on the device the page showed the form for, and only while that
    device is free (uses_device False: the action does not use the device); otherwise the page
    of the device plugged now comes back with the reason above it. A form the page refuses (a
    name that is not a file or folder of the export folder, a profile value that does not fit
    its field) comes back beside the form with the values sent and the reason. Either way
    nothing reaches the device."""

    def route(environ, start_response):
        if environ.get("REQUEST_METHOD") != "POST":
            return _respond(start_response, "405 Method Not Allowed", "post the form\n", headers=[("Allow", "POST")])
        if from_other_site(environ):
            return _respond(start_response, "403 Forbidden", "not from another site\n")
        form = _form(environ)
        if form is None:
            return _respond(start_response, "413 Payload Too Large", "form too long\n")
        client = orvo.OrvoClient()
        refusal = _shown_device_refusal(client, form)
        if refusal is None:
            refusal = families.refusal(client, form_id)
        if refusal is None and uses_device:
            refusal = _busy_refusal(client)
        if refusal is not None:
            return _page(start_response, "409 Conflict", Refusal(PAGE_NOTICE, refusal, {}))
        start, refusal = reader(client, form)
        if isinstance(refusal, Confirm):
            question = Refusal(form_id, refusal.text, form, True, environ.get("PATH_INFO", "/"), _fields(environ))
            return _page(start_response, "200 OK", question)
        if start is None:
            return _page(start_response, "400 Bad Request", Refusal(form_id, refusal, form))
        start()
        return _respond(start_response, "303 See Other", "", headers=[("Location", "/")])

    return route


ROUTES = {
    "/": home,
    "/export_log": export_log,
    "/export": device_action("export", _export),
    "/upload": device_action("upload", _upload),
    "/import": device_action("import", _import),
    "/profile/read": device_action("profile", _read_profile),
    "/profile/write": device_action("profile", _write_profile),
    "/delete": device_action("delete", _delete),
    "/delete_history": device_action("delete-history", _delete_history),
    "/update": device_action("update", _update),
    "/languages": device_action("languages", _languages),
    "/eject": device_action("eject", _eject),
    "/log": device_action("log", _export_log, uses_device=False),
    "/state": state,
}
ROUTES.update((path, static_file) for path in STATIC_FILES)
if _env().getRole() == "user":
    ROUTES["/daemon"] = daemon_page


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


server = BoundedServer(("127.0.0.1", listen_port()), application, log=None)
server.start()
