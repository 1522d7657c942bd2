#pragma once

#include "psf14/OrvoPSFAreaFrame.h"

// The sensor-log section: sensor logs are reached only through the tracks' links into its data
// area.
class OrvoPSFSensorLogFrame : public OrvoPSFAreaFrame
{
    Q_OBJECT

public:
    // bytes: from the section start to the end of the image.
    explicit OrvoPSFSensorLogFrame(QByteArrayView bytes, QObject *parent = nullptr);
};
