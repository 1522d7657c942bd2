"""Conversions for GAL devices. The device library exchanges the profile as an INI file whose
keys all sit in [General] (what QSettings reads as top-level keys), the program as the profile
XML of "property" elements under a "settings" root. The device folder keeps activities as
"Activity/<yyMMddHHmmss>.gal" and workouts as "Workout/<b0>_<b1>_<b2>/<yyMMddHHmmss>.wkt", in the
layouts the device library documents."""

import calendar
import configparser
import errno
import io
import os
import re
import struct
import time
import xml.etree.ElementTree as ElementTree
import zipfile
from xml.sax.saxutils import escape, quoteattr

PROFILE_SECTION = "General"

HEADER_SIZE = 88
LAP_SIZE = 56
POINTS_OFFSET = HEADER_SIZE + LAP_SIZE
POINT = struct.Struct("<IiihBB")
TEMPLATE_SIZE = 36
NO_TIME = 0xFFFFFFFF
# Shared workouts carry no device workout type: they go to the plain type folder.
SHARE_TYPE_FOLDER = "0_0_0"
# A workout file in a share package is a small XML file; anything larger is not read.
MAX_SHARED_WORKOUT_SIZE = 1 << 20
# A point a second for a whole week is under 10 MiB: an activity file beyond this bound was not
# written by a device and is not read.
MAX_ACTIVITY_SIZE = 64 << 20
# Points are read and written this many at a time, so that memory does not grow with a ride.
POINTS_PER_READ = 4096

GPX_NAMESPACE = "http://www.tarvex.com/xmlschemas/KRM/2/2"
XSI_NAMESPACE = "http://www.w3.org/2001/XMLSchema-instance"
# Profile keys that the export's user block carries, by element.
USER_KEYS = (("gender", "User Sex"), ("weight", "User Weight.Metric"), ("height", "User Height.Metric"),
             ("mhr", "User MHR"), ("lthr", "User LTHR"))
# Characters XML 1.0 does not allow in a document, escaped or not.
NOT_XML = re.compile("[^\t\n\r\x20-\ud7ff\ue000-\ufffd\U00010000-\U0010ffff]")


def _xml_text(text):
    """The text without the characters XML 1.0 does not allow: a device name may hold control
    characters, and a document holding one is not well-formed."""
    return NOT_XML.sub("", text)


def _log(text):
    import orvo
    orvo.OrvoEnv().appendLog("galapi: %s\n" % text)


def _create_temporary(folder):
    """A new file beside the target, created with the mode the user's umask leaves of 0o666, as
    every other file the program exports is (mkstemp would make it 0o600)."""
    while True:
        temporary = os.path.join(folder, ".galapi-" + os.urandom(6).hex())
        try:
            return os.open(temporary, os.O_WRONLY | os.O_CREAT | os.O_EXCL | os.O_CLOEXEC, 0o666), temporary
        except FileExistsError:
            continue


def _write_atomically(path, chunks):
    """Writes the byte chunks as the file at path, or leaves the file as it was."""
    folder = os.path.dirname(os.path.abspath(path))
    handle, temporary = _create_temporary(folder)
    try:
        with os.fdopen(handle, "wb") as out:
            out.writelines(chunks)
        os.replace(temporary, path)
    except BaseException:
        os.unlink(temporary)
        raise


def _new_parser():
    parser = configparser.ConfigParser(interpolation=None, delimiters=("=",))
    parser.optionxform = str
    return parser


def _read_ini(path):
    parser = _new_parser()
    with open(path, encoding="utf-8") as source:
        parser.read_file(source)
    return parser


def _profile_items(path):
    parser = _read_ini(path)
    return list(parser.items(PROFILE_SECTION)) if parser.has_section(PROFILE_SECTION) else []


