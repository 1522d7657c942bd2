#pragma once

#include "psf14/OrvoPSFAreaFrame.h"

// The track section: tracks are reached only through the routes' links into its data area.
class OrvoPSFTrackFrame : public OrvoPSFAreaFrame
{
    Q_OBJECT

public:
    // bytes: from the section start to the end of the image.
    explicit OrvoPSFTrackFrame(QByteArrayView bytes, QObject *parent = nullptr);
};
