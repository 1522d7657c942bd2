#pragma once

// How long a stored interval lasts: a type and a value, and for a track-segment range also the
// first and last segment index.
class ZKWorkoutDuration
{
public:
    // Clears the segment range, which belongs to the previous type.
    void set(int type, int value);
    void setSegmentIndex(int start, int end);

    int type() const { return m_type; }
    int value() const { return m_value; }
    int segmentStart() const { return m_segmentStart; }
    int segmentEnd() const { return m_segmentEnd; }
    bool hasSegmentIndex() const { return m_hasSegmentIndex; }

private:
    int m_type = 0;
    int m_value = 0;
    int m_segmentStart = 0;
    int m_segmentEnd = 0;
    bool m_hasSegmentIndex = false;
};
