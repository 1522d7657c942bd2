#include "psf14/OrvoPSFWorkoutLogFrame.h"

OrvoPSFWorkoutLogFrame::OrvoPSFWorkoutLogFrame(QByteArrayView bytes, QObject *parent)
    : OrvoPSFAreaFrame(bytes, parent)
{}
