#pragma once

#include "psf15/OrvoPSFFlashLayout.h"
#include "psf15/OrvoPSFStore.h"

#include <QByteArray>

#include <vector>

// A PSF 1.5 flash image held whole in memory: every area counts as loaded. The image keeps the
// size it was given, so a short image can be read as far as it goes.
class OrvoPSFMemoryStore : public OrvoPSFStore
{
public:
    // An erased image of the layout's image size.
    OrvoPSFMemoryStore();
    explicit OrvoPSFMemoryStore(const QByteArray &image);
    ~OrvoPSFMemoryStore() override;

    OrvoPSFFlashLayout &layout() override;
    bool loadHeader(std::span<uchar> &image) override;
    bool loadDistHeader(std::span<uchar> &distHeader) override;
    bool loadRoutes() override;
    bool loadTracks() override;
    bool loadWorkouts() override;
    bool loadReserved() override;
    bool loadSensorLogs() override;
    bool loadWorkoutLogs() override;
    bool loadUserInfoLogs() override;
    bool loadInfoArea(std::span<uchar> &block) override;

    // A copy of the image as it is now.
    QByteArray image() const;

private:
    bool holds(qsizetype end, const char *what) const;

    OrvoPSFFlashLayout m_layout;
    // Not a QByteArray: a shared copy handed out must never make the views' bytes move.
    std::vector<uchar> m_image;
};
