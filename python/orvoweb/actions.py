"""Device actions that the page starts, and what became of them.

A device client runs one action at a time on its own thread, and the program hands every
action's result list to the one callable it bound first. So the page always passes the same
function, on_result, and remembers the action it is waiting for; the result list alone does
not say which action it belongs to. Nothing here waits: the page shows an action as running
until its result arrives."""

import collections
import os

import orvo
from orvoweb import exportdir, profile
from orvoweb.i18n import UTF8

RUNNING = "running"
DONE = "done"
FAILED = "failed"

# The client's service type of a flash device: a share import there ends with a finalize.
SERVICE_SCSI = 1
# The client's service state while no action runs on it.
STATE_IN_SERVICE = 0
# updateDevice's answers.
UPDATE_STARTED = 0
UPDATE_NOT_STARTED = 1
UPDATE_BUSY = 11


class Action:
    """One action the page started or tried to start, as the page shows it."""

    def __init__(self, title, interpret, then=None, parent=None):
        self.title = title
        self.state = RUNNING
        self.lines = []
        # Turns (client, result list) into (succeeded, lines to show).
        self.interpret = interpret
        # Starts the action that follows a success, given the client and this action, or None.
        self.then = then
        # The action this one completes: it ends as this one ends.
        self.parent = parent
        # True for an action that delivers no result list: it ends when its device is free.
        self.polled = False

    def finish(self, succeeded, lines):
        self.state = DONE if succeeded else FAILED
        self.lines = list(lines)
        # A failure always says why, even when the device gave no message of its own.
        if not succeeded and not any(line for line in self.lines if line):
            self.lines.append(UTF8("The device answered that the action failed; the log says more."))


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
    if succeeded and action.then is not None:
        # Not done yet: the following action decides.
        action.lines = list(lines)
        action.then(client, action)
        return
    action.finish(succeeded, lines)
    if action.parent is not None:
        action.parent.finish(succeeded, action.parent.lines + action.lines)


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


def _polled_end():
    """Ends the awaited action that delivers no result list (an update) once its device is in
    service again, by the device's error flag."""
    global _waiting
    if _waiting is not None and _waiting.polled and _client.getState() == STATE_IN_SERVICE:
        _waiting.finish(not _failed_flag(_client), _waiting.lines)
        _waiting = None


def waiting():
    """The action whose result is awaited; an action whose device went away ends as failed."""
    global _waiting
    _polled_end()
    if _waiting is not None and not _client.isExist():
        gone = [UTF8("The device was disconnected.")]
        _waiting.finish(False, gone)
        if _waiting.parent is not None:
            _waiting.parent.finish(False, _waiting.parent.lines + gone)
        _waiting = None
    return _waiting


def _plain(client, result):
    return not _failed_flag(client), []


def _exported(folder):
    def interpret(client, result):
        files = [UTF8(path) for path in result]
        exportdir.publish(files)
        succeeded = not _failed_flag(client)
        lines = [UTF8("%d files written to %s") % (len(files), folder)]
        if not succeeded:
            lines.append(UTF8("Not every ride was written (a full disk, or a ride that could not be converted); "
                              "the log says which."))
        lines += [os.path.basename(path) for path in files]
        return succeeded, lines

    return interpret


def _uploaded(client, result):
    path = UTF8(result[0]) if result else ""
    _failed_flag(client)
    if not path:
        return False, []
    return True, [path]


def _profile(path, device):
    def interpret(client, result):
        _failed_flag(client)
        exportdir.publish([path])
        succeeded = bool(result and result[0])
        if succeeded:
            profile.remember(device, path)
        return succeeded, [path]

    return interpret


def export_rides(client, folder):
    # Made here, so that the folder has the user's modes whichever family writes into it.
    exportdir.make_folder(folder)
    return start(client, Action(UTF8("Export rides"), _exported(folder)), "asyncExportTrack", folder)


def make_upload_package(client):
    return start(client, Action(UTF8("Upload package"), _uploaded), "asyncPrepareUploadData")


def _finalize(client, parent):
    if not start(client, Action(UTF8("Finalize the device"), _plain, parent=parent), "asyncFinalize"):
        parent.finish(False, parent.lines + history[0].lines)


def _finalize_on_flash(client):
    """A flash device changes its image in memory; only a finalize writes it to the device, so
    an action there is done only once the finalize is."""
    return _finalize if client.getServiceType() == SERVICE_SCSI else None


def import_share(client, package):
    """Imports the share package; a flash device then writes its image back (finalize)."""
    return start(client, Action(UTF8("Share import"), _plain, _finalize_on_flash(client)), "asyncImportDownloadZip",
                 package)


def read_profile(client, path):
    return start(client, Action(UTF8("Read profile"), _profile(path, profile.identity(client))),
                 "asyncReadDeviceProfile", path)


def write_profile(client, path):
    """Writes the profile file's values; a flash device then writes its image back (finalize)."""
    return start(client, Action(UTF8("Write profile"), _profile(path, profile.identity(client)),
                                _finalize_on_flash(client)),
                 "asyncWriteDeviceProfile", path)


def run_now(title, client, succeeded, lines=()):
    """Shows an action the device ran at once; its error flag, read and cleared here, also makes
    it a failure."""
    action = Action(title, None)
    history.appendleft(action)
    failed_flag = _failed_flag(client)
    action.finish(bool(succeeded) and not failed_flag, lines)
    return action.state == DONE


def import_share_now(client, package):
    """The PSF 1.5 flash family's share import, which writes the device before it answers."""
    return run_now(UTF8("Share import"), client, client.newSetShareData(package), [package])


def delete_rides(client, names):
    return run_now(UTF8("Delete rides"), client, client.deleteHistory(names), names)


def delete_every_ride(client):
    return run_now(UTF8("Delete every ride"), client, client.deleteData("history"))


def eject(client):
    return run_now(UTF8("Eject"), client, client.ejectDevice())


def export_log(env, path):
    """Packs the program's logs into the file at path: done only when the file is there."""
    env.exportOrvoLog(path)
    action = Action(UTF8("Export log"), None)
    history.appendleft(action)
    if os.path.isfile(path):
        exportdir.publish([path])
        action.finish(True, [path])
    else:
        action.finish(False, [UTF8("The log package %s could not be written; the log says why.") % path])
    return action.state == DONE


def write_languages(client, codes):
    return run_now(UTF8("Write languages"), client, client.makelanfile(codes), [", ".join(codes)])


def update(client, component, label, path):
    """Starts the update of one component from the package file; it runs until the device is in
    service again."""
    global _waiting, _client
    action = Action(UTF8("Update %s") % label, None)
    action.lines = [path]
    action.polled = True
    history.appendleft(action)
    # The firmware takes whether the language choice changed; the package keeps the device's.
    code = client.updateDevice(component, path, "0" if component == "Total" else "")
    if code == UPDATE_STARTED:
        _waiting, _client = action, client
        return True
    reasons = {
        UPDATE_NOT_STARTED: UTF8("The device did not start the update: it does not take this package."),
        UPDATE_BUSY: UTF8("The device is busy with another action."),
    }
    action.finish(False, [path, reasons.get(code, UTF8("The device is no longer connected."))])
    _failed_flag(client)
    return False