def CreateProfileXml(read_ini, dest_xml):
    """Writes every key of the profile INI file as a property of the profile XML file."""
    try:
        lines = ['<?xml version="1.0" encoding="UTF-8"?>', "<settings>"]
        for key, value in _profile_items(read_ini):
            lines.append("  <property name=%s value=%s/>" % (quoteattr(_xml_text(key)), quoteattr(_xml_text(value))))
        lines.append("</settings>")
        _write_atomically(dest_xml, [("\n".join(lines) + "\n").encode("utf-8")])
        return True
    except (OSError, configparser.Error):
        return False


def CreateProfileIni(keys, values, write_ini):
    """Writes the profile values, key by key, as the INI file the device library reads back."""
    if len(keys) != len(values):
        return False
    parser = _new_parser()
    parser[PROFILE_SECTION] = {str(key): str(value) for key, value in zip(keys, values)}
    text = io.StringIO()
    parser.write(text, space_around_delimiters=False)
    try:
        _write_atomically(write_ini, [text.getvalue().encode("utf-8")])
        return True
    except OSError:
        return False


def _utc_text(seconds):
    return time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(seconds))


def _degrees(micro):
    return "%.6f" % (micro / 1000000.0)


def _read_activity(path):
    """The header fields and the summary lap of one ".gal" file, with the count of its points;
    None when the file is larger than a device writes or too short for its header, lap or
    announced points. The points stay in the file until they are written."""
    with open(path, "rb") as source:
        size = os.fstat(source.fileno()).st_size
        if size > MAX_ACTIVITY_SIZE:
            _log("activity %s refused: %d bytes, a device writes at most %d" % (path, size, MAX_ACTIVITY_SIZE))
            return None
        data = source.read(POINTS_OFFSET + 4)
    if len(data) < POINTS_OFFSET + 4:
        return None
    flags, activity_type = data[4], data[5] & 0x0F
    name_length = min(struct.unpack_from("<H", data, 62)[0], HEADER_SIZE - 72)
    name = "" if flags & 0x02 else data[72:72 + name_length].decode("latin-1")
    start, end, distance = struct.unpack_from("<III", data, HEADER_SIZE)
    count = struct.unpack_from("<I", data, POINTS_OFFSET)[0]
    if count > (size - POINTS_OFFSET - 4) // POINT.size:
        return None
    return {"path": path, "name": name, "type": activity_type, "start": start, "end": end, "distance": distance,
            "count": count}


def _points(activity):
    """The activity's points, read from its file POINTS_PER_READ at a time; OSError when the
    file no longer holds them all."""
    with open(activity["path"], "rb") as source:
        source.seek(POINTS_OFFSET + 4)
        left = activity["count"]
        while left:
            wanted = min(left, POINTS_PER_READ)
            block = source.read(wanted * POINT.size)
            if len(block) != wanted * POINT.size:
                raise OSError("activity %s ends before its %d points" % (activity["path"], activity["count"]))
            yield from POINT.iter_unpack(block)
            left -= wanted


def _user_block(profile):
    values = {}
    if profile:
        try:
            values = dict(_profile_items(profile))
        except (OSError, configparser.Error):
            values = {}
    lines = ["      <user>"]
    for element, key in USER_KEYS:
        if values.get(key):
            lines.append("        <%s>%s</%s>" % (element, escape(_xml_text(values[key])), element))
    lines.append("      </user>")
    return lines


def _lines(lines):
    for line in lines:
        yield (line + "\n").encode("utf-8")


