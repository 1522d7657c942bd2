"""Device data that the program hands to the web application."""

import orvo

# (drive, zip file) of the last share package the program handed over.
share_data = None


def galSetShareData(drive, zipfile):
    """Called with a GAL device's drive and the share package to be stored on it."""
    global share_data
    share_data = (drive, zipfile)
    orvo.OrvoEnv().appendLog("share data for %s: %s\n" % (drive, zipfile))
