#pragma once

#include <QtGlobal>

#include <span>

class OrvoPSFFlashLayout;

// The way to the in-memory copy of a PSF 1.5 flash image: the device keeps one filled from the
// flash on demand; tests use a plain memory image. The image has a fixed size and is never
// reallocated while record views point into it.
class OrvoPSFStore
{
public:
    OrvoPSFStore() = default;
    OrvoPSFStore(const OrvoPSFStore &) = delete;
    OrvoPSFStore &operator=(const OrvoPSFStore &) = delete;
    virtual ~OrvoPSFStore() = default;

    // The area table and the current management record of the image; created with the store.
    virtual OrvoPSFFlashLayout &layout() = 0;
    // Makes sure the management header area (image offsets 0 to T[0]) is loaded and gives the
    // whole image from its first byte. False, image untouched, when it cannot be read.
    virtual bool loadHeader(std::span<uchar> &image) = 0;
    // Makes sure the distribution header (T[0] to T[1]) is loaded and gives the image from
    // offset T[0] to its end. False, header untouched, when it cannot be read.
    virtual bool loadDistHeader(std::span<uchar> &distHeader) = 0;
};
