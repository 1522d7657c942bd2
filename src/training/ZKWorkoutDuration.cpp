#include "training/ZKWorkoutDuration.h"

void ZKWorkoutDuration::set(int type, int value)
{
    m_type = type;
    m_value = value;
    m_segmentStart = 0;
    m_segmentEnd = 0;
    m_hasSegmentIndex = false;
}

void ZKWorkoutDuration::setSegmentIndex(int start, int end)
{
    m_segmentStart = start;
    m_segmentEnd = end;
    m_hasSegmentIndex = true;
}
