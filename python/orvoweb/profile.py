"""The values of a profile file, checked against their fields before anything reaches a device.

A profile file is the XML the device's profile is read into and written from: a "settings"
element with one "property" element (name, value) per field. Every field the device formats
store has a type and a range here; a changed value that does not fit its field refuses the whole
file, so that a mistyped weight never reaches the device. Names no format stores pass as they
are: the device leaves them out."""

import datetime
import os
import tempfile
import xml.etree.ElementTree as ElementTree

from orvoweb.i18n import UTF8

BIRTHDAY_FORMAT = "%Y/%m/%d"
ZONE_FAMILIES = ("LTHR", "MHR", "MAP", "FTP")
ZONE_COUNT = 7


def _integer(low, high):
    def check(text):
        try:
            value = int(text, 10)
        except ValueError:
            return UTF8("a whole number from %d to %d") % (low, high)
        return None if low <= value <= high else UTF8("a whole number from %d to %d") % (low, high)

    return check


def _number(low, high):
    def check(text):
        try:
            value = float(text)
        except ValueError:
            return UTF8("a number from %g to %g") % (low, high)
        return None if low <= value <= high else UTF8("a number from %g to %g") % (low, high)

    return check


def _birthday(text):
    try:
        born = datetime.datetime.strptime(text, BIRTHDAY_FORMAT).date()
    except ValueError:
        return UTF8("a date written as 1980/05/31")
    if not datetime.date(1900, 1, 1) <= born <= datetime.date.today():
        return UTF8("a date from 1900/01/01 to today")
    return None


def _sex(text):
    return None if text in ("Male", "Female", "0", "1") else UTF8("Male or Female")


def _fields():
    fields = {
        "User Birthday": _birthday,
        "User Sex": _sex,
        "User Unit": _integer(0, 255),
        "User Lang": _integer(0, 255),
        "User Height.Metric": _number(50, 250),
        "User Height.Imperial": _number(20, 100),
        "User Weight.Metric": _number(20, 300),
        "User Weight.Imperial": _number(44, 660),
        "User MLSS": _integer(0, 255),
        "User First Use Page": _integer(0, 255),
        "First Use Page": _integer(0, 255),
        "Time zone": _number(-12, 14),
        "Day night saving": _integer(0, 1),
        "Date format": _integer(0, 255),
        "Time format": _integer(0, 255),
    }
    for family in ZONE_FAMILIES:
        top = 255 if family.endswith("HR") else 2000
        fields["User %s" % family] = _integer(0, top)
        for zone in range(1, ZONE_COUNT + 1):
            for bound in ("low", "high"):
                fields["User %s.zone%d.%s" % (family, zone, bound)] = _integer(0, top)
    return fields


FIELDS = _fields()


def read(path):
    """The (name, value) pairs of the profile file in their order; None for a file that is not a
    profile file."""
    try:
        root = ElementTree.parse(path).getroot()
    except (OSError, ElementTree.ParseError):
        return None
    if root.tag != "settings":
        return None
    return [(element.get("name", ""), element.get("value", "")) for element in root.iter("property")]


def refusal(values, given=None):
    """Why the values cannot be written, naming every field whose value does not fit; None when
    all fit. A value equal to the one the device gave for its field (given: name to value) is
    taken back as it is: the device's own empty fields and open-ended -1 bounds are not the
    user's to correct."""
    given = given or {}
    wrong = []
    for name, value in values:
        check = FIELDS.get(name)
        if check is None or given.get(name) == value:
            continue
        wanted = check(value.strip())
        if wanted:
            wrong.append(UTF8('"%s" of the field "%s" is not %s') % (value, name, wanted))
    if not wrong:
        return None
    return UTF8("The value %s; nothing was written.") % UTF8("; the value ").join(wrong)


def identity(client):
    """The key of a device's profile: its model and id."""
    return UTF8(client.getName()), UTF8(client.getUUID())


# What each device gave when this running page last read its profile or wrote it, by identity.
# The page shows a device only these values: a file of the export folder may since hold another
# device's profile, or one from before the program started.
_given = {}


def remember(device, path):
    """Keeps the values of the profile file path as what the device holds; a file that is no
    profile file leaves the device with nothing to show."""
    values = read(path)
    if values is None:
        _given.pop(device, None)
        return
    _given[device] = dict(values)


def given(device):
    """The values the device's profile had when this page last read or wrote it (name to value,
    in the file's order); empty for a device whose profile this page never read."""
    return _given.get(device, {})


def write(path, values):
    """Writes the (name, value) pairs as the profile file path, whole or not at all; answers
    whether it did."""
    root = ElementTree.Element("settings")
    for name, value in values:
        ElementTree.SubElement(root, "property", {"name": name, "value": value})
    folder = os.path.dirname(path)
    try:
        handle, temporary = tempfile.mkstemp(dir=folder, prefix=".profile-", suffix=".xml")
    except OSError:
        return False
    try:
        with os.fdopen(handle, "wb") as file:
            ElementTree.ElementTree(root).write(file, encoding="utf-8", xml_declaration=True)
        os.replace(temporary, path)
    except OSError:
        if os.path.exists(temporary):
            os.remove(temporary)
        return False
    return True
