#include "psf14/OrvoPSFTrackFrame.h"

OrvoPSFTrackFrame::OrvoPSFTrackFrame(QByteArrayView bytes, QObject *parent)
    : OrvoPSFAreaFrame(bytes, parent)
{}
