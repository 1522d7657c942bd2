#include "psf14/OrvoPSFSensorLogFrame.h"

OrvoPSFSensorLogFrame::OrvoPSFSensorLogFrame(QByteArrayView bytes, QObject *parent)
    : OrvoPSFAreaFrame(bytes, parent)
{}
