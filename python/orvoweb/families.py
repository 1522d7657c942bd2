"""What the page offers a device, by its family.

The families differ in what their client does: the PSF 1.5 flash family (the Kavel40) imports
share packages synchronously (newSetShareData), writes a language choice (makelanfile) and
deletes only all of its rides at once; the flash families are not ejected (they are no drive);
the GAL family (the Kavel21) takes only the workouts of a share package; the map updates are for
the file-system drives only; each family takes only some update components. The page offers a
form only where the device can run it."""

import zipfile

from orvoweb.i18n import UTF8

SERVICE_SCSI = 1

DRIVE = "drive"
GAL = "gal"
PSF14 = "psf14"
PSF15 = "psf15"

# The update components updateDevice takes, with the label the page shows and what an update
# of it erases on the device.
COMPONENTS = {
    "Total": (UTF8("Firmware"), UTF8("the firmware and the languages on the device")),
    "DeviceAp": (UTF8("Application"), UTF8("the application on the device")),
    "LaunchSEC": (UTF8("Launcher"), UTF8("the launcher on the device")),
    "MapData": (UTF8("Map data"), UTF8("the maps on the device")),
    "GPST_ENGINE": (UTF8("Map engine"), UTF8("the map engine on the device")),
}

# The update components each family's client runs.
UPDATES = {
    DRIVE: ("Total", "DeviceAp", "LaunchSEC", "MapData", "GPST_ENGINE"),
    GAL: ("Total", "DeviceAp"),
    PSF14: ("Total", "LaunchSEC"),
    PSF15: ("Total",),
}


def family(client):
    model = UTF8(client.getName())
    if model == "Kavel40":
        return PSF15
    if client.getServiceType() == SERVICE_SCSI:
        return PSF14
    if model.startswith("Kavel50") or model == "Kavel60":
        return DRIVE
    return GAL


def updates(client):
    return UPDATES[family(client)]


def writes_languages(client):
    return family(client) == PSF15


def imports_synchronously(client):
    return family(client) == PSF15


def deletes_chosen_rides(client):
    return family(client) != PSF15


def deletes_in_turns(client):
    """True for the drives, which keep each ride on its own and may hold a great many; the flash
    devices keep their few rides in one image and delete them all at once."""
    return family(client) in (DRIVE, GAL)


def ejects(client):
    return family(client) in (DRIVE, GAL)


def imports_routes(client):
    """False for the family that stores only the workouts of a share package."""
    return family(client) != GAL


def refusal(client, form_id):
    """Why the device does not run the action of the form, or None when it does."""
    if form_id == "delete" and not deletes_chosen_rides(client):
        return UTF8("This device deletes only every ride at once; nothing was done.")
    if form_id == "eject" and not ejects(client):
        return UTF8("This device is not ejected; nothing was done. Unplug it while no action runs.")
    return None


def holds_workouts(package):
    """Whether the share package holds a workout file (".wrk"), the part a GAL device stores."""
    try:
        with zipfile.ZipFile(package) as archive:
            return any(not entry.is_dir() and entry.filename.lower().endswith(".wrk") for entry in archive.infolist())
    except (OSError, zipfile.BadZipFile):
        return False