def _activity_gpx(activity, model, version, profile):
    """The activity as a document of the GPX dialect, in chunks of bytes: the points are read
    from the file as they are written."""
    start, end = _utc_text(activity["start"]), _utc_text(activity["end"])
    lines = ['<?xml version="1.0" encoding="UTF-8"?>',
             '<gpx xmlns=%s creator="tarvex" version="2.2.0.3" xmlns:xsi=%s xsi:schemaLocation=%s>'
             % (quoteattr(GPX_NAMESPACE), quoteattr(XSI_NAMESPACE),
                quoteattr(GPX_NAMESPACE + " " + GPX_NAMESPACE + "/KRM.xsd")),
             "  <metadata>"]
    if activity["name"]:
        lines.append("    <name>%s</name>" % escape(_xml_text(activity["name"])))
    lines += ["    <time>%s</time>" % start, "    <extensions>"]
    lines += _user_block(profile)
    lines += ["      <sys version=%s>%s</sys>" % (quoteattr(_xml_text(version)), escape(_xml_text(model))),
              "      <acttype>%d</acttype>" % activity["type"],
              "      <stime>%s</stime>" % start,
              "      <etime>%s</etime>" % end,
              "      <trvDist>%d</trvDist>" % activity["distance"],
              "    </extensions>", "  </metadata>", "  <trk>", "    <trkseg>"]
    yield from _lines(lines)
    yield from _lines('      <trkpt lat="%s" lon="%s"><ele>%d</ele><time>%s</time></trkpt>'
                      % (_degrees(lat), _degrees(lon), altitude, _utc_text(when))
                      for when, lat, lon, altitude, _, _ in _points(activity))
    yield from _lines(["    </trkseg>", "  </trk>", "  <extensions>", "    <ssrlog>", "      <logseg>"])
    yield from _lines('        <logpt time="%s"><hrm>%d</hrm><cad>%d</cad></logpt>'
                      % (_utc_text(when), heart_rate, cadence)
                      for when, _, _, _, heart_rate, cadence in _points(activity))
    yield from _lines(["      </logseg>", "    </ssrlog>", "    <laps>",
                       '      <summary start="%s" end="%s"><distance>%d</distance></summary>'
                       % (start, end, activity["distance"]),
                       "    </laps>", "  </extensions>", "</gpx>"])


def ExportKrm(folder, model, version, profile, root):
    """Writes each activity of the device at root into folder as a file of the GPX dialect
    named after the activity, "<yyMMddHHmmss>.krm", and answers the paths written. profile is
    the device profile's INI file ("" when it could not be read). An activity file too short
    for what it announces, or larger than a device writes, is left out. OSError when the device,
    or an activity it listed, is gone: the export would not be whole."""
    os.makedirs(folder, exist_ok=True)
    # A device that went is no device without activities.
    if not os.path.isdir(root):
        raise FileNotFoundError(errno.ENOENT, "no device", root)
    activities = os.path.join(root, "Activity")
    if not os.path.isdir(activities):
        return []
    written = []
    for name in sorted(os.listdir(activities)):
        path = os.path.join(activities, name)
        if not name.lower().endswith(".gal"):
            continue
        if not os.path.isfile(path):
            # A listed activity that is gone went with its device: the export is not whole.
            if not os.path.lexists(path):
                raise FileNotFoundError(errno.ENOENT, "activity gone from the device", path)
            continue
        activity = _read_activity(path)
        if activity is None:
            continue
        target = os.path.join(folder, os.path.splitext(name)[0] + ".krm")
        _write_atomically(target, _activity_gpx(activity, model, version, profile))
        written.append(target)
    return written


def _local_name(element):
    return element.tag.rsplit("}", 1)[-1]


def _child_text(element, name):
    for child in element:
        if _local_name(child) == name:
            return (child.text or "").strip()
    return ""


def _name_entries(text):
    """A multi-language text ("\\eng|Tempo\\deu|Tempolauf") as (code, text) pairs; a text
    without a leading backslash is one entry under "UNK"."""
    if not text.startswith("\\"):
        return [("UNK", text)]
    return [(part[:3], part[4:]) for part in text.split("\\")[1:] if len(part) >= 3]


def _string_records(entries):
    records = b""
    for index, (code, text) in enumerate(entries):
        payload = text.encode("latin-1", "replace")
        if len(payload) > 0xFFFF:
            raise ValueError("workout name of %d bytes" % len(payload))
        flags = 0x02 if index + 1 < len(entries) else 0x00
        records += struct.pack("<BBH4sHH", flags, 0, len(payload),
                               code.encode("latin-1", "replace")[:3], 0, 0) + payload
    return records


