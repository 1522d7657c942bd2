"""Device actions that the page starts, and what became of them.

A device client runs one action at a time on its own thread, and the program hands every
action's result list to the one callable it bound first. So the page always passes the same
function, on_result, and remembers the action it is waiting for; the result list alone does
not say which action it belongs to. Nothing here waits: the page shows an action as running
until its result arrives.

The client gives no text for a failure, only its error flag; the why is in the warning and
critical lines the action wrote to the program's log. A failed action shows those lines."""

import collections
import os
import re

import gevent

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
# The log lines that can say why an action failed carry one of these tags, and how many of the
# latest such lines a failed action shows.
REASON_TAGS = (" [Warning]\t", " [Critical]\t")
MAX_REASONS = 3
# The function and source line a traced log line begins with: the page shows the text after them.
TRACE_PREFIX = re.compile(r"^\[ [^\]]* \]\t\[ \d+ \]\t\s*")
# The log file of the tray program; the daemon's comes from its settings.
USER_LOG = "orvouser.log"
# Rides deleted per call while every ride of a drive is deleted: between the calls the page and
# its state answer.
DELETE_TURN = 20
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
        # Where the log ended when the action began: what follows is what the action wrote.
        self.log_start = _log_size()
        # The progress from 0 to 1 of an action the page runs in turns itself; None for one that
        # the client measures.
        self.progress = None

    def finish(self, succeeded, lines):
        self.state = DONE if succeeded else FAILED
        self.lines = list(lines)
        if succeeded:
            return
        # A failure always says why: the lines the action logged, else that the device said none.
        self.lines += [reason for reason in _logged_reasons(self.log_start) if reason not in self.lines]
        if not any(line for line in self.lines if line):
            self.lines.append(UTF8("The device answered that the action failed, without a reason."))


# The action whose result is awaited, with the client handle it runs on.
_waiting = None
_client = None
# How many of the latest actions the page shows.
HISTORY_LENGTH = 5
# The actions started or refused, newest first.
history = collections.deque(maxlen=HISTORY_LENGTH)


def _log(text):
    orvo.OrvoEnv().appendLog(text.rstrip("\n") + "\n")


def _log_path():
    env = orvo.OrvoEnv()
    name = USER_LOG if env.getRole() == "user" else env.getValue("logfilename", "orvo.log")
    return os.path.join(env.getUserDataBaseFolder(), name)


def _log_size():
    try:
        return os.path.getsize(_log_path())
    except OSError:
        return 0


def _logged_reasons(start):
    """The texts of the latest warning and critical lines logged since start. The program writes
    such lines at once, so they are in the file when the action ends."""
    try:
        with open(_log_path(), "rb") as source:
            source.seek(start)
            text = source.read().decode("utf-8", errors="replace")
    except OSError:
        return []
    reasons = []
    for line in text.splitlines():
        for tag in REASON_TAGS:
            _, found, reason = line.partition(tag)
            reason = TRACE_PREFIX.sub("", reason).strip()
            if found and reason:
                reasons.append(reason)
    return reasons[-MAX_REASONS:]


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


def progress(client):
    """The running action's progress from 0 to 1; -1 when none runs or none is known."""
    action = waiting()
    if action is not None and action.progress is not None:
        return action.progress
    return client.getProgress()


def _plain(client, result):
    return not _failed_flag(client), []


def _folder_files(folder):
    """The files of the folder and below it, by path, each with its size and change time."""
    files = {}
    for top, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(top, name)
            try:
                status = os.lstat(path)
            except OSError:
                continue
            files[path] = (status.st_size, status.st_mtime_ns)
    return files


def _exported(folder, before):
    """The export's result: each file written, and each file that was in the folder already and
    is left as it was (a device writes no ride whose file is there the same)."""

    def interpret(client, result):
        files = [UTF8(path) for path in result]
        exportdir.publish(files)
        succeeded = not _failed_flag(client)
        after = _folder_files(folder)
        # A device names the files of its rides that were there the same too.
        kept = sorted(path for path, status in before.items() if after.get(path) == status)
        unchanged = set(kept)
        files = [path for path in files if path not in unchanged]
        lines = [UTF8("%d files written to %s, %d files there already kept as they were") %
                 (len(files), folder, len(kept))]
        lines += [UTF8("written: %s") % os.path.relpath(path, folder) for path in files]
        lines += [UTF8("kept: %s") % os.path.relpath(path, folder) for path in kept]
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
    return start(client, Action(UTF8("Export rides"), _exported(folder, _folder_files(folder))), "asyncExportTrack",
                 folder)


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


def run_now(title, client, call, lines=()):
    """Runs call, an action the device runs at once, and shows it; its error flag, read and
    cleared here, also makes it a failure."""
    action = Action(title, None)
    history.appendleft(action)
    succeeded = call()
    failed_flag = _failed_flag(client)
    action.finish(bool(succeeded) and not failed_flag, lines)
    return action.state == DONE


def import_share_now(client, package):
    """The PSF 1.5 flash family's share import, which writes the device before it answers."""
    return run_now(UTF8("Share import"), client, lambda: client.newSetShareData(package), [package])


def delete_rides(client, names):
    return run_now(UTF8("Delete rides"), client, lambda: client.deleteHistory(names), names)


def delete_every_ride(client, in_turns):
    """Deletes every ride. A drive's rides go a few names at a time (in_turns), so that the page
    and its state answer meanwhile, as they do while any other long action runs; then the rest
    (rides the device names only by a picture) at once. A flash device deletes all at once."""
    global _waiting, _client
    if not in_turns:
        return run_now(UTF8("Delete every ride"), client, lambda: client.deleteData("history"))
    names = sorted({UTF8(ride.getName()) for ride in client.getTracks()} - {""})
    action = Action(UTF8("Delete every ride"), None)
    action.progress = 0.0
    history.appendleft(action)
    _waiting, _client = action, client
    gevent.spawn(_delete_in_turns, client, action, names)
    return True


def _delete_in_turns(client, action, names):
    turns = [names[first:first + DELETE_TURN] for first in range(0, len(names), DELETE_TURN)]
    for done, turn in enumerate(turns):
        gevent.sleep(0)
        # waiting() ended the action when its device went away.
        if action.state != RUNNING:
            return
        if not client.deleteHistory(turn) or _failed_flag(client):
            _end_turns(action, False)
            return
        action.progress = (done + 1) / (len(turns) + 1)
    gevent.sleep(0)
    if action.state == RUNNING:
        _end_turns(action, client.deleteData("history") and not _failed_flag(client))


def _end_turns(action, succeeded):
    global _waiting
    if _waiting is action:
        _waiting = None
    action.finish(succeeded, action.lines)


def eject(client):
    return run_now(UTF8("Eject"), client, client.ejectDevice)


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
    return run_now(UTF8("Write languages"), client, lambda: client.makelanfile(codes), [", ".join(codes)])


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
