#pragma once

#include "util/ZKGpxMetadataExt.h"

#include <QString>

// The document's `metadata`: the common GPX part, the user's profile and the ride texts of the
// extensions.
struct ZKGpxMetadata
{
    QString name;
    // Read from the extensions of `name`, never written.
    QString shtname;
    QString desc;
    QString authorName;
    QString authorEmail;
    QString authorLink;
    QString time;
    QString minlat;
    QString minlon;
    QString maxlat;
    QString maxlon;
    // A user-profile XML file whose root element is written in place of the `user` block.
    QString profileFile;
    ZKGpxMetadataExt user;
    // Carried for the device code only; never written to a file nor read from one.
    QString deviceText1;
    QString deviceText2;
    QString deviceText3;
    QString sys;
    QString sysVersion;
    QString sharetype;
    QString sctry;
    QString ectry;
    QString splace;
    QString eplace;
    QString acttype;
    // First dialect only.
    QString rtetype;
    QString trvtime;
    QString trvdist;
    QString appName;
    QString appVersion;
    QString stime;
    QString etime;
    QString acttypeSubtype;
    QString poollen;

    bool operator==(const ZKGpxMetadata &) const = default;
};
