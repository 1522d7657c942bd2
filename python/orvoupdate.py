"""Update checks that the program asks for when a device is attached."""

import orvo

# The (address, model) of the last check asked for.
requested = None


def update(url, model):
    """Called with the version service's address and the attached device's model name."""
    global requested
    requested = (url, model)
    orvo.OrvoEnv().appendLog("update check for %s at %s\n" % (model, url))
