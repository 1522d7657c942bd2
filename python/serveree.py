"""Device notifications from the program."""

import orvo

# The drive of the device the program last announced, and how far back its data is wanted.
announced = None


def updatedevice(drive, period):
    """Called when a device is attached; period is the span of rides to read, such as "14d"."""
    global announced
    announced = (drive, period)
    orvo.OrvoEnv().appendLog("device announced on %s (%s)\n" % (drive, period))
