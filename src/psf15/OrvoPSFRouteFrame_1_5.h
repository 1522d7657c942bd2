#pragma once

#include "psf/OrvoPSFObject.h"
#include "psf15/OrvoPSFRoute_1_5.h"

#include <QStringList>

#include <memory>
#include <vector>

// The route section: its header at the start of the route area, then the routes end to end.
// Header, little-endian: u32 offset of the route records from the header, u32 offset of the
// lap area from the header, u16 route count at 8 (absent counts as 0).
class OrvoPSFRouteFrame_1_5 : public OrvoPSFObject
{
public:
    using Routes = std::vector<std::unique_ptr<OrvoPSFRoute_1_5>>;

    // section runs from the section header to the end of the image; area is the route area's
    // bytes (OrvoPSFFlashLayout::areaBytes), which bound the records and so every route's names.
    // Without a known area the records run to the end of the image.
    OrvoPSFRouteFrame_1_5(std::span<uchar> section, std::span<uchar> area);
    ~OrvoPSFRouteFrame_1_5() override;

    // The header's bytes up to the route records.
    qsizetype size() const override;
    int count() const;
    // The bytes from the first route record to the end of the route area; empty when the
    // header does not place them inside it.
    std::span<uchar> records() const;
    std::span<uchar> lapBase() const;
    const Routes &routes() const;
    // The route's offset from the route records' start.
    qint64 routeOffset(const OrvoPSFRoute_1_5 &route) const;
    // The offset just past the last route (0 without routes).
    qint64 endOffset() const;

    // Appends a route named by texts in the languages of codes. Null, image unchanged, when
    // the route area has no room for it.
    OrvoPSFRoute_1_5 *addRoute(const QStringList &texts, const QStringList &codes, bool bitFont,
                               OrvoPSFFlashLayout &layout);
    // Removes the recorded rides (recorded) or the planned routes and packs the others to the
    // start of the area, keeping their laps and moving their workout logs' links along; the
    // rides' removal also erases the laps. False, image unchanged, when the area cannot be
    // rewritten.
    bool removeRoutes(bool recorded, OrvoPSFFlashLayout &layout);
    // Erases the routes and the laps. False, image unchanged, when the section does not stand
    // where the area table puts it: the erase would then miss the records the count counts.
    bool clear(OrvoPSFFlashLayout &layout) override;

private:
    void loadRoutes();
    bool setCount(int count);
    // True when the section, its records and every loaded route lie where the table puts the
    // route area, so that a change cannot reach beyond it.
    bool isPlaced(OrvoPSFFlashLayout &layout) const;

    // The route area; empty when not known.
    std::span<uchar> m_area;
    Routes m_routes;
};
