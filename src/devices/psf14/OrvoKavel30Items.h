#pragma once

#include "device/OrvoClientData.h"

#include <QVector>

class OrvoPSF;

// The items of a PSF 1.4 container as the web application lists them, appended in container
// order. Planned routes and rides share the container's route list (a record whose track flag
// is set is a ride): an item's id is its index in that shared list, so that deletions name the
// same records the lists showed.
class OrvoKavel30Items
{
public:
    OrvoKavel30Items() = delete;

    static void routes(const OrvoPSF &container, QVector<OrvoClientData> &items);
    static void rides(const OrvoPSF &container, QVector<OrvoClientData> &items);
    static void workouts(const OrvoPSF &container, QVector<OrvoClientData> &items);
};
