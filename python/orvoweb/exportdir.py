"""The user's export folder: every file the page asks the device to write or read lies in it.

Requests name files and folders relative to it; a name that is absolute or that leads out of it
(through "..", or through a link that points elsewhere) is refused.

The program makes what it writes private to its user; what lands in the export folder is the
user's to take elsewhere, so it gets the modes the user's own umask gives instead, whichever
family wrote it. The export folder lies in the private data folder, so nobody else reaches it
before the user moves a file out."""

import os

import orvo

FOLDER_NAME = "export"


def _user_umask():
    return orvo.OrvoEnv().getUserUmask()


def _make_folders(path):
    """Makes the missing folders up to path, each with the mode the user's umask gives."""
    if os.path.isdir(path):
        return
    _make_folders(os.path.dirname(path))
    try:
        os.mkdir(path)
    except FileExistsError:
        return
    os.chmod(path, 0o777 & ~_user_umask())


def root():
    """The export folder below the user's data folder, made when it is missing."""
    path = os.path.join(orvo.OrvoEnv().getUserDataBaseFolder(), FOLDER_NAME)
    _make_folders(path)
    return os.path.realpath(path)


def make_folder(path):
    """Makes the export folder's folder path, and those between, when they are missing; answers
    whether it is there."""
    try:
        _make_folders(path)
    except OSError:
        return False
    return os.path.isdir(path)


def publish(paths):
    """Gives the files of paths that lie in the export folder the mode the user's umask gives;
    the program wrote them private. A link is left alone, and so is a path outside the folder."""
    base = root()
    mode = 0o666 & ~_user_umask()
    for path in paths:
        if not path or os.path.islink(path) or not os.path.isfile(path):
            continue
        if os.path.commonpath([base, os.path.realpath(path)]) != base:
            continue
        try:
            os.chmod(path, mode)
        except OSError:
            continue


def resolve(name):
    """The real path of name inside the export folder, the folder itself for "."; None when
    the name is empty, absolute, holds a NUL or leads out of the folder."""
    if not name or "\0" in name or os.path.isabs(name):
        return None
    base = root()
    path = os.path.realpath(os.path.join(base, name))
    if os.path.commonpath([base, path]) != base:
        return None
    return path


def resolve_file(name, must_exist):
    """Like resolve, for a file: None also for the folder itself, for a folder, and (when
    must_exist) for a file that is not there. The file's folder is made for a file to come;
    None when it cannot be (a file of that name is in the way)."""
    path = resolve(name)
    if path is None or path == root() or os.path.isdir(path):
        return None
    if must_exist:
        return path if os.path.isfile(path) else None
    return path if make_folder(os.path.dirname(path)) else None
