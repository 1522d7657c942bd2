#pragma once

#include "psf/OrvoPSFObject.h"

// The table of the PSF 1.5 sections inside the distribution header: 12 bytes, then seven
// 20-byte section records. The first u32 of a record is the offset of the section's header
// from the start of the distribution header; the other 16 bytes are not read here.
class OrvoPSFSectionTable_1_5 : public OrvoPSFObject
{
public:
    // Where the table starts in the distribution header, and its records in the table.
    static constexpr qsizetype kOffsetInDistHeader = 48;
    static constexpr qsizetype kRecordsOffset = 12;
    static constexpr qsizetype kRecordSize = 20;
    static constexpr int kRecordCount = 7;

    enum Section { Route = 1, Workout = 2, WorkoutLog = 3, Track = 4, SensorLog = 5, UserInfoLog = 6 };

    // distHeader runs from the distribution header's first byte to the end of the image.
    explicit OrvoPSFSectionTable_1_5(std::span<uchar> distHeader);

    qsizetype size() const override;
    // The offset of the section's header from the distribution header; -1 when absent.
    qint64 sectionOffset(int index) const;
    // The image from the section's header on; empty when the section is absent or outside.
    std::span<uchar> section(int index) const;

private:
    std::span<uchar> m_distHeader;
};
