#pragma once

#include "psf/OrvoPSFField.h"
#include "psf/OrvoPSFLinkedArea.h"

// The workout-log section: its first u32 is the offset of the data area from the section
// start. Workout logs are reached only through the workouts' links into the data area.
class OrvoPSFWorkoutLogFrame : public OrvoPSFField
{
    Q_OBJECT

public:
    // bytes: from the section start to the end of the image.
    explicit OrvoPSFWorkoutLogFrame(QByteArrayView bytes, QObject *parent = nullptr);

    quint32 dataOffset() const { return m_dataOffset; }
    // The data area, from its offset to the end of the image.
    OrvoPSFLinkedArea &dataArea() { return m_dataArea; }
    const OrvoPSFLinkedArea &dataArea() const { return m_dataArea; }

private:
    quint32 m_dataOffset = 0xFFFFFFFF;
    OrvoPSFLinkedArea m_dataArea;
};
