"""Device actions that the page starts, and what became of them.

A device client runs one action at a time on its own thread, and the program hands every
action's result list to the one callable it bound first. So the page always passes the same
function, on_result, and remembers the action it is waiting for; the result list alone does
not say which action it belongs to. Nothing here waits: the page shows an action as running
until its result arrives."""

import collections
import os

import orvo
from orvoweb.i18n import UTF8

RUNNING = "running"
DONE = "done"
FAILED = "failed"

# The client's service type of a flash device: a share import there ends with a finalize.
SERVICE_SCSI = 1


class Action:
    """One action the page started or tried to start, as the page shows it."""

    def __init__(self, title, interpret, then=None):
        self.title = title
        self.state = RUNNING
        self.lines = []
        # Turns (client, result list) into (succeeded, lines to show).
        self.interpret = interpret
        # Starts the action that follows a success, or None.
        self.then = then

    def finish(self, succeeded, lines):
        self.state = DONE if succeeded else FAILED
        self.lines = list(lines)


# The action whose result is awaited, with the client handle it runs on.
_waiting = None
_client = None
# How many of the latest actions the page shows.
HISTORY_LENGTH = 5
# The actions started or refused, newest first.
history = collections.deque(maxlen=HISTORY_LENGTH)


def _log(text):
    orvo.OrvoEnv().appendLog(text.rstrip("\n") + "\n")


def _failed_flag(client):
    """Whether the client's last action failed; reading it clears the flag."""
    return bool(client.getError())


def on_result(result):
    """The program's callable for every asynchronous result."""
    global _waiting
    action, client = _waiting, _client
    if action is None:
        _log("result of an action the page did not start: %r" % (result,))
        return
    _waiting = None
    succeeded, lines = action.interpret(client, list(result))
    action.finish(succeeded, lines)
    if succeeded and action.then is not None:
        action.then(client)


def start(client, action, method, *arguments):
    """Starts client.<method>(*arguments, on_result) as the shown action; answers whether the
    device took it. A device that is busy or gone refuses, and the refusal is shown instead."""
    global _waiting, _client
    history.appendleft(action)
    if not getattr(client, method)(*arguments, on_result):
        action.finish(False, [UTF8("The device did not take the action: it is busy or no longer connected.")])
        return False
    _waiting, _client = action, client
    return True


def waiting():
    """The action whose result is awaited; an action whose device went away ends as failed."""
    global _waiting
    if _waiting is not None and not _client.isExist():
        _waiting.finish(False, [UTF8("The device was disconnected.")])
        _waiting = None
    return _waiting


def _plain(client, result):
    return not _failed_flag(client), []


def _exported(folder):
    def interpret(client, result):
        files = [UTF8(path) for path in result]
        lines = [UTF8("%d files written to %s") % (len(files), folder)]
        lines += [os.path.basename(path) for path in files]
        return not _failed_flag(client), lines

    return interpret


def _uploaded(client, result):
    path = UTF8(result[0]) if result else ""
    _failed_flag(client)
    if not path:
        return False, []
    return True, [path]


def _profile(path):
    def interpret(client, result):
        _failed_flag(client)
        return bool(result and result[0]), [path]

    return interpret


def export_rides(client, folder):
    return start(client, Action(UTF8("Export rides"), _exported(folder)), "asyncExportTrack", folder)


def make_upload_package(client):
    return start(client, Action(UTF8("Upload package"), _uploaded), "asyncPrepareUploadData")


def _finalize(client):
    start(client, Action(UTF8("Finalize the device"), _plain), "asyncFinalize")


def import_share(client, package):
    """Imports the share package; a flash device then writes its image back (finalize)."""
    then = _finalize if client.getServiceType() == SERVICE_SCSI else None
    return start(client, Action(UTF8("Share import"), _plain, then), "asyncImportDownloadZip", package)


def read_profile(client, path):
    return start(client, Action(UTF8("Read profile"), _profile(path)), "asyncReadDeviceProfile", path)


def write_profile(client, path):
    return start(client, Action(UTF8("Write profile"), _profile(path)), "asyncWriteDeviceProfile", path)
