#pragma once

#include "util/ZKGpxLogPoint.h"
#include "util/ZKGpxLogSegment.h"

#include <QList>

#include <optional>
#include <type_traits>

// A list of owned items of the second dialect's extensions, in two uses:
// - log segments: new log points go to the current segment, the last one appended;
// - laps: the list also holds the ride's summary.
template<class Item>
struct ZKGpxItemList
{
    QList<Item> items;
    // Laps only.
    std::optional<Item> summary;

    void append(const Item &item) { items.append(item); }
    Item *current() { return items.isEmpty() ? nullptr : &items.last(); }

    // A point that arrives before any segment has nowhere to go and is dropped.
    void appendToCurrent(const ZKGpxLogPoint &point) requires std::is_same_v<Item, ZKGpxLogSegment>
    {
        if (Item *segment = current())
            segment->points.append(point);
    }

    bool operator==(const ZKGpxItemList &) const = default;
};
