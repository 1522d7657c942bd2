"""Device data that the program hands to the web application."""

import galapi


def galSetShareData(root, package):
    """Called with a GAL device's folder and a share package: the package's workouts are stored
    on the device. Answers whether every workout was stored."""
    return galapi.StoreShareWorkouts(root, package)
