"""Conversions for GAL devices: the device library exchanges the profile as an INI file, the
program as the profile XML of "property" elements under a "settings" root."""

import configparser
import io
import os
import tempfile
from xml.sax.saxutils import quoteattr

PROFILE_SECTION = "Profile"


def _write_atomically(path, text):
    folder = os.path.dirname(os.path.abspath(path))
    handle, temporary = tempfile.mkstemp(dir=folder, prefix=".galapi-")
    try:
        with os.fdopen(handle, "w", encoding="utf-8") as out:
            out.write(text)
        os.replace(temporary, path)
    except BaseException:
        os.unlink(temporary)
        raise


def _read_ini(path):
    parser = configparser.ConfigParser(interpolation=None)
    parser.optionxform = str
    with open(path, encoding="utf-8") as source:
        parser.read_file(source)
    return parser


def CreateProfileXml(read_ini, dest_xml):
    """Writes every key of the profile INI file as a property of the profile XML file."""
    try:
        parser = _read_ini(read_ini)
        lines = ['<?xml version="1.0" encoding="UTF-8"?>', "<settings>"]
        for section in parser.sections():
            for key, value in parser.items(section):
                lines.append("  <property name=%s value=%s/>" % (quoteattr(key), quoteattr(value)))
        lines.append("</settings>")
        _write_atomically(dest_xml, "\n".join(lines) + "\n")
        return True
    except (OSError, configparser.Error):
        return False


def CreateProfileIni(keys, values, write_ini):
    """Writes the profile values, key by key, as the INI file the device library reads back."""
    if len(keys) != len(values):
        return False
    parser = configparser.ConfigParser(interpolation=None, delimiters=("=",))
    parser.optionxform = str
    parser[PROFILE_SECTION] = {str(key): str(value) for key, value in zip(keys, values)}
    text = io.StringIO()
    parser.write(text, space_around_delimiters=False)
    try:
        _write_atomically(write_ini, text.getvalue())
        return True
    except OSError:
        return False


def ExportKrm(folder, model, version, profile, root):
    """Exports the device's activities into folder and answers the names of the files written.
    The activity format writer is not part of this application yet, so nothing is written."""
    return []
