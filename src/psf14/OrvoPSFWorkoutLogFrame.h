#pragma once

#include "psf14/OrvoPSFAreaFrame.h"

// The workout-log section: workout logs are reached only through the workouts' links into its
// data area.
class OrvoPSFWorkoutLogFrame : public OrvoPSFAreaFrame
{
    Q_OBJECT

public:
    // bytes: from the section start to the end of the image.
    explicit OrvoPSFWorkoutLogFrame(QByteArrayView bytes, QObject *parent = nullptr);
};
