"""The values of a profile file, checked against their fields before anything reaches a device.

A profile file is the XML the device's profile is read into and written from: a "settings"
element with one "property" element (name, value) per field. Every field the device formats
store has a type and a range here; a value that does not fit its field refuses the whole file,
so that a mistyped weight never reaches the device. Names no format stores pass as they are:
the device leaves them out."""

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


def refusal(values):
    """Why the values cannot be written, naming the first field whose value does not fit; None
    when every value fits its field."""
    for name, value in values:
        check = FIELDS.get(name)
        wanted = check(value.strip()) if check else None
        if wanted:
            return UTF8('The value "%s" of the field "%s" is not %s; nothing was written.') % (value, name, wanted)
    return None


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
