"""The user's export folder: every file the page asks the device to write or read lies in it.

Requests name files and folders relative to it; a name that is absolute or that leads out of it
(through "..", or through a link that points elsewhere) is refused."""

import os

import orvo

FOLDER_NAME = "export"


def root():
    """The export folder below the user's data folder, made when it is missing."""
    path = os.path.join(orvo.OrvoEnv().getUserDataBaseFolder(), FOLDER_NAME)
    os.makedirs(path, exist_ok=True)
    return os.path.realpath(path)


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
    try:
        os.makedirs(os.path.dirname(path), exist_ok=True)
    except OSError:
        return None
    return path