def _workout_bytes(workout):
    workout_id = int(workout.get("id", ""))
    if not 0 <= workout_id <= 0xFFFFFFFF:
        raise ValueError("workout id %d" % workout_id)
    when = _child_text(workout, "time")
    start = NO_TIME
    if when:
        start = calendar.timegm(time.strptime(when, "%Y-%m-%dT%H:%M:%SZ"))
        # The device counts seconds from 1970 in 32 bits, the last value meaning none.
        if not 0 <= start < NO_TIME:
            raise ValueError("workout time %s" % when)
    activity_type = int(_child_text(workout, "acttype") or 0)
    workout_type = int(workout.get("type") or 0)
    sub_type = int(workout.get("subtype") or 0)
    template = struct.pack("<II4xBBB", start, workout_id, activity_type & 0x0F, (workout_type & 0x07) << 5,
                           sub_type & 0x0F).ljust(TEMPLATE_SIZE, b"\0")
    entries = _name_entries(_child_text(workout, "name"))
    return workout_id, template + struct.pack("<H", len(entries)) + _string_records(entries)


def _folder_below(root, parts):
    """The folder of parts below root, made part by part where missing; OSError when root is
    gone, so that a device that went is not made anew where it was mounted."""
    folder = root
    for part in parts:
        folder = os.path.join(folder, part)
        try:
            os.mkdir(folder)
        except FileExistsError:
            pass
    return folder


def _store_workout(root, workout):
    """Writes one workout of a share package as a ".wkt" file named after its id read as a UTC
    time into the device's plain workout type folder; False, with a log line, when it is not a
    workout the device can hold."""
    try:
        workout_id, data = _workout_bytes(workout)
    except (ValueError, OverflowError, struct.error) as error:
        _log("shared workout %s skipped: %s" % (workout.get("id"), error))
        return False
    folder = _folder_below(root, ("Workout", SHARE_TYPE_FOLDER))
    name = time.strftime("%y%m%d%H%M%S", time.gmtime(workout_id)) + ".wkt"
    _write_atomically(os.path.join(folder, name), [data])
    return True


def StoreShareWorkouts(root, package):
    """Stores every workout of the ".wrk" files of the share zip package as a ".wkt" file in the
    device's plain workout type folder, named after its id read as a UTC time. Other entries
    (routes and rides, which the device does not hold) are left with a log line. False when the
    package cannot be read, a workout file or workout is not one, or the package holds no
    workout at all; the good workouts are stored all the same."""
    stored_all = True
    stored = 0
    try:
        with zipfile.ZipFile(package) as archive:
            for entry in archive.infolist():
                if entry.is_dir():
                    continue
                if not entry.filename.lower().endswith(".wrk"):
                    _log("share item %s left: the device holds workouts only" % entry.filename)
                    continue
                if entry.file_size > MAX_SHARED_WORKOUT_SIZE:
                    _log("shared workout file %s skipped: %d bytes" % (entry.filename, entry.file_size))
                    stored_all = False
                    continue
                try:
                    document = ElementTree.fromstring(archive.read(entry))
                except ElementTree.ParseError as error:
                    _log("shared workout file %s skipped: %s" % (entry.filename, error))
                    stored_all = False
                    continue
                workouts = [element for element in document.iter() if _local_name(element) == "wrk"]
                if not workouts:
                    _log("shared workout file %s skipped: it holds no workout" % entry.filename)
                    stored_all = False
                for workout in workouts:
                    if _store_workout(root, workout):
                        stored += 1
                    else:
                        stored_all = False
    except (OSError, zipfile.BadZipFile) as error:
        _log("share package %s not imported: %s" % (package, error))
        return False
    if not stored:
        _log("share package %s holds no workout the device takes" % package)
    return stored_all and stored > 0
